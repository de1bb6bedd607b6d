#include "extractor/zip/inflate.h"

#include <cstring>
#include <memory>
#include <new>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#include <immintrin.h>
#define TOVRA_CRC_CLMUL 1
#endif

namespace tovra::zip {
namespace {

// ---- CRC-32 -----------------------------------------------------------------

// Eight tables, so the main loop takes eight bytes a step. Filled by a
// static constructor: before main, or while the DLL is attached, so no two
// threads ever race to fill them, and they cost no bytes in the file.
bool HasCarrylessMultiply();

struct CrcTables {
  uint32_t t[8][256];
  bool clmul;
  CrcTables() : clmul(HasCarrylessMultiply()) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i) {
      for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
  }
};
const CrcTables kCrc;

#ifdef TOVRA_CRC_CLMUL
bool HasCarrylessMultiply() {
  unsigned a, b, c, d;
  return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_PCLMUL) && (d & bit_SSE2);
}

#define TOVRA_CLMUL_TARGET __attribute__((target("pclmul,sse2")))

TOVRA_CLMUL_TARGET __m128i Load128(const uint8_t *q) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
}

// x times the two constants in k (low and high halves), plus next.
TOVRA_CLMUL_TARGET __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Folds 64 bytes a step with carry-less multiplication, as Intel's paper
// "Fast CRC Computation for Generic Polynomials Using PCLMULQDQ" shows for
// the bit-reflected CRC-32; `crc` goes in and comes out inverted. Needs
// n >= 64 and n a multiple of 16.
TOVRA_CLMUL_TARGET uint32_t CrcFold(uint32_t crc, const uint8_t *p, size_t n) {
  alignas(16) static const uint64_t k1k2[2] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static const uint64_t k3k4[2] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static const uint64_t k5[2] = {0x0163cd6124, 0};
  alignas(16) static const uint64_t poly[2] = {0x01db710641, 0x01f7011641};
  __m128i x1 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load128(p + 16), x3 = Load128(p + 32), x4 = Load128(p + 48);
  p += 64;
  n -= 64;
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i *>(k1k2));
  for (; n >= 64; p += 64, n -= 64) {
    x1 = Fold(x1, k, Load128(p));
    x2 = Fold(x2, k, Load128(p + 16));
    x3 = Fold(x3, k, Load128(p + 32));
    x4 = Fold(x4, k, Load128(p + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i *>(k3k4));
  x1 = Fold(x1, k, x2);
  x1 = Fold(x1, k, x3);
  x1 = Fold(x1, k, x4);
  for (; n >= 16; p += 16, n -= 16) x1 = Fold(x1, k, Load128(p));
  // 128 bits to 64, then Barrett reduction to 32.
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(k5));
  x1 =
      _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), _mm_srli_si128(x1, 4));
  k = _mm_load_si128(reinterpret_cast<const __m128i *>(poly));
  __m128i x2b = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
  x2b = _mm_clmulepi64_si128(_mm_and_si128(x2b, low32), k, 0x00);
  x1 = _mm_xor_si128(x1, x2b);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}
#else
bool HasCarrylessMultiply() {
  return false;
}
#endif

uint32_t Load32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// ---- Huffman tables -----------------------------------------------------------

// A table entry: bits 0-3 the code length to consume, 4-6 the kind, 8-12
// the count of extra bits (or a subtable's index bits), 16-31 the value (a
// literal, a base, or a subtable's offset). 0 is an invalid code.
enum Kind : uint32_t { kInvalid = 0, kLiteral = 1, kBase = 2, kEnd = 3, kSub = 4 };

constexpr uint32_t Entry(uint32_t kind, uint32_t length, uint32_t extra, uint32_t value) {
  return length | (kind << 4) | (extra << 8) | (value << 16);
}
constexpr uint32_t LengthOf(uint32_t e) {
  return e & 0xF;
}
constexpr uint32_t KindOf(uint32_t e) {
  return (e >> 4) & 0x7;
}
constexpr uint32_t ExtraOf(uint32_t e) {
  return (e >> 8) & 0x1F;
}
constexpr uint32_t ValueOf(uint32_t e) {
  return e >> 16;
}

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

enum class Alphabet { kCodeLengths, kLiterals, kDistances };

