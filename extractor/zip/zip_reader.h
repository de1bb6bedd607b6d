#pragma once
// tovra_zip: the portable ZIP reading core (no windows.h). It serves the
// extractor's codec library 7Z.DLL, the build-time archive tools and the
// native fuzzers.
//
// Scope: plain ZIP as written by zip/7-Zip/Info-ZIP: one end record, one
// central directory, local headers; methods 0 (stored) and 8 (deflate).
// ZIP64, spanning, encryption and other methods are reported, never decoded.
//
// Use:
//   tovra::zip::Archive a;
//   if (a.Open(bytes, size) != Status::kOk) ...;     // bytes must outlive `a`
//   (or a.Open(read, read_ctx, file_size): the archive is read as needed)
//   for (size_t i = 0; i < a.entries().size(); ++i) {
//     const Entry &e = a.entries()[i];               // raw name bytes, sizes, crc ...
//     Status s = a.Extract(i, sink, ctx);            // inflates, checks size + CRC
//   }
// Every call answers with a Status; nothing throws. An Archive may be read
// by several threads at once (Extract is const and keeps its state local).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovra::zip {

enum class Status {
  kOk = 0,
  kNotZip,              // no end-of-central-directory record
  kBadArchive,          // end record or central directory inconsistent or truncated
  kUnsupportedArchive,  // ZIP64 or multi-disk archive
  kBadLocalHeader,      // local header missing or disagreeing with the central record
  kOverlap,             // the entry's bytes overlap another entry's (zip bomb or corruption)
  kEncrypted,           // encrypted entry
  kUnsupportedMethod,   // a method other than stored or deflate
  kBadData,             // the compressed data does not decode, or is cut short
  kSizeMismatch,        // sizes disagree with the data (also: inflating past the declared size)
  kCrcMismatch,         // CRC-32 of the extracted bytes differs from the recorded one
  kBadName,             // unsafe or undecodable entry name
  kSinkStopped,         // the sink returned false (write error or cancel; the caller knows)
  kOutOfMemory,
  kReadError,  // the archive's bytes cannot be read
};

// Short English text for logs and tools ("CRC mismatch", ...).
const char *StatusText(Status s);

struct Entry {
  std::string name;              // raw name bytes from the central directory
  uint16_t version_made_by = 0;  // high byte: host system (0 MS-DOS, 3 Unix)
  uint16_t flags = 0;            // general-purpose flags
  uint16_t method = 0;           // 0 stored, 8 deflate, others unsupported
  uint16_t dos_time = 0;         // MS-DOS time and date of last modification
  uint16_t dos_date = 0;
  uint32_t crc32 = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  uint32_t external_attributes = 0;
  uint32_t local_header_offset = 0;
  uint64_t data_offset = 0;      // first byte of the entry's data (valid when problem is kOk)
  Status problem = Status::kOk;  // found by Open: local header or overlap fault

  bool utf8() const { return (flags & 0x0800) != 0; }       // name is UTF-8, else code page
  bool encrypted() const { return (flags & 0x0041) != 0; }  // traditional or strong encryption
  // The name's last character is '/' or '\\' (CP936 names are read by characters).
  bool ends_in_separator() const;
  // Such a name, or the MS-DOS folder attribute (0x10) from a DOS-like host.
  bool is_directory() const;
};

// Receives the extracted bytes in order; returns false to stop.
using Sink = bool (*)(void *ctx, const uint8_t *data, size_t size);

// Reads `size` bytes at `offset` of the archive into `buffer`; false when
// they cannot all be read. Called by several threads at once.
using ReadAt = bool (*)(void *ctx, uint64_t offset, uint8_t *buffer, size_t size);

class Archive {
 public:
  // Parses the end record, the central directory and every local header of
  // the byte range [data, data + size). The range is not copied. Entries with
  // a local-header or overlap fault stay listed with `problem` set; only a
  // broken directory fails the whole archive.
  Status Open(const uint8_t *data, size_t size);
  // The same for an archive of `size` bytes that `read` reads: only the end
  // record's region, the central directory and the local headers are read
  // here; Extract reads an entry's data in bounded pieces.
  Status Open(ReadAt read, void *read_ctx, uint64_t size);

  const std::vector<Entry> &entries() const { return entries_; }
  // Sum of uncompressed sizes of all entries (for progress).
  uint64_t total_uncompressed() const { return total_uncompressed_; }

  // Decodes entry `index` into `sink` (nothing for a directory): refuses
  // problem entries, encryption and unknown methods; stops as soon as the
  // output would pass the declared size; checks sizes and CRC-32 at the end.
  // The sink may already have received bytes when a fault is found late.
  Status Extract(size_t index, Sink sink, void *ctx) const;
  // Same as Extract with a sink that drops the bytes.
  Status Verify(size_t index) const;

 private:
  Status Parse();
  Status CheckLocalHeaders(const std::vector<size_t> &order, uint64_t cd_offset);
  const uint8_t *Fetch(uint64_t offset, size_t size, uint8_t *buffer) const;

  const uint8_t *data_ = nullptr;  // the archive in memory, or
  ReadAt read_ = nullptr;          // how to read it
  void *read_ctx_ = nullptr;
  uint64_t size_ = 0;
  std::vector<Entry> entries_;
  uint64_t total_uncompressed_ = 0;
};

// Entry names. A name is refused (false) when writing it could leave the
// output folder or reach a device: absolute names, drive letters and any ':',
// UNC names, ".." components, device names (CON, NUL, COM1, ... also with an
// extension), characters Windows forbids in names, components that end in a
// blank or a full stop (Windows would strip them), empty names. '/' and '\\'
// are both separators; empty and "." components are dropped. On success
// `components` holds the path's components in order.
bool SplitSafePath(std::u16string_view name, std::vector<std::u16string> *components);

// Strict UTF-8 to UTF-16 (no overlong forms, no surrogates); false on bad input.
bool Utf8ToUtf16(std::string_view in, std::u16string *out);

// MS-DOS date and time split into calendar fields (local time, 2-second steps).
struct DosTime {
  int year, month, day, hour, minute, second;
};
DosTime SplitDosTime(uint16_t dos_date, uint16_t dos_time);

}  // namespace tovra::zip
