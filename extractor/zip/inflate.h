#pragma once
// Raw deflate (RFC 1951) decoding and CRC-32 for the ZIP core (portable, no
// windows.h). Our own rather than zlib's: it decodes straight into one
// output buffer that also serves as the window, so nothing is copied twice,
// and it keeps the extractor pair small.
#include <cstddef>
#include <cstdint>

namespace tovra::zip {

enum class InflateResult {
  kOk,            // one complete stream, every input byte used, exactly `out_size` bytes out
  kBadData,       // invalid or cut-short stream
  kSizeMismatch,  // the output would pass `out_size`, ends short of it, or input is left over
  kStopped,       // the sink or the source returned false
  kOutOfMemory,
};

constexpr size_t kInflatePieceMax = 32768 + 262144 + 258;

// Receives the decoded bytes in order; returns false to stop.
using InflateSink = bool (*)(void *ctx, const uint8_t *data, size_t size);

// Gives the next piece of the input, which stays valid until the next call;
// *size 0 at the end. Returns false when the input cannot be read.
using InflateSource = bool (*)(void *ctx, const uint8_t **data, size_t *size);

// Decodes the whole stream the source gives, which must produce exactly
// `out_size` bytes; decoding stops as soon as the output would pass it. The
// bytes reach `sink` in pieces of at most kInflatePieceMax bytes; *crc
// receives their CRC-32.
InflateResult Inflate(InflateSource source, void *source_ctx, uint64_t out_size, InflateSink sink,
                      void *ctx, uint32_t *crc);
// The same with the whole stream in[0, in_size) at hand.
InflateResult Inflate(const uint8_t *in, size_t in_size, uint64_t out_size, InflateSink sink,
                      void *ctx, uint32_t *crc);

// CRC-32 (ISO 3309, as ZIP uses it) of p[0, n), continuing from `crc`.
uint32_t Crc32(uint32_t crc, const uint8_t *p, size_t n);

}  // namespace tovra::zip
