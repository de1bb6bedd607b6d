// The PE reader on arbitrary bytes: no read outside the input, and its two
// entry points agree on the version they find.
#include <cstdint>
#include <cstdlib>

#include "util/pe/pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  PeImageInfo info;
  PeStatus st = ReadPeImage(data, size, &info);
  uint32_t ms = 0, ls = 0;
  PeStatus vst = ReadPeFileVersion(data, size, &ms, &ls);
  if (vst == PeStatus::kOk && st == PeStatus::kOk &&
      (!info.has_version || ms != info.file_version_ms || ls != info.file_version_ls))
    abort();
  if (st == PeStatus::kOk && info.has_version) FormatFileVersion(ms, ls);
  return 0;
}