uint32_t SymbolEntry(Alphabet a, uint32_t symbol, uint32_t length) {
  switch (a) {
    case Alphabet::kCodeLengths:
      return Entry(kLiteral, length, 0, symbol);
    case Alphabet::kLiterals:
      if (symbol < 256) return Entry(kLiteral, length, 0, symbol);
      if (symbol == 256) return Entry(kEnd, length, 0, 0);
      if (symbol < 286) {
        return Entry(kBase, length, kLengthExtra[symbol - 257], kLengthBase[symbol - 257]);
      }
      return kInvalid;  // 286, 287: in the fixed code, never valid
    case Alphabet::kDistances:
      if (symbol < 30) return Entry(kBase, length, kDistExtra[symbol], kDistBase[symbol]);
      return kInvalid;  // 30, 31
  }
  return kInvalid;
}

uint32_t Reverse(uint32_t code, uint32_t length) {
  uint32_t r = 0;
  for (uint32_t i = 0; i < length; ++i, code >>= 1) r = (r << 1) | (code & 1);
  return r;
}

// Builds the decoding table of a canonical code from its code lengths: a
// primary table of 2^root entries indexed by the next root bits, and
// subtables for longer codes. Refuses over-subscribed codes and incomplete
// ones, except a lone code of length 1 (the other half stays invalid), as
// zlib does; an empty code gives a table that fails on first use.
bool BuildTable(Alphabet alphabet, const uint8_t *lengths, uint32_t n, uint32_t root,
                uint32_t *table, uint32_t capacity) {
  uint16_t count[16] = {};
  for (uint32_t s = 0; s < n; ++s) ++count[lengths[s]];
  count[0] = 0;
  uint32_t max = 15;
  while (max > 0 && count[max] == 0) --max;
  const uint32_t primary = 1u << root;
  std::memset(table, 0, primary * sizeof *table);
  if (max == 0) return true;
  int left = 1;
  for (uint32_t l = 1; l <= 15; ++l) {
    left = left * 2 - count[l];
    if (left < 0) return false;
  }
  if (left > 0 && (alphabet == Alphabet::kCodeLengths || max != 1)) return false;

  uint16_t offset[17] = {};
  for (uint32_t l = 1; l < 16; ++l) offset[l + 1] = offset[l] + count[l];
  uint16_t sorted[288];
  for (uint32_t s = 0; s < n; ++s) {
    if (lengths[s]) sorted[offset[lengths[s]]++] = static_cast<uint16_t>(s);
  }
  const uint32_t total = offset[16];  // offset[l] now ends length l's run

  uint32_t used = primary;    // entries of `table` in use
  uint32_t sub_prefix = ~0u;  // primary index of the current subtable
  uint32_t sub_offset = 0, sub_bits = 0;
  uint32_t code = 0;  // canonical code, most significant bit first
  uint32_t length = lengths[sorted[0]];
  for (uint32_t k = 0; k < total; ++k) {
    const uint32_t symbol = sorted[k];
    while (lengths[symbol] > length) {
      code <<= 1;
      ++length;
    }
    const uint32_t rev = Reverse(code, length);
    const uint32_t e = SymbolEntry(alphabet, symbol, length);
    if (length <= root) {
      for (uint32_t i = rev; i < primary; i += 1u << length) table[i] = e;
    } else {
      const uint32_t prefix = rev & (primary - 1);
      if (prefix != sub_prefix) {
        // As long as the codes under this prefix need: grow while the
        // remaining codes of the next length do not fill it.
        sub_bits = length - root;
        int room = 1 << sub_bits;
        for (uint32_t l = length; l < max; ++l) {
          room -= count[l];
          if (room <= 0) break;
          ++sub_bits;
          room <<= 1;
        }
        if (used + (1u << sub_bits) > capacity) return false;
        sub_prefix = prefix;
        sub_offset = used;
        used += 1u << sub_bits;
        std::memset(table + sub_offset, 0, (1u << sub_bits) * sizeof *table);
        table[prefix] = Entry(kSub, root, sub_bits, sub_offset);
      }
      for (uint32_t i = rev >> root; i < (1u << sub_bits); i += 1u << (length - root)) {
        table[sub_offset + i] = e;
      }
    }
    --count[length];
    ++code;
  }
  return true;
}

