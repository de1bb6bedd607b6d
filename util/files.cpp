#include "util/files.h"

#include <cstdio>
#include <cstdlib>

char *ReadWholeFile(const char *path, int *size) {
  *size = 0;
  FILE *file = std::fopen(path, "rb");
  if (!file) return nullptr;
  std::fseek(file, 0, SEEK_END);
  long length = std::ftell(file);
  std::fseek(file, 0, SEEK_SET);
  char *buffer = nullptr;
  // A failed allocation reads like an empty file: no buffer, size 0.
  if (length > 0 && length <= 0x7FFFFFFB) buffer = static_cast<char *>(std::malloc(length + 4));
  if (buffer) {
    // Whatever the read delivers, the buffer and the measured size go back.
    std::fread(buffer, 1, static_cast<size_t>(length), file);
    *size = static_cast<int>(length);
  }
  std::fclose(file);
  return buffer;
}

// Writes the block and closes. A small block sits in the stream's buffer until
// the flush, and on a full disk that is where its bytes are lost; Wine's
// fclose does not report a failed flush, so the flush is checked on its own.
static int WriteAndClose(FILE *file, const void *data, int count) {
  size_t wanted = count > 0 ? static_cast<size_t>(count) : 0;
  size_t written = wanted ? std::fwrite(data, 1, wanted, file) : 0;
  bool flushed = std::fflush(file) == 0;
  bool closed = std::fclose(file) == 0;
  return flushed && closed && count >= 0 && written == wanted ? 1 : 0;
}

int WriteWholeFile(const char *path, const void *data, int count) {
  FILE *file = std::fopen(path, "w+b");
  if (!file) return 0;
  return WriteAndClose(file, data, count);
}

// A short write is a failure: the archive is appended piece by piece, and a
// full disk must not leave a cut archive that passes as written.
int AppendToFile(const char *path, const void *data, int count) {
  FILE *file = std::fopen(path, "a+b");
  if (!file) return 0;
  return WriteAndClose(file, data, count);
}

// Bit by bit: it runs over one small data file per install, and a table would
// cost the installer a kilobyte.
unsigned long Crc32(const void *data, unsigned long size) {
  const unsigned char *p = static_cast<const unsigned char *>(data);
  unsigned long crc = 0xFFFFFFFFUL;
  while (size-- > 0) {
    crc ^= *p++;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320UL & (0UL - (crc & 1)));
  }
  return ~crc & 0xFFFFFFFFUL;
}
