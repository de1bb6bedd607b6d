#include "util/text.h"

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

const char *LastPathComponent(const char *path, char *out) {
  const char *component = path;
  for (const char *p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') component = p + 1;
  }
  if (!out) return component;
  CopyTextEnd(out, component);
  return out;
}
