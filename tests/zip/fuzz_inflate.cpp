// libFuzzer target: our inflate against zlib's on any byte string. The first
// three bytes give the declared output size (up to 1 MB), the rest is a raw
// deflate stream. Both must accept or refuse it alike, and agree on every
// byte and the CRC-32 of what they accept.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "extractor/zip/inflate.h"

namespace {

bool Append(void *ctx, const uint8_t *p, size_t n) {
  static_cast<std::string *>(ctx)->append(reinterpret_cast<const char *>(p), n);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  const size_t out_size = data[0] | (data[1] << 8) | ((data[2] & 0x0F) << 16);
  data += 3;
  size -= 3;
  std::string ours;
  uint32_t crc = 0;
  const bool ours_ok = tovra::zip::Inflate(data, size, out_size, Append, &ours, &crc) ==
                       tovra::zip::InflateResult::kOk;

  std::string theirs(out_size + 1, '\0');
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = const_cast<Bytef *>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = reinterpret_cast<Bytef *>(&theirs[0]);
  z.avail_out = static_cast<uInt>(theirs.size());
  const int r = inflate(&z, Z_FINISH);
  const bool zlib_ok = r == Z_STREAM_END && z.total_in == size && z.total_out == out_size;
  theirs.resize(z.total_out);
  inflateEnd(&z);

  if (ours_ok != zlib_ok) __builtin_trap();
  if (ours_ok) {
    const uLong want =
        crc32(0, reinterpret_cast<const Bytef *>(theirs.data()), static_cast<uInt>(theirs.size()));
    if (ours != theirs || crc != want) __builtin_trap();
  }
  return 0;
}
