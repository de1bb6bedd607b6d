// tovra-product-gen <folder>: writes the sample product's generated content
// (everything but the two programs, which the cross build compiles) into
// <folder>. The output depends on nothing but this file: every byte comes
// from fixed-seed generators, so the packed archive is the same on every
// build and machine.
//
// The shape follows the real product: 42 bitmaps, one sound, 18 program and
// library modules (data here, not code), one sub-folder of six trajectory
// files, and the 223-byte TovraClient.dat. About 20 MB unpacked; the data is
// only partly compressible so that deflate gives roughly 8 MB, which makes
// the archive need three pieces in the installer.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// splitmix64: tiny, well mixed, and identical everywhere.
struct Prng {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
};

// Share of each 256-byte block that is noise; the rest repeats a pattern
// deflate finds. Tuned so the sample packs at about 2.5:1.
constexpr unsigned kNoisePerBlock = 98;

void Put16(std::vector<uint8_t> &v, size_t at, uint32_t x) {
  v[at] = uint8_t(x);
  v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t> &v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

// Noise mixed with slowly varying repetitive runs, from `from` to the end.
void FillMixed(std::vector<uint8_t> &v, size_t from, uint64_t seed) {
  Prng rng{seed};
  uint8_t pattern[64];
  for (auto &b : pattern) b = uint8_t(rng.Next());
  for (size_t pos = from, block = 0; pos < v.size(); pos += 256, ++block) {
    size_t end = pos + 256 < v.size() ? pos + 256 : v.size();
    size_t noise_end = pos + kNoisePerBlock < end ? pos + kNoisePerBlock : end;
    for (size_t i = pos; i < noise_end; ++i) v[i] = uint8_t(rng.Next() >> 24);
    // The pattern drifts every 64 blocks, so matches stay near but not free.
    if (block % 64 == 0) pattern[rng.Next() % sizeof pattern] = uint8_t(rng.Next());
    for (size_t i = noise_end; i < end; ++i) v[i] = pattern[(i - noise_end) % sizeof pattern];
  }
}

std::vector<uint8_t> Bitmap(int index) {
  // 24-bit bottom-up BMP; widths are multiples of 4 so rows need no padding.
  int width = 200 + 8 * (index % 9), height = 240 + 6 * (index % 7);
  uint32_t pixels = uint32_t(width) * uint32_t(height) * 3;
  std::vector<uint8_t> v(54 + pixels);
  v[0] = 'B';
  v[1] = 'M';
  Put32(v, 2, uint32_t(v.size()));
  Put32(v, 10, 54);
  Put32(v, 14, 40);
  Put32(v, 18, uint32_t(width));
  Put32(v, 22, uint32_t(height));
  Put16(v, 26, 1);
  Put16(v, 28, 24);
  Put32(v, 34, pixels);
  FillMixed(v, 54, 1000 + index);
  return v;
}

std::vector<uint8_t> Sound() {
  // 16-bit mono PCM at 22,050 Hz.
  uint32_t data = 22050 * 2 * 28;
  std::vector<uint8_t> v(44 + data);
  memcpy(&v[0], "RIFF", 4);
  Put32(v, 4, uint32_t(v.size() - 8));
  memcpy(&v[8], "WAVEfmt ", 8);
  Put32(v, 16, 16);
  Put16(v, 20, 1);
  Put16(v, 22, 1);
  Put32(v, 24, 22050);
  Put32(v, 28, 44100);
  Put16(v, 32, 2);
  Put16(v, 34, 16);
  memcpy(&v[36], "data", 4);
  Put32(v, 40, data);
  FillMixed(v, 44, 2000);
  return v;
}

std::vector<uint8_t> Module(int index) {
  std::vector<uint8_t> v(size_t(320000 + 41000 * ((index * 7) % 16)));
  FillMixed(v, 0, 3000 + index);
  return v;
}

// Trajectory files are text: rows of coordinates, highly compressible.
std::vector<uint8_t> Trajectory(int index) {
  Prng rng{uint64_t(4000 + index)};
  std::string text = "# trajectory " + std::to_string(index) + "\r\n";
  int x = 0, y = 0;
  while (text.size() < 50000u + 3000u * unsigned(index)) {
    x += int(rng.Next() % 7) - 3;
    y += int(rng.Next() % 5) - 2;
    text += std::to_string(x) + "," + std::to_string(y) + ",0.040\r\n";
  }
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> ClientData() {
  // 223 bytes: the client's settings as the product ships them.
  std::string text =
      "[client]\r\nserver=127.0.0.1\r\nport=8701\r\nscreen=0\r\nfont=微软雅黑\r\n"
      "speed=3\r\nopacity=90\r\n[display]\r\nwidth=1920\r\nheight=1080\r\nrows=5\r\n"
      "colour=16777215\r\n";
  text.resize(223, ' ');
  text[221] = '\r';
  text[222] = '\n';
  return std::vector<uint8_t>(text.begin(), text.end());
}

bool Write(const std::string &path, const std::vector<uint8_t> &data) {
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  return fclose(f) == 0 && ok;
}

std::string Two(int n) {
  return (n < 10 ? "0" : "") + std::to_string(n);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: tovra-product-gen <folder>\n");
    return 2;
  }
  std::string dir = argv[1];
  std::string sub = dir + "/轨迹";
  mkdir(dir.c_str(), 0755);
  mkdir(sub.c_str(), 0755);
  bool ok = Write(dir + "/TovraClient.dat", ClientData());
  for (int i = 1; i <= 21; ++i) ok = ok && Write(dir + "/背景" + Two(i) + ".bmp", Bitmap(i));
  for (int i = 1; i <= 21; ++i) ok = ok && Write(dir + "/skin_" + Two(i) + ".bmp", Bitmap(21 + i));
  ok = ok && Write(dir + "/提示音.wav", Sound());
  for (int i = 1; i <= 16; ++i) ok = ok && Write(dir + "/module" + Two(i) + ".bin", Module(i));
  ok = ok && Write(dir + "/TovraRender.bin", Module(17));
  ok = ok && Write(dir + "/TovraNet.bin", Module(18));
  for (int i = 1; i <= 6; ++i)
    ok = ok && Write(sub + "/轨迹" + std::to_string(i) + ".trk", Trajectory(i));
  if (!ok) {
    fprintf(stderr, "tovra-product-gen: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