// Primary bits, and room for the primary table and every subtable: each
// subtable holds at least one symbol and at most 2^(15 - root) entries, so
// no valid code can run out of room.
constexpr uint32_t kLitRoot = 10, kLitCapacity = (1u << 10) + 286 * (1u << (15 - 10));
constexpr uint32_t kDistRoot = 8, kDistCapacity = (1u << 8) + 30 * (1u << (15 - 8));
constexpr uint32_t kCodeLengthRoot = 7;

// ---- the decoder ----------------------------------------------------------------

// Output goes to one buffer that is also the window: the last 32 KB stay in
// front when a full piece has gone to the sink.
constexpr size_t kWindow = 32768;
constexpr size_t kPiece = 256 * 1024;
constexpr size_t kMaxMatch = 258;
constexpr size_t kSlack = 16;  // matches are copied eight bytes at a time
static_assert(kWindow + kPiece + kMaxMatch == kInflatePieceMax, "the first piece is the largest");

// The input, read from the least significant bit up, a piece at a time as
// the source gives it. It keeps at least 56 bits at hand after Refill; past
// the input's end it feeds zero bytes and counts them, and using one of them
// is a cut-short stream (Overrun).
struct BitReader {
  const uint8_t *ip = nullptr, *end = nullptr;
  uint64_t bits = 0;
  uint32_t count = 0, padding = 0;
  InflateSource source;
  void *ctx;
  bool done = false;    // the source has given its last piece
  bool failed = false;  // ... because it could not read

  void Refill() {
    if (end - ip >= 8) {
      // Bits above `count` are the next input bits already, or zero, so
      // the whole word can be or-ed in and only whole bytes counted.
      uint64_t w;
      std::memcpy(&w, ip, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      w = __builtin_bswap64(w);
#endif
      bits |= w << count;
      ip += (63 - count) >> 3;
      count |= 56;
      return;
    }
    RefillByBytes();
  }
  // Near a piece's end: byte by byte, across into the next piece. Out of
  // line: it runs once a piece, and the decoder pair has a size limit.
  __attribute__((noinline)) void RefillByBytes() {
    while (count <= 56) {
      if (ip == end) NextPiece();
      if (ip < end) {
        bits |= static_cast<uint64_t>(*ip++) << count;
      } else {
        ++padding;
      }
      count += 8;
    }
  }
  // Moves to the next non-empty piece; false at the input's end.
  bool NextPiece() {
    while (!done) {
      const uint8_t *p = nullptr;
      size_t n = 0;
      if (!source(ctx, &p, &n)) failed = true;
      if (failed || n == 0) {
        done = true;
        break;
      }
      ip = p;
      end = p + n;
      return true;
    }
    return false;
  }
  bool Overrun() const {
    return count < 8 * padding;
  }
  uint32_t Peek(uint32_t n) const {
    return static_cast<uint32_t>(bits) & ((1u << n) - 1);
  }
  void Drop(uint32_t n) {
    bits >>= n;
    count -= n;
  }
  uint32_t Take(uint32_t n) {
    const uint32_t v = Peek(n);
    Drop(n);
    return v;
  }
  uint32_t Decode(const uint32_t *table, uint32_t root) {
    uint32_t e = table[Peek(root)];
    if (KindOf(e) == kSub) {
      e = table[ValueOf(e) + ((static_cast<uint32_t>(bits) >> root) & ((1u << ExtraOf(e)) - 1))];
    }
    Drop(LengthOf(e));
    return e;
  }
};

class Decoder {
 public:
  Decoder(InflateSource source, void *source_ctx, uint64_t out_size, InflateSink sink, void *ctx)
      : out_size_(out_size), sink_(sink), ctx_(ctx) {
    in_.source = source;
    in_.ctx = source_ctx;
  }

  InflateResult Run(uint32_t *crc);
  bool failed() const { return in_.failed; }

 private:
  bool Flush();
  bool MakeRoom();
  void SetEnd();
  InflateResult Stored();
  InflateResult Dynamic();
  void Fixed();
  InflateResult Codes();

  BitReader in_;

  uint64_t out_size_;
  InflateSink sink_;
  void *ctx_;
  std::unique_ptr<uint8_t[]> buf_;
  size_t pos_ = 0, flushed_ = 0;
  size_t slide_at_ = 0;  // a buffer that holds the whole output never slides
  size_t end_pos_ = 0;   // see SetEnd
  uint64_t slid_ = 0;    // output bytes moved out of the buffer's front
  uint32_t crc_ = 0;
  bool stopped_ = false;

