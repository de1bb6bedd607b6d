#include "install/version_check.h"

#include <windows.h>

#include <charconv>
#include <cstring>
#include <memory>
#include <new>

namespace {
// Enough for the version record of any program we carry.
constexpr DWORD kRecordBufferSize = 5000;
constexpr int kVersionTextSize = 100;
}  // namespace

// A record larger than the stack buffer is read into a heap buffer of the size
// the system reported, rather than being refused: a long string table does not
// make the file version any less valid, and the read can never overrun.
bool GetFileVersionString(const char *path, char *text) {
  DWORD unused = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &unused);
  if (size == 0) return false;

  char local[kRecordBufferSize];
  std::unique_ptr<char[]> large;
  char *record = local;
  if (size > kRecordBufferSize) {
    large.reset(new (std::nothrow) char[size]);
    if (!large) return false;
    record = large.get();
  }
  if (!GetFileVersionInfoA(path, 0, size, record)) return false;

  void *block = nullptr;
  UINT blockLength = 0;
  if (!VerQueryValueA(record, "\\", &block, &blockLength) || block == nullptr) return false;

  VS_FIXEDFILEINFO info;
  std::memcpy(&info, block, sizeof info);
  // Each part is an unsigned 16-bit number, so the text never exceeds 23
  // characters; to_chars is bounded all the same, and needs none of the C
  // runtime's bulky printf code.
  const unsigned parts[] = {HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
                            HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS)};
  char *p = text;
  char *const last = text + kVersionTextMinSize - 1;  // room for the terminator
  for (unsigned part : parts) {
    if (p != text && p < last) *p++ = '.';
    p = std::to_chars(p, last, part).ptr;
  }
  *p = '\0';
  return true;
}

bool FileVersionIs(const char *path, const char *version) {
  char text[kVersionTextSize] = {};
  if (!GetFileVersionString(path, text)) return false;
  return std::strcmp(text, version) == 0;
}
