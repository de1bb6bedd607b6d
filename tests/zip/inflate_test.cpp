// Our inflate and CRC-32 against zlib's: every stream zlib writes decodes to
// the same bytes, and damaged streams are refused exactly when zlib refuses
// them.
#include "extractor/zip/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using tovra::zip::Crc32;
using tovra::zip::Inflate;
using tovra::zip::InflateResult;

// Knuth's MMIX generator, its high half: the test data of every run is the same.
struct Rng {
  explicit Rng(uint64_t seed) : e(seed) {}
  uint32_t Next() { return static_cast<uint32_t>(e() >> 33); }
  std::linear_congruential_engine<uint64_t, 6364136223846793005ull, 1442695040888963407ull, 0> e;
};

enum class Shape { kZeros, kNoise, kText, kMixed };

std::string Make(Shape shape, size_t n, uint64_t seed) {
  Rng r{seed};
  std::string s(n, '\0');
  switch (shape) {
    case Shape::kZeros:
      break;
    case Shape::kNoise:
      for (char &c : s) c = static_cast<char>(r.Next() >> 7);
      break;
    case Shape::kText: {
      static const char *const kWords[] = {"the ", "install ", "folder ", "安装 ", "\r\n", "7ZG "};
      std::string t;
      while (t.size() < n) t += kWords[r.Next() % 6];
      s = t.substr(0, n);
      break;
    }
    case Shape::kMixed:
      // Noise, short repeats far and near, runs of one byte.
      for (size_t i = 0; i < n;) {
        const uint32_t k = r.Next() % 4;
        const size_t len = 1 + r.Next() % 300;
        for (size_t j = 0; j < len && i < n; ++j, ++i) {
          if (k == 0 || i < 40000) {
            s[i] = static_cast<char>(r.Next() >> 11);
          } else if (k == 1) {
            s[i] = s[i - 1 - (r.Next() % 3)];
          } else if (k == 2) {
            s[i] = s[i - 32768 + (j % 7)];
          } else {
            s[i] = 'r';
          }
        }
      }
      break;
  }
  return s;
}

std::string Deflate(const std::string &data, int level, int strategy, int window_bits = 15) {
  z_stream z{};
  EXPECT_EQ(Z_OK, deflateInit2(&z, level, Z_DEFLATED, -window_bits, 8, strategy));
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef *>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct Collected {
  std::string bytes;
  size_t pieces = 0, largest = 0;
  size_t stop_after = SIZE_MAX;
};

bool Collect(void *ctx, const uint8_t *p, size_t n) {
  auto *c = static_cast<Collected *>(ctx);
  c->bytes.append(reinterpret_cast<const char *>(p), n);
  ++c->pieces;
  if (n > c->largest) c->largest = n;
  return c->pieces < c->stop_after;
}

InflateResult Ours(const std::string &stream, uint64_t out_size, Collected *c, uint32_t *crc) {
  return Inflate(reinterpret_cast<const uint8_t *>(stream.data()), stream.size(), out_size, Collect,
                 c, crc);
}

// zlib's verdict with our rule: one whole stream, all input used, exactly
// out_size bytes.
bool ZlibAccepts(const std::string &stream, size_t out_size, std::string *out) {
  z_stream z{};
  inflateInit2(&z, -15);
  out->assign(out_size + 1, '\0');
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = reinterpret_cast<Bytef *>(&(*out)[0]);
  z.avail_out = static_cast<uInt>(out->size());
  const int r = inflate(&z, Z_FINISH);
  const bool ok = r == Z_STREAM_END && z.total_in == stream.size() && z.total_out == out_size;
  out->resize(z.total_out);
  inflateEnd(&z);
  return ok;
}

uint32_t ZlibCrc(const std::string &s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef *>(s.data()), static_cast<uInt>(s.size())));
}

