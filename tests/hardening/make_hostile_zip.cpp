// Writes the two small archives the hardening installers carry:
//  hostile.zip   the product's three required files (the service program of
//                our version, the control program, TovraClient.dat) among
//                every kind of entry the extractor must refuse, so that the
//                hostile entries are the install's only reason to fail;
//  truncated.zip the same three files alone, cut off before the central
//                directory is complete.
// Built natively; narrow literals are CP936 as in the extractor's own tests.
#include <cstdio>
#include <string>
#include <vector>

#include "extractor/zip/zip_writer.h"

namespace {

using tovra::zip::WriteEntry;

bool ReadAll(const char *path, std::string *out) {
  FILE *f = std::fopen(path, "rb");
  if (!f) return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out->append(buffer, n);
  return std::fclose(f) == 0;
}

bool WriteAll(const char *path, const std::string &bytes) {
  FILE *f = std::fopen(path, "wb");
  if (!f) return false;
  const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && wrote;
}

// Names that point outside the output folder or at devices and streams. The
// tests check that the files these would create do not exist afterwards.
const char *const kUnsafeNames[] = {
    "../evil1.txt",
    "a/../../evil2.txt",
    "..\\evil3.txt",
    "/evil4.txt",
    "\\evil5.txt",
    "C:\\evil6.txt",
    "C:evil7.txt",
    "\\\\server\\share\\evil8.txt",
    "//server/share/evil9.txt",
    "good.txt:stream",
    "TovraControl.exe:evil",
    "CON",
    "nul.txt",
    "COM1.log",
    "aux",
    "LPT1",
    "dir/.. /evil10.txt",
    "trailing.",
    "\x81",
    "",
};

}  // namespace

int main(int argc, char **argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s service.exe control.exe client.dat hostile.zip truncated.zip\n",
                 argv[0]);
    return 2;
  }
  std::vector<WriteEntry> product(3);
  product[0].name = "TovraClientService.exe";
  product[1].name = "TovraControl.exe";
  product[2].name = "TovraClient.dat";
  for (int i = 0; i < 3; ++i) {
    if (!ReadAll(argv[1 + i], &product[i].data)) {
      std::perror(argv[1 + i]);
      return 1;
    }
  }

  std::vector<WriteEntry> e;
  auto add = [&e](const std::string &name, const std::string &data) -> WriteEntry & {
    e.emplace_back();
    e.back().name = name;
    e.back().data = data;
    return e.back();
  };
  e.push_back(product[0]);
  for (const char *n : kUnsafeNames) add(n, "evil");
  add(u8"\xC0\xAF.txt", "evil").flags = 0x0800;  // overlong UTF-8 for '/'
  add("crc.txt", "data").crc32 = 1;
  add("bomb.bin", std::string(10u << 20, '\0')).uncompressed_size = 1000;
  add("short.bin", "short of its size").uncompressed_size = 1000;
  WriteEntry &stored = add("stored.bin", "stored but sizes disagree");
  stored.method = 0;
  stored.compressed_size = 5;
  add("encrypted.bin", "secret").flags = 0x0001;
  add("lzma.bin", "not deflate").method = 14;
  add("header.txt", "local name differs").local_name = "other.txt";
  // Two central records on one local header: the overlap of a zip bomb.
  const int shared = static_cast<int>(e.size());
  add("shared.bin", std::string(1u << 20, '\0'));
  add("shared.bin", std::string(1u << 20, '\0')).share_local_with = shared;
  e.push_back(product[1]);
  e.push_back(product[2]);
  if (!WriteAll(argv[4], tovra::zip::WriteZip(e, 9))) {
    std::perror(argv[4]);
    return 1;
  }

  // Cut inside the central directory: the local entries are whole, so only a
  // reader that trusts a damaged directory would get anywhere.
  std::string whole = tovra::zip::WriteZip(product, 9);
  whole.resize(whole.size() - 40);
  if (!WriteAll(argv[5], whole)) {
    std::perror(argv[5]);
    return 1;
  }
  return 0;
}
