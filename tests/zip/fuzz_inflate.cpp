// libFuzzer target: our inflate against zlib's on any byte string. The first
// three bytes give the declared output size (up to 1 MB) and, in the high
// four bits, how the input is cut into pieces; the rest is a raw deflate
// stream. Both must accept or refuse it alike, and agree on every byte and
// the CRC-32 of what they accept; ours fed in pieces must give exactly what
// it gives for the whole.
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

// Pieces of 1 to 2^k bytes, their sizes drawn from `seed`.
struct Pieces {
  const uint8_t *data;
  size_t size, at;
  uint32_t seed, k;
};

bool Give(void *ctx, const uint8_t **p, size_t *n) {
  Pieces *s = static_cast<Pieces *>(ctx);
  s->seed = s->seed * 1103515245u + 12345u;
  const size_t want = 1 + (s->seed >> 8) % (size_t{1} << s->k);
  *n = want < s->size - s->at ? want : s->size - s->at;
  *p = s->data + s->at;
  s->at += *n;
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
  const tovra::zip::InflateResult whole =
      tovra::zip::Inflate(data, size, out_size, Append, &ours, &crc);
  const bool ours_ok = whole == tovra::zip::InflateResult::kOk;

  std::string pieced;
  uint32_t pieced_crc = 0;
  const uint32_t k = data[-1] >> 4;
  Pieces pieces{data, size, 0, k * 2654435761u, k};
  if (tovra::zip::Inflate(Give, &pieces, out_size, Append, &pieced, &pieced_crc) != whole ||
      pieced != ours || (ours_ok && pieced_crc != crc)) {
    __builtin_trap();
  }

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