TEST(Inflate, DecodesWhatZlibWritesAtEveryLevelAndStrategy) {
  const Shape shapes[] = {Shape::kZeros, Shape::kNoise, Shape::kText, Shape::kMixed};
  // Around the window, the 256 KB pieces and the point where a buffer of the
  // whole output gives way to a sliding one.
  const size_t sizes[] = {0, 1, 258, 32767, 32768, 32769, 262144 + 32768 + 1, 700001};
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  int cases = 0;
  for (Shape shape : shapes) {
    for (size_t size : sizes) {
      const std::string data = Make(shape, size, size * 31 + static_cast<int>(shape));
      for (int level : {0, 1, 6, 9}) {
        for (int strategy : strategies) {
          if (level == 0 && strategy != Z_DEFAULT_STRATEGY) continue;
          for (int window : {15, 9}) {
            if (window == 9 && (level != 9 || strategy != Z_DEFAULT_STRATEGY)) continue;
            const std::string stream = Deflate(data, level, strategy, window);
            Collected c;
            uint32_t crc = 0;
            ASSERT_EQ(InflateResult::kOk, Ours(stream, size, &c, &crc))
                << "shape " << static_cast<int>(shape) << " size " << size << " level " << level
                << " strategy " << strategy;
            ASSERT_TRUE(c.bytes == data) << size << " " << level << " " << strategy;
            EXPECT_EQ(ZlibCrc(data), crc);
            EXPECT_LE(c.largest, tovra::zip::kInflatePieceMax);
            ++cases;
          }
        }
      }
    }
  }
  EXPECT_GT(cases, 400);
}

TEST(Inflate, OutputMustMatchTheDeclaredSizeAndUseAllInput) {
  const std::string data = Make(Shape::kMixed, 100000, 7);
  const std::string stream = Deflate(data, 6, Z_DEFAULT_STRATEGY);
  Collected c;
  uint32_t crc = 0;
  // One byte more than declared: decoding stops before it reaches the sink.
  EXPECT_EQ(InflateResult::kSizeMismatch, Ours(stream, data.size() - 1, &c, &crc));
  EXPECT_LT(c.bytes.size(), data.size());
  Collected more;
  EXPECT_EQ(InflateResult::kSizeMismatch, Ours(stream, data.size() + 1, &more, &crc));
  Collected trailing;
  EXPECT_EQ(InflateResult::kSizeMismatch, Ours(stream + "x", data.size(), &trailing, &crc));
  // Cut anywhere: a stream that ends before its last block is broken.
  for (size_t keep : {size_t{0}, size_t{1}, stream.size() / 2, stream.size() - 1}) {
    Collected cut;
    EXPECT_EQ(InflateResult::kBadData, Ours(stream.substr(0, keep), data.size(), &cut, &crc))
        << keep;
  }
  // A bomb's declared size is no allocation: 4 GB declared, a few bytes out.
  const std::string tiny = Deflate("abc", 9, Z_DEFAULT_STRATEGY);
  Collected bomb;
  EXPECT_EQ(InflateResult::kSizeMismatch, Ours(tiny, 0xFFFFFFFFu, &bomb, &crc));
  EXPECT_EQ("abc", bomb.bytes);
}

// The input in pieces of `step` bytes; reads past `fail_at` fail.
struct Stepped {
  const std::string *stream;
  size_t step, fail_at = SIZE_MAX, at = 0;
  static bool Give(void *ctx, const uint8_t **p, size_t *n) {
    Stepped *s = static_cast<Stepped *>(ctx);
    *n = std::min(s->step, s->stream->size() - s->at);
    if (s->at + *n > s->fail_at) return false;
    *p = reinterpret_cast<const uint8_t *>(s->stream->data()) + s->at;
    s->at += *n;
    return true;
  }
};

// Pieces of any size, down to single bytes, decode exactly like the whole:
// across stored, fixed and dynamic blocks, cut short, with bytes left over.
TEST(Inflate, TakesItsInputInPiecesOfAnySize) {
  const std::string data = Make(Shape::kMixed, 300000, 5);
  for (int level : {0, 1, 9}) {
    const std::string stream = Deflate(data, level, level == 1 ? Z_FIXED : Z_DEFAULT_STRATEGY);
    for (size_t step : {size_t{1}, size_t{3}, size_t{8}, size_t{9}, size_t{4096}}) {
      for (size_t keep : {stream.size(), stream.size() - 1, stream.size() + 1}) {
        const std::string s = keep > stream.size() ? stream + "x" : stream.substr(0, keep);
        Collected whole, pieces;
        uint32_t crc = 0, crc_pieces = 0;
        Stepped in{&s, step};
        const InflateResult want = Ours(s, data.size(), &whole, &crc);
        ASSERT_EQ(want, Inflate(Stepped::Give, &in, data.size(), Collect, &pieces, &crc_pieces))
            << level << " " << step << " " << keep;
        EXPECT_TRUE(whole.bytes == pieces.bytes) << level << " " << step << " " << keep;
        if (keep == stream.size()) {
          EXPECT_EQ(ZlibCrc(data), crc_pieces);
        }
      }
    }
    // A source that cannot read on stops the decoding.
    Stepped failing{&stream, 4096, stream.size() / 2};
    Collected c;
    uint32_t crc = 0;
    EXPECT_EQ(InflateResult::kStopped,
              Inflate(Stepped::Give, &failing, data.size(), Collect, &c, &crc));
  }
}

