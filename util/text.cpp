#include "util/text.h"

#include <cstring>

char *CopyTextEnd(char *dest, const char *src) {
  if (!src) {
    if (dest) *dest = '\0';
    return dest;
  }
  if (!dest) return nullptr;
  // Strictly forward, byte by byte: the source may lie further on in the same
  // buffer (the option scanner moves a file name to the front of its path).
  while (*src) *dest++ = *src++;
  *dest = '\0';
  return dest;
}

char *CopyTextBounded(char *dest, const char *src, int size) {
  if (!dest) return nullptr;
  char *out = dest;
  if (src) {
    for (int left = size - 1; left > 0 && *src; --left) *out++ = *src++;
  }
  *out = '\0';
  return dest;
}

char *CopyTextLimited(char *dest, const char *src, int lengthBound, int sizeBound) {
  return CopyTextBounded(dest, src, lengthBound < sizeBound ? lengthBound : sizeBound);
}

bool IsCp936LeadByte(unsigned char byte) {
  return byte >= 0x81 && byte <= 0xFE;
}

const char *NextCp936Char(const char *p) {
  if (!*p) return p;
  return IsCp936LeadByte(static_cast<unsigned char>(*p)) && p[1] ? p + 2 : p + 1;
}

// Read backwards, a trail byte 0x5C looks like a backslash, so the walk goes
// forward from the start, one character at a time (CharPrevExA does the same).
bool EndsInBackslash(const char *text) {
  const char *last = nullptr;
  for (const char *p = text; *p; p = NextCp936Char(p)) last = p;
  return last != nullptr && *last == '\\';
}

const char *LastPathComponent(const char *path, char *out) {
  const char *component = path;
  for (const char *p = path; *p; p = NextCp936Char(p)) {
    if (*p == '\\' || *p == '/') component = p + 1;
  }
  if (!out) return component;
  CopyTextEnd(out, component);
  return out;
}

bool JoinPath(char *out, int size, const char *folder, const char *name) {
  if (out == nullptr || size <= 0) return false;
  if (std::strlen(folder) + std::strlen(name) >= static_cast<size_t>(size)) {
    out[0] = '\0';
    return false;
  }
  CopyTextEnd(CopyTextEnd(out, folder), name);
  return true;
}
