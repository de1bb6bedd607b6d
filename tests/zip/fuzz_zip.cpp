// libFuzzer target: any byte string as an archive. Open, then decode every
// entry (capped) and run its name through the name checks. The same bytes
// read through ReadAt (as 7Z.DLL reads a file) must give the same answers,
// with every read inside them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "extractor/zip/zip_reader.h"

namespace {

// What a name's end must look like when the reader calls it a folder name,
// and when it must: a separator as the last byte after one that cannot lead
// a double-byte character (so the separator starts a character of its own),
// or a plain ASCII or UTF-8 name ending in a separator.
void CheckFolderName(const tovra::zip::Entry &e) {
  const bool ends = e.ends_in_separator();
  if (e.name.empty()) {
    if (ends) std::abort();
    return;
  }
  const size_t n = e.name.size();
  const bool separator = e.name[n - 1] == '/' || e.name[n - 1] == '\\';
  if (ends && !separator) std::abort();
  const uint8_t before = n >= 2 ? static_cast<uint8_t>(e.name[n - 2]) : 0;
  if (separator && (before < 0x81 || before > 0xFE) && !ends) std::abort();
  bool ascii = true;
  for (char c : e.name) ascii = ascii && static_cast<uint8_t>(c) < 0x80;
  if ((ascii || e.utf8()) && separator != ends) std::abort();
  if (ends && !e.is_directory()) std::abort();
}

struct Bytes {
  const uint8_t *data;
  size_t size;
};

bool ReadAt(void *ctx, uint64_t offset, uint8_t *buffer, size_t size) {
  const Bytes *b = static_cast<const Bytes *>(ctx);
  if (offset > b->size || size > b->size - offset) std::abort();
  if (size > 0) std::memcpy(buffer, b->data + offset, size);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  tovra::zip::Archive archive, read;
  Bytes bytes{data, size};
  const tovra::zip::Status opened = archive.Open(data, size);
  if (read.Open(ReadAt, &bytes, size) != opened) std::abort();
  if (opened != tovra::zip::Status::kOk) return 0;
  if (read.entries().size() != archive.entries().size()) std::abort();
  size_t budget = 16;  // entries decoded per input, so one input cannot take long
  for (size_t i = 0; i < archive.entries().size() && budget > 0; ++i, --budget) {
    const tovra::zip::Entry &e = archive.entries()[i];
    CheckFolderName(e);
    std::u16string wide;
    if (tovra::zip::Utf8ToUtf16(e.name, &wide)) {
      std::vector<std::u16string> parts;
      tovra::zip::SplitSafePath(wide, &parts);
    }
    // Cap what one entry may produce; a lying size must be refused, not obeyed.
    if (e.uncompressed_size > (8u << 20)) continue;
    if (read.entries()[i].problem != e.problem || read.Verify(i) != archive.Verify(i)) {
      std::abort();
    }
  }
  return 0;
}
