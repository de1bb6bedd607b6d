// Fuzzes the bounded copies, LastPathComponent and EndsInBackslash on CP936
// text: the first byte is a size (1..64) for a 64-byte destination, the rest
// a text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const int bound = data[0] % 64 + 1;
  std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  const char *src = text.c_str();
  const size_t length = std::strlen(src);

  char *dest = static_cast<char *>(std::malloc(bound));  // exactly bound bytes
  CopyTextBounded(dest, src, bound);
  size_t copied = std::strlen(dest);
  if (copied != (length < size_t(bound - 1) ? length : size_t(bound - 1))) std::abort();
  if (std::memcmp(dest, src, copied) != 0) std::abort();
  CopyTextLimited(dest, src, 1000, bound);
  if (std::strlen(dest) != copied) std::abort();
  std::free(dest);

  // The component starts on a character boundary, right after a separator
  // character, and holds none: a trail byte 0x5C is no separator.
  const char *component = LastPathComponent(src);
  if (component < src || component > src + length) std::abort();
  const char *boundary = src, *previous = nullptr;
  while (boundary < component && *boundary) {
    previous = boundary;
    boundary = NextCp936Char(boundary);
  }
  if (boundary != component) std::abort();
  if (component > src && previous != component - 1) std::abort();  // a one-byte separator
  for (const char *p = component; *p; p = NextCp936Char(p)) {
    if (*p == '\\' || *p == '/') std::abort();
  }
  if (component > src && component[-1] != '\\' && component[-1] != '/') std::abort();
  const bool endsInBackslash = length > 0 && component == src + length && src[length - 1] == '\\';
  if (EndsInBackslash(src) != endsInBackslash) std::abort();
  std::string out(length + 1, 'x');
  if (LastPathComponent(src, &out[0]) != &out[0] || std::strcmp(out.c_str(), component) != 0) {
    std::abort();
  }

  std::string chain(2 * length + 1, 'x');
  char *end = CopyTextEnd(CopyTextEnd(&chain[0], src), component);
  if (end != &chain[0] + length + std::strlen(component) || *end != '\0') std::abort();
  return 0;
}
