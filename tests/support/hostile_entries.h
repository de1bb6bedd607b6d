#pragma once
// The hostile entries every archive-safety test uses: names that point
// outside the output folder or at devices and streams, and entries whose data,
// sizes, method, encryption or local header are wrong; and ZipEntry, the entry
// every suite that writes an archive starts from. Portable: the extractor
// suite writes them under Wine, the hardening tool natively.
#include <string>
#include <vector>

#include "extractor/zip/zip_writer.h"

namespace test_support {

// An entry of name and data with the writer's defaults (deflated, MS-DOS).
inline tovra::zip::WriteEntry ZipEntry(const std::string &name, const std::string &data = "") {
  tovra::zip::WriteEntry e;
  e.name = name;
  e.data = data;
  return e;
}

// Names whose files must never appear, inside or outside the output folder.
inline const char *const kUnsafeNames[] = {
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

// Appends every hostile entry to e; each one must be refused with exactly one
// message. Returns how many were appended.
inline size_t AppendHostileEntries(std::vector<tovra::zip::WriteEntry> *e) {
  const size_t before = e->size();
  auto add = [e](const std::string &name, const std::string &data) -> tovra::zip::WriteEntry & {
    e->push_back(ZipEntry(name, data));
    return e->back();
  };
  for (const char *n : kUnsafeNames) add(n, "evil");
  add(u8"\xC0\xAF.txt", "evil").flags = 0x0800;  // overlong UTF-8 for '/'
  add("crc.txt", "data").crc32 = 1;
  add("bomb.bin", std::string(10u << 20, '\0')).uncompressed_size = 1000;
  add("short.bin", "short of its size").uncompressed_size = 1000;
  tovra::zip::WriteEntry &stored = add("stored.bin", "stored but sizes disagree");
  stored.method = 0;
  stored.compressed_size = 5;
  add("encrypted.bin", "secret").flags = 0x0001;
  add("lzma.bin", "not deflate").method = 14;
  add("header.txt", "local name differs").local_name = "other.txt";
  // Two central records on one local header: the overlap of a zip bomb.
  const int shared = static_cast<int>(e->size());
  add("shared.bin", std::string(1u << 20, '\0'));
  add("shared.bin", std::string(1u << 20, '\0')).share_local_with = shared;
  return e->size() - before;
}

}  // namespace test_support
