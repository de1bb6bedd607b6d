// libFuzzer target: any byte string as an archive. Open, then decode every
// entry (capped) and run its name through the name checks.
#include <cstddef>
#include <cstdint>

#include "extractor/zip/zip_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  tovra::zip::Archive archive;
  if (archive.Open(data, size) != tovra::zip::Status::kOk) return 0;
  size_t budget = 16;  // entries decoded per input, so one input cannot take long
  for (size_t i = 0; i < archive.entries().size() && budget > 0; ++i, --budget) {
    const tovra::zip::Entry &e = archive.entries()[i];
    std::u16string wide;
    if (tovra::zip::Utf8ToUtf16(e.name, &wide)) {
      std::vector<std::u16string> parts;
      tovra::zip::SplitSafePath(wide, &parts);
    }
    // Cap what one entry may produce; a lying size must be refused, not obeyed.
    if (e.uncompressed_size > (8u << 20)) continue;
    archive.Verify(i);
  }
  return 0;
}