  uint32_t lit_[kLitCapacity];
  uint32_t dist_[kDistCapacity];
};

bool Decoder::Flush() {
  if (pos_ == flushed_) return true;
  crc_ = Crc32(crc_, buf_.get() + flushed_, pos_ - flushed_);
  if (!sink_(ctx_, buf_.get() + flushed_, pos_ - flushed_)) {
    stopped_ = true;
    return false;
  }
  flushed_ = pos_;
  return true;
}

// Called with pos_ at or past slide_at_: the piece goes out and the window
// moves to the front.
bool Decoder::MakeRoom() {
  if (!Flush()) return false;
  std::memmove(buf_.get(), buf_.get() + pos_ - kWindow, kWindow);
  slid_ += pos_ - kWindow;
  pos_ = flushed_ = kWindow;
  SetEnd();
  return true;
}

// The declared end in buffer positions; one far beyond the buffer stands for
// any that is (a 32-bit size_t cannot hold every 32-bit ZIP size past it).
void Decoder::SetEnd() {
  const uint64_t far = static_cast<size_t>(-1) / 2;
  const uint64_t left = out_size_ - slid_;
  end_pos_ = static_cast<size_t>(left < far ? left : far);
}

InflateResult Decoder::Stored() {
  // Back to the byte boundary; LEN and NLEN come from the bit buffer, then
  // its whole bytes, then the input pieces.
  in_.Drop(in_.count & 7);
  if (in_.count < 32) in_.Refill();
  const uint32_t len = in_.Take(16), nlen = in_.Take(16);
  if (in_.Overrun()) return InflateResult::kBadData;
  if (len != (~nlen & 0xFFFF)) return InflateResult::kBadData;
  if (pos_ + len > end_pos_) return InflateResult::kSizeMismatch;
  size_t left = len;
  while (left > 0) {
    if (pos_ >= slide_at_ && !MakeRoom()) return InflateResult::kStopped;
    if (in_.count > 8 * in_.padding) {
      buf_[pos_++] = static_cast<uint8_t>(in_.Take(8));
      --left;
      continue;
    }
    if (in_.ip == in_.end && !in_.NextPiece()) return InflateResult::kBadData;
    in_.bits = 0;  // only padding was left in it
    in_.count = in_.padding = 0;
    size_t n = left < slide_at_ - pos_ ? left : slide_at_ - pos_;
    if (n > static_cast<size_t>(in_.end - in_.ip)) n = static_cast<size_t>(in_.end - in_.ip);
    std::memcpy(buf_.get() + pos_, in_.ip, n);
    pos_ += n;
    in_.ip += n;
    left -= n;
  }
  return InflateResult::kOk;
}

void Decoder::Fixed() {
  uint8_t lengths[288];
  std::memset(lengths, 8, 144);
  std::memset(lengths + 144, 9, 112);
  std::memset(lengths + 256, 7, 24);
  std::memset(lengths + 280, 8, 8);
  BuildTable(Alphabet::kLiterals, lengths, 288, kLitRoot, lit_, kLitCapacity);
  std::memset(lengths, 5, 32);
  BuildTable(Alphabet::kDistances, lengths, 32, kDistRoot, dist_, kDistCapacity);
}

InflateResult Decoder::Dynamic() {
  in_.Refill();
  const uint32_t nlit = in_.Take(5) + 257, ndist = in_.Take(5) + 1, ncode = in_.Take(4) + 4;
  if (nlit > 286 || ndist > 30) return InflateResult::kBadData;
  static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                         11, 4,  12, 3, 13, 2, 14, 1, 15};
  uint8_t lengths[286 + 30] = {};
  for (uint32_t i = 0; i < ncode; ++i) {
    if (in_.count < 3) in_.Refill();
    lengths[kOrder[i]] = static_cast<uint8_t>(in_.Take(3));
  }
  uint32_t code_table[1u << kCodeLengthRoot];
  if (!BuildTable(Alphabet::kCodeLengths, lengths, 19, kCodeLengthRoot, code_table,
                  1u << kCodeLengthRoot)) {
    return InflateResult::kBadData;
  }
  std::memset(lengths, 0, 19);
  for (uint32_t i = 0; i < nlit + ndist;) {
    in_.Refill();
    if (in_.Overrun()) return InflateResult::kBadData;
    const uint32_t e = in_.Decode(code_table, kCodeLengthRoot);
    if (KindOf(e) != kLiteral) return InflateResult::kBadData;
    const uint32_t sym = ValueOf(e);
    if (sym < 16) {
      lengths[i++] = static_cast<uint8_t>(sym);
      continue;
    }
    uint8_t value = 0;
    uint32_t repeat;
    if (sym == 16) {
      if (i == 0) return InflateResult::kBadData;
      value = lengths[i - 1];
      repeat = 3 + in_.Take(2);
    } else if (sym == 17) {
      repeat = 3 + in_.Take(3);
    } else {
      repeat = 11 + in_.Take(7);
    }
    if (i + repeat > nlit + ndist) return InflateResult::kBadData;
    std::memset(lengths + i, value, repeat);
    i += repeat;
  }
  if (in_.Overrun()) return InflateResult::kBadData;
  if (lengths[256] == 0) return InflateResult::kBadData;  // no end-of-block code
  if (!BuildTable(Alphabet::kLiterals, lengths, nlit, kLitRoot, lit_, kLitCapacity) ||
      !BuildTable(Alphabet::kDistances, lengths + nlit, ndist, kDistRoot, dist_, kDistCapacity)) {
    return InflateResult::kBadData;
  }
  return InflateResult::kOk;
}