TEST(Inflate, StopsWhenTheSinkSaysSo) {
  const std::string data = Make(Shape::kNoise, 900000, 3);
  const std::string stream = Deflate(data, 1, Z_DEFAULT_STRATEGY);
  Collected c;
  c.stop_after = 2;
  uint32_t crc = 0;
  EXPECT_EQ(InflateResult::kStopped, Ours(stream, data.size(), &c, &crc));
  EXPECT_EQ(2u, c.pieces);
}

TEST(Inflate, HandMadeStreams) {
  uint32_t crc = 0;
  auto run = [&crc](const std::string &stream, uint64_t size, std::string *out = nullptr) {
    Collected c;
    const InflateResult r = Ours(stream, size, &c, &crc);
    if (out) *out = c.bytes;
    return r;
  };
  std::string out;
  // Stored, final, empty: 01 then LEN 0000 NLEN FFFF.
  EXPECT_EQ(InflateResult::kOk, run(std::string("\x01\x00\x00\xFF\xFF", 5), 0));
  // NLEN that is no complement.
  EXPECT_EQ(InflateResult::kBadData, run(std::string("\x01\x00\x00\xFF\xFE", 5), 0));
  // Block type 3.
  EXPECT_EQ(InflateResult::kBadData, run(std::string("\x07\x00", 2), 0));
  // Fixed codes: "a" then end of block (zlib's own bytes for "a").
  EXPECT_EQ(InflateResult::kOk, run(std::string("\x4B\x04\x00", 3), 1, &out));
  EXPECT_EQ("a", out);
  // Fixed codes, a match at the very start reaches before the output.
  // Bits: final 1, type 01, length code 257 (0000001), distance code 0 (00000).
  EXPECT_EQ(InflateResult::kBadData, run(std::string("\x03\x02\x00\x00", 4), 3));
}

TEST(Inflate, RefusesDamagedStreamsExactlyWhenZlibDoes) {
  Rng r{99};
  int accepted = 0, refused = 0;
  for (int round = 0; round < 3000; ++round) {
    const Shape shape = static_cast<Shape>(round % 4);
    const std::string data = Make(shape, 200 + r.Next() % 5000, round);
    std::string stream =
        Deflate(data, 1 + round % 9, round % 7 == 0 ? Z_FIXED : Z_DEFAULT_STRATEGY);
    const int flips = 1 + static_cast<int>(r.Next() % 3);
    for (int f = 0; f < flips; ++f) {
      stream[r.Next() % stream.size()] ^= static_cast<char>(1u << (r.Next() % 8));
    }
    std::string by_zlib;
    const bool zlib_ok = ZlibAccepts(stream, data.size(), &by_zlib);
    Collected c;
    uint32_t crc = 0;
    const InflateResult ours = Ours(stream, data.size(), &c, &crc);
    ASSERT_EQ(zlib_ok, ours == InflateResult::kOk) << "round " << round;
    if (zlib_ok) {
      ASSERT_TRUE(c.bytes == by_zlib) << "round " << round;
      ++accepted;
    } else {
      ++refused;
    }
  }
  EXPECT_GT(refused, 1000);
  std::printf("damaged streams: %d refused by both, %d accepted by both\n", refused, accepted);
}

TEST(Crc32, AgreesWithZlibOnEveryLengthAndAlignment) {
  const std::string data = Make(Shape::kNoise, 5000, 1);
  const auto *p = reinterpret_cast<const uint8_t *>(data.data());
  for (size_t offset = 0; offset < 17; ++offset) {
    for (size_t n = 0; n + offset <= data.size(); n += n < 300 ? 1 : 97) {
      const uint32_t seed = static_cast<uint32_t>(n * 2654435761u);
      ASSERT_EQ(crc32(seed, p + offset, static_cast<uInt>(n)), Crc32(seed, p + offset, n))
          << offset << " " << n;
    }
  }
  // Pieces chain like one call.
  EXPECT_EQ(ZlibCrc(data), Crc32(Crc32(0, p, 1234), p + 1234, data.size() - 1234));
  EXPECT_EQ(0xCBF43926u, Crc32(0, reinterpret_cast<const uint8_t *>("123456789"), 9));
}

}  // namespace
