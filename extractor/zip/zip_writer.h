#pragma once
// The ZIP writer of the product packer and of the tests, benchmarks and seed
// corpora (not shipped): it writes plain archives with zlib's deflate and can
// plant the faults that the reader must refuse.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovra::zip {

struct WriteEntry {
  std::string name;     // raw name bytes as stored (CP936 or UTF-8 with flag 0x0800)
  std::string data;     // the uncompressed content
  uint16_t method = 8;  // 8 deflate, 0 stored; any other value stores `data` as is
  uint16_t flags = 0;
  uint16_t version_needed = 20;
  uint16_t version_made_by = 20;  // MS-DOS, 2.0; 0x031E is Unix, 3.0
  uint16_t dos_time = 0x6000;     // 12:00:00
  uint16_t dos_date = 0x5A88;     // 2025-04-08
  uint32_t external_attributes = 0;
  // Already deflated bytes, written instead of deflating `data` (the packer
  // deflates its files in parallel); crc32 and uncompressed_size give theirs.
  std::optional<std::string> deflated;
  // Faults: values recorded in both headers instead of the true ones.
  std::optional<uint32_t> crc32, compressed_size, uncompressed_size;
  std::optional<std::string> local_name;  // name in the local header only
  int share_local_with = -1;  // index of an earlier entry whose local header and data this reuses
};

// The whole archive as bytes; deflate level 0..9.
std::string WriteZip(const std::vector<WriteEntry> &entries, int level = 6,
                     std::string_view comment = {});

// Raw deflate (no zlib header) of `data`.
std::string Deflate(std::string_view data, int level = 6);

}  // namespace tovra::zip