// The symbols of one block. Each step starts with at least 56 bits at hand,
// enough for a length and a distance with all their extra bits, and with
// room for the longest match behind pos_.
InflateResult Decoder::Codes() {
  // The reader and the output position live in locals while the block is
  // decoded: the output is written through a byte pointer, which could
  // alias members, so members would be reloaded after every byte.
  struct Local {
    Decoder *d;
    BitReader in;
    size_t pos;
    ~Local() {
      d->in_ = in;
      d->pos_ = pos;
    }
  } l{this, in_, pos_};
  BitReader &in = l.in;
  size_t &pos = l.pos;
  uint8_t *out = buf_.get();
  size_t end_pos = end_pos_;
  const size_t slide_at = slide_at_;
  for (;;) {
    if (pos >= slide_at) {
      in_ = in;
      pos_ = pos;
      if (!MakeRoom()) return InflateResult::kStopped;
      pos = pos_;
      end_pos = end_pos_;
    }
    in.Refill();
    if (in.Overrun()) return InflateResult::kBadData;
    uint32_t e = in.Decode(lit_, kLitRoot);
    uint32_t kind = KindOf(e);
    if (kind == kLiteral) {
      // Most symbols are literals: up to three of them (15 bits each at
      // most) come out of one refill.
      if (pos >= end_pos) return InflateResult::kSizeMismatch;
      out[pos++] = static_cast<uint8_t>(ValueOf(e));
      e = in.Decode(lit_, kLitRoot);
      kind = KindOf(e);
      if (kind == kLiteral) {
        if (pos >= end_pos) return InflateResult::kSizeMismatch;
        out[pos++] = static_cast<uint8_t>(ValueOf(e));
        e = in.Decode(lit_, kLitRoot);
        kind = KindOf(e);
        if (kind == kLiteral) {
          if (pos >= end_pos) return InflateResult::kSizeMismatch;
          out[pos++] = static_cast<uint8_t>(ValueOf(e));
          continue;
        }
      }
      // A length after literals: refill first, it may need 48 bits.
      if (kind == kBase) {
        if (in.Overrun()) return InflateResult::kBadData;
        if (in.count < 48) in.Refill();
      }
    }
    if (kind == kEnd) return InflateResult::kOk;
    if (kind != kBase) return InflateResult::kBadData;
    const size_t length = ValueOf(e) + in.Take(ExtraOf(e));
    e = in.Decode(dist_, kDistRoot);
    if (KindOf(e) != kBase) return InflateResult::kBadData;
    const size_t dist = ValueOf(e) + in.Take(ExtraOf(e));
    if (in.Overrun()) return InflateResult::kBadData;
    if (dist > slid_ + pos) return InflateResult::kBadData;  // before the start
    if (pos + length > end_pos) return InflateResult::kSizeMismatch;
    uint8_t *dst = out + pos;
    const uint8_t *src = dst - dist;
    pos += length;
    if (dist >= 8) {
      // Eight bytes at a time; each read lies wholly before what it
      // writes. Up to seven bytes past the match are scribbled on, within
      // the slack, and overwritten later.
      for (size_t i = 0; i < length; i += 8) std::memcpy(dst + i, src + i, 8);
    } else if (dist == 1) {
      std::memset(dst, *src, length);
    } else {
      for (size_t i = 0; i < length; ++i) dst[i] = src[i];
    }
  }
}

