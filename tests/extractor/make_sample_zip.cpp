// Writes the sample archive that 7ZG.EXE must extract exactly as Debian's
// 7zz and unzip do: Chinese CP936 names (UTF-8 flag clear), one UTF-8 name,
// a folder entry, a folder only implied by a path, a name with a blank, an
// empty file, stored and deflated entries, several output chunks.
// Built natively; compiled with -fexec-charset=CP936, so narrow literals are
// the CP936 bytes an archive from a Chinese Windows would hold.
#include <cstdio>
#include <string>
#include <vector>

#include "extractor/zip/zip_writer.h"

namespace {

std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = static_cast<char>((i & 3) == 0 ? (seed >> 16) : "tovra "[i % 6]);
  }
  return s;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s out.zip\n", argv[0]);
    return 2;
  }
  using tovra::zip::WriteEntry;
  std::vector<WriteEntry> e(8);
  e[0].name = "说明.txt";
  e[0].data = "Tovra 安装说明\r\n";
  e[1].name = "数据/";
  e[1].method = 0;
  e[1].external_attributes = 0x10;
  e[2].name = "数据/子目录/轨迹.dat";
  e[2].data = Pattern(300 * 1024, 1);
  e[3].name = "空文件.txt";
  e[3].method = 0;
  e[4].name = "stored.bin";
  e[4].method = 0;
  e[4].data = Pattern(10000, 2);
  e[5].name = "图像/背景 图片.bmp";
  e[5].data = Pattern(2 * 1024 * 1024 + 17, 3);
  e[6].name = u8"雪人☃.txt";  // ☃ has no CP936 form: only UTF-8 can name it
  e[6].flags = 0x0800;
  e[6].data = "snow";
  e[7].name = "TovraClient.dat";
  e[7].data = std::string(223, 'd');
  e[7].dos_date = 0x5A88;
  e[7].dos_time = (9 << 11) | (41 << 5) | 13;  // 09:41:26
  // Made by Unix: for MS-DOS archives unzip turns names through its OEM table
  // and loses the CP936 bytes, for Unix ones both tools keep them raw, so the
  // reference script can turn them into UTF-8 names. 7ZG.EXE ignores the host.
  for (WriteEntry &w : e) {
    w.version_made_by = 0x031E;
    w.external_attributes |= (w.name.back() == '/' ? 040755u : 0100644u) << 16;
  }
  const std::string zip = tovra::zip::WriteZip(e, 6);
  FILE *f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(zip.data(), 1, zip.size(), f) != zip.size() || std::fclose(f) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
