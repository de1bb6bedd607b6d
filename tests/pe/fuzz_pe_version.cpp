// The PE reader on arbitrary bytes: no read outside the input, and its two
// entry points agree on the version they find and on the records that
// disagree.
#include <cstdint>
#include <cstdlib>

#include "payload/tools/pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  PeImageInfo info;
  PeStatus st = ReadPeImage(data, size, &info);
  uint32_t ms = 0, ls = 0;
  std::vector<PeVersionRecord> records;
  PeStatus vst = ReadPeFileVersion(data, size, &ms, &ls, &records);
  if (vst == PeStatus::kOk && st == PeStatus::kOk &&
      (!info.has_version || ms != info.file_version_ms || ls != info.file_version_ls))
    abort();
  // ReadPeImage also reads the imports, which may fail on their own.
  if (st == PeStatus::kOk && (vst == PeStatus::kOk || vst == PeStatus::kVersionsDisagree)) {
    if (records.size() != info.version_records.size() || records.empty()) abort();
    bool same = true;
    for (const PeVersionRecord &r : records)
      same = same && r.file_version_ms == records[0].file_version_ms &&
             r.file_version_ls == records[0].file_version_ls;
    if (same != (vst == PeStatus::kOk) || same != info.has_version) abort();
  }
  if (st == PeStatus::kOk && info.has_version) FormatFileVersion(ms, ls);
  return 0;
}