InflateResult Decoder::Run(uint32_t *crc) {
  // A small entry gets a buffer of its own size and never slides.
  const uint64_t whole = out_size_ + kMaxMatch + kSlack;
  size_t size = kWindow + kPiece + kMaxMatch + kSlack;
  slide_at_ = kWindow + kPiece;
  if (whole <= size) {
    size = static_cast<size_t>(whole);
    slide_at_ = static_cast<size_t>(-1);
  }
  buf_.reset(new (std::nothrow) uint8_t[size]);
  if (!buf_) return InflateResult::kOutOfMemory;
  SetEnd();
  InflateResult r = InflateResult::kOk;
  for (bool last = false; !last && r == InflateResult::kOk;) {
    in_.Refill();
    if (in_.Overrun()) return InflateResult::kBadData;
    last = in_.Take(1) != 0;
    switch (in_.Take(2)) {
      case 0:
        r = Stored();
        break;
      case 1:
        Fixed();
        r = Codes();
        break;
      case 2:
        r = Dynamic();
        if (r == InflateResult::kOk) r = Codes();
        break;
      default:
        return InflateResult::kBadData;
    }
  }
  if (r != InflateResult::kOk) return stopped_ ? InflateResult::kStopped : r;
  if (in_.Overrun()) return InflateResult::kBadData;
  if (!Flush()) return InflateResult::kStopped;
  // Every input byte used: none left in the bit buffer, the piece or the source.
  const bool unused = (in_.count >> 3) != in_.padding || in_.ip != in_.end || in_.NextPiece();
  if (in_.failed) return InflateResult::kStopped;
  if (unused || slid_ + pos_ != out_size_) return InflateResult::kSizeMismatch;
  *crc = crc_;
  return InflateResult::kOk;
}

}  // namespace

uint32_t Crc32(uint32_t crc, const uint8_t *p, size_t n) {
  crc = ~crc;
#ifdef TOVRA_CRC_CLMUL
  if (kCrc.clmul && n >= 64) {
    const size_t folded = n & ~static_cast<size_t>(15);
    crc = CrcFold(crc, p, folded);
    p += folded;
    n -= folded;
  }
#endif
  while (n >= 8) {
    const uint32_t a = Load32(p) ^ crc, b = Load32(p + 4);
    crc = kCrc.t[7][a & 0xFF] ^ kCrc.t[6][(a >> 8) & 0xFF] ^ kCrc.t[5][(a >> 16) & 0xFF] ^
          kCrc.t[4][a >> 24] ^ kCrc.t[3][b & 0xFF] ^ kCrc.t[2][(b >> 8) & 0xFF] ^
          kCrc.t[1][(b >> 16) & 0xFF] ^ kCrc.t[0][b >> 24];
    p += 8;
    n -= 8;
  }
  while (n-- > 0) crc = (crc >> 8) ^ kCrc.t[0][(crc ^ *p++) & 0xFF];
  return ~crc;
}

InflateResult Inflate(InflateSource source, void *source_ctx, uint64_t out_size, InflateSink sink,
                      void *ctx, uint32_t *crc) {
  std::unique_ptr<Decoder> d(new (std::nothrow) Decoder(source, source_ctx, out_size, sink, ctx));
  if (!d) return InflateResult::kOutOfMemory;
  const InflateResult r = d->Run(crc);
  // A source that could not read fed zeros, which end as broken data.
  return d->failed() ? InflateResult::kStopped : r;
}

namespace {

struct Whole {
  const uint8_t *in;
  size_t size;
};

bool GiveWhole(void *ctx, const uint8_t **data, size_t *size) {
  Whole *w = static_cast<Whole *>(ctx);
  *data = w->in;
  *size = w->size;
  w->size = 0;
  return true;
}

}  // namespace

InflateResult Inflate(const uint8_t *in, size_t in_size, uint64_t out_size, InflateSink sink,
                      void *ctx, uint32_t *crc) {
  Whole whole{in, in_size};
  return Inflate(GiveWhole, &whole, out_size, sink, ctx, crc);
}

}  // namespace tovra::zip
