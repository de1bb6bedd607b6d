#include "extractor/zip/zip_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "extractor/zip/inflate.h"
#include "util/win_names.h"

namespace tovra::zip {
namespace {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr size_t kEndSize = 22;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
// Stored entries go to the sink in pieces of this size, each CRC'd while
// still in cache.
constexpr size_t kChunk = 64 * 1024;
// An archive that is read, not in memory, is read an entry's data at a time
// in pieces of this size, and its local headers in runs of at most
// kHeaderRun bytes (one header with the longest name fits).
constexpr size_t kReadPiece = 256 * 1024;
constexpr size_t kHeaderRun = 128 * 1024;
static_assert(kHeaderRun >= kLocalSize + 0xFFFF, "a header run holds any one header");

uint16_t Get16(const uint8_t *p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool DropBytes(void *, const uint8_t *, size_t) {
  return true;
}

// An entry's compressed bytes, handed out in pieces to the stored copy and
// to inflate: from memory in one piece, else read through a bounded buffer.
struct Pieces {
  const uint8_t *data;  // the archive in memory, or nullptr
  ReadAt read;
  void *read_ctx;
  uint64_t at, left;
  uint8_t *buffer;
  size_t cap;
  bool failed = false;
};

// A buffer for Archive::Fetch or Pieces: none is needed for an archive in memory.
std::unique_ptr<uint8_t[]> FetchBuffer(bool reading, size_t size) {
  return std::unique_ptr<uint8_t[]>(reading ? new (std::nothrow) uint8_t[size ? size : 1]
                                            : nullptr);
}

bool NextPiece(void *ctx, const uint8_t **p, size_t *n) {
  Pieces *in = static_cast<Pieces *>(ctx);
  const size_t take = in->left < in->cap ? static_cast<size_t>(in->left) : in->cap;
  if (in->data) {
    *p = in->data + in->at;
  } else if (take > 0 && !in->read(in->read_ctx, in->at, in->buffer, take)) {
    in->failed = true;
    return false;
  } else {
    *p = in->buffer;
  }
  *n = take;
  in->at += take;
  in->left -= take;
  return true;
}

// The flags that must agree between the local and the central header:
// encryption (0, 6), data descriptor (3), UTF-8 name (11).
constexpr uint16_t kCheckedFlags = 0x0849;

// `p` holds the entry's local header and, as far as they lie before the
// central directory, the name bytes the central record gives.
Status CheckLocal(const uint8_t *p, uint64_t cd_offset, Entry *e) {
  const uint64_t off = e->local_header_offset;
  if (Get32(p) != kLocalSig) return Status::kBadLocalHeader;
  const uint16_t flags = Get16(p + 6);
  const uint16_t method = Get16(p + 8);
  const uint16_t name_len = Get16(p + 26);
  const uint16_t extra_len = Get16(p + 28);
  if ((flags & kCheckedFlags) != (e->flags & kCheckedFlags) || method != e->method) {
    return Status::kBadLocalHeader;
  }
  const uint64_t name_at = off + kLocalSize;
  if (name_at + name_len + extra_len > cd_offset) return Status::kBadLocalHeader;
  if (name_len != e->name.size() || std::memcmp(p + kLocalSize, e->name.data(), name_len) != 0) {
    return Status::kBadLocalHeader;
  }
  const uint32_t crc = Get32(p + 14), csize = Get32(p + 18), usize = Get32(p + 22);
  const bool descriptor = (flags & 0x0008) != 0;
  // With a data descriptor the local fields may be zero; values given must agree.
  auto agrees = [descriptor](uint32_t local, uint32_t central) {
    return local == central || (descriptor && local == 0);
  };
  if (!agrees(crc, e->crc32) || !agrees(csize, e->compressed_size) ||
      !agrees(usize, e->uncompressed_size)) {
    return Status::kSizeMismatch;
  }
  e->data_offset = name_at + name_len + extra_len;
  if (e->data_offset + e->compressed_size > cd_offset) return Status::kBadData;
  return Status::kOk;
}

// Two entries whose byte spans (local header through data) overlap are both
// refused: that is how the non-recursive zip bombs reuse one compressed block
// for many entries.
// `order` lists the entries by local header offset.
void MarkOverlaps(std::vector<Entry> *entries, const std::vector<size_t> &order) {
  uint64_t reach = 0;
  size_t reach_owner = 0;
  bool have = false;
  for (size_t i : order) {
    Entry &e = (*entries)[i];
    if (e.problem != Status::kOk) continue;
    const uint64_t end = e.data_offset + e.compressed_size;
    if (have && e.local_header_offset < reach) {
      e.problem = Status::kOverlap;
      (*entries)[reach_owner].problem = Status::kOverlap;
    }
    if (!have || end > reach) {
      reach = end;
      reach_owner = i;
      have = true;
    }
  }
}

}  // namespace

const char *StatusText(Status s) {
  switch (s) {
    case Status::kOk:
      return "ok";
    case Status::kNotZip:
      return "not a ZIP archive";
    case Status::kBadArchive:
      return "broken central directory";
    case Status::kUnsupportedArchive:
      return "ZIP64 or multi-disk archive";
    case Status::kBadLocalHeader:
      return "local header disagrees with the central directory";
    case Status::kOverlap:
      return "entry overlaps another entry";
    case Status::kEncrypted:
      return "encrypted entry";
    case Status::kUnsupportedMethod:
      return "unsupported compression method";
    case Status::kBadData:
      return "data error";
    case Status::kSizeMismatch:
      return "size disagrees with the data";
    case Status::kCrcMismatch:
      return "CRC mismatch";
    case Status::kBadName:
      return "unsafe or invalid name";
    case Status::kSinkStopped:
      return "stopped by the receiver";
    case Status::kOutOfMemory:
      return "out of memory";
    case Status::kReadError:
      return "read error";
  }
  return "unknown";
}

// A name without the UTF-8 flag is CP936, where a byte 0x81..0xFE starts a
// two-byte character whose second byte may be 0x5C: "说明運" ends in DF 5C and
// names a file. So such a name is walked from its start, character by
// character (as CharNextExA(936) steps). In UTF-8 no byte below 0x80 is ever
// part of a longer character, so the last byte decides.
bool Entry::ends_in_separator() const {
  if (name.empty()) return false;
  size_t last = name.size() - 1;
  if (!utf8()) {
    for (size_t i = 0; i < name.size();) {
      last = i;
      const uint8_t b = static_cast<uint8_t>(name[i]);
      i += b >= 0x81 && b <= 0xFE && i + 1 < name.size() && name[i + 1] != '\0' ? 2 : 1;
    }
  }
  return name.size() - last == 1 && (name[last] == '/' || name[last] == '\\');
}

// Archivers on MS-DOS, OS/2 and Windows (hosts 0, 6, 10 and 14) keep the
// MS-DOS attributes in the low byte; some mark a folder by its attribute
// 0x10 alone, with no separator at the end of its name.
bool Entry::is_directory() const {
  if (ends_in_separator()) return true;
  const int host = version_made_by >> 8;
  const bool dos_attributes = host == 0 || host == 6 || host == 10 || host == 14;
  return dos_attributes && (external_attributes & 0x10) != 0;
}

Status Archive::Open(const uint8_t *data, size_t size) {
  data_ = data;
  read_ = nullptr;
  size_ = size;
  return Parse();
}

Status Archive::Open(ReadAt read, void *read_ctx, uint64_t size) {
  data_ = nullptr;
  read_ = read;
  read_ctx_ = read_ctx;
  size_ = size;
  return Parse();
}

// The bytes [offset, offset + size): in place for an archive in memory, else
// read into `buffer`; nullptr when they cannot be read.
const uint8_t *Archive::Fetch(uint64_t offset, size_t size, uint8_t *buffer) const {
  if (!read_) return data_ + offset;
  return read_(read_ctx_, offset, buffer, size) ? buffer : nullptr;
}

Status Archive::Parse() {
  entries_.clear();
  total_uncompressed_ = 0;
  const uint64_t size = size_;
  if (size < kEndSize) return Status::kNotZip;

  // The end record is the last one whose comment reaches no further than the
  // end of the data; the comment may be up to 65535 bytes long. The 20 bytes
  // in front of the lowest place it may start would hold a ZIP64 locator.
  const uint64_t lowest = size - kEndSize > 0xFFFF ? size - kEndSize - 0xFFFF : 0;
  const uint64_t tail_at = lowest > 20 ? lowest - 20 : 0;
  const size_t tail_size = static_cast<size_t>(size - tail_at);
  std::unique_ptr<uint8_t[]> tail_buffer = FetchBuffer(read_ != nullptr, tail_size);
  if (read_ && !tail_buffer) return Status::kOutOfMemory;
  const uint8_t *tail = Fetch(tail_at, tail_size, tail_buffer.get());
  if (!tail) return Status::kReadError;
  uint64_t end_at = UINT64_MAX;
  for (uint64_t pos = size - kEndSize + 1; pos-- > lowest;) {
    const uint8_t *q = tail + (pos - tail_at);
    if (Get32(q) == kEndSig && pos + kEndSize + Get16(q + 20) <= size) {
      end_at = pos;
      break;
    }
  }
  if (end_at == UINT64_MAX) return Status::kNotZip;
  const uint8_t *end = tail + (end_at - tail_at);
  const uint16_t disk = Get16(end + 4), cd_disk = Get16(end + 6);
  const uint16_t count_here = Get16(end + 8), count = Get16(end + 10);
  const uint32_t cd_size = Get32(end + 12), cd_offset = Get32(end + 16);
  if (count == 0xFFFF || cd_size == 0xFFFFFFFFu || cd_offset == 0xFFFFFFFFu ||
      (end_at >= 20 && Get32(end - 20) == kZip64LocatorSig)) {
    return Status::kUnsupportedArchive;
  }
  if (disk != 0 || cd_disk != 0 || count_here != count) return Status::kUnsupportedArchive;
  if (static_cast<uint64_t>(cd_offset) + cd_size > end_at) return Status::kBadArchive;
  // Only as much of the directory as its recorded size.
  std::unique_ptr<uint8_t[]> cd_buffer = FetchBuffer(read_ != nullptr, cd_size);
  if (read_ && !cd_buffer) return Status::kOutOfMemory;
  const uint8_t *cd = Fetch(cd_offset, cd_size, cd_buffer.get());
  if (!cd) return Status::kReadError;

    // Builds without exceptions (the extractor pair) end the process on a
    // failed allocation instead; elsewhere it is reported as a value.
#if defined(__cpp_exceptions)
  try {
#endif
    entries_.reserve(count);
    const uint64_t cd_end = static_cast<uint64_t>(cd_offset) + cd_size;
    uint64_t p = cd_offset;
    for (uint32_t i = 0; i < count; ++i) {
      if (p + kCentralSize > cd_end) return Status::kBadArchive;
      const uint8_t *c = cd + (p - cd_offset);
      if (Get32(c) != kCentralSig) return Status::kBadArchive;
      const uint16_t name_len = Get16(c + 28), extra_len = Get16(c + 30),
                     comment_len = Get16(c + 32);
      const uint64_t next = p + kCentralSize + name_len + extra_len + comment_len;
      if (next > cd_end) return Status::kBadArchive;
      if (Get16(c + 34) != 0) return Status::kUnsupportedArchive;  // starts on another disk
      Entry e;
      e.version_made_by = Get16(c + 4);
      e.flags = Get16(c + 8);
      e.method = Get16(c + 10);
      e.dos_time = Get16(c + 12);
      e.dos_date = Get16(c + 14);
      e.crc32 = Get32(c + 16);
      e.compressed_size = Get32(c + 20);
      e.uncompressed_size = Get32(c + 24);
      e.external_attributes = Get32(c + 38);
      e.local_header_offset = Get32(c + 42);
      if (e.compressed_size == 0xFFFFFFFFu || e.uncompressed_size == 0xFFFFFFFFu ||
          e.local_header_offset == 0xFFFFFFFFu) {
        return Status::kUnsupportedArchive;
      }
      e.name.assign(reinterpret_cast<const char *>(c + kCentralSize), name_len);
      total_uncompressed_ += e.uncompressed_size;
      entries_.push_back(std::move(e));
      p = next;
    }
    if (p != cd_end) return Status::kBadArchive;
    std::vector<size_t> order(entries_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [this](size_t a, size_t b) {
      return entries_[a].local_header_offset < entries_[b].local_header_offset;
    });
    const Status read = CheckLocalHeaders(order, cd_offset);
    if (read != Status::kOk) {
      entries_.clear();
      return read;
    }
    MarkOverlaps(&entries_, order);
#if defined(__cpp_exceptions)
  } catch (const std::bad_alloc &) {
    entries_.clear();
    return Status::kOutOfMemory;
  }
#endif
  return Status::kOk;
}

// Checks each entry's local header in file order, reading runs of nearby
// headers (with their names) at once: a product of many small files has
// thousands of them, and a read for each would cost about as much as
// writing the file; a header far from the next one is read alone.
Status Archive::CheckLocalHeaders(const std::vector<size_t> &order, uint64_t cd_offset) {
  std::unique_ptr<uint8_t[]> buffer = FetchBuffer(read_ != nullptr, kHeaderRun);
  if (read_ && !buffer) return Status::kOutOfMemory;
  for (size_t k = 0; k < order.size();) {
    Entry &lone = entries_[order[k]];
    const uint64_t first = lone.local_header_offset;
    if (first + kLocalSize > cd_offset) {  // so are all after it
      lone.problem = Status::kBadLocalHeader;
      ++k;
      continue;
    }
    uint64_t reach = first;
    size_t j = k;
    for (; j < order.size(); ++j) {
      const Entry &e = entries_[order[j]];
      if (e.local_header_offset + kLocalSize > cd_offset) break;
      const uint64_t stop =
          std::min<uint64_t>(e.local_header_offset + kLocalSize + e.name.size(), cd_offset);
      if (j > k && stop - first > kHeaderRun) break;
      reach = std::max(reach, stop);
    }
    const uint8_t *run = Fetch(first, static_cast<size_t>(reach - first), buffer.get());
    if (!run) return Status::kReadError;
    for (; k < j; ++k) {
      Entry &e = entries_[order[k]];
      e.problem = CheckLocal(run + (e.local_header_offset - first), cd_offset, &e);
    }
  }
  return Status::kOk;
}

Status Archive::Extract(size_t index, Sink sink, void *ctx) const {
  if (index >= entries_.size()) return Status::kBadArchive;
  const Entry &e = entries_[index];
  if (e.problem != Status::kOk) return e.problem;
  if (e.encrypted()) return Status::kEncrypted;
  if (e.method != 0 && e.method != 8) return Status::kUnsupportedMethod;
  uint32_t crc = 0;
  Pieces in{data_, read_, read_ctx_, e.data_offset, e.compressed_size, nullptr, e.compressed_size};
  std::unique_ptr<uint8_t[]> buffer;
  if (read_) {
    in.cap = e.compressed_size < kReadPiece ? e.compressed_size : kReadPiece;
    buffer = FetchBuffer(true, in.cap);
    if (!buffer) return Status::kOutOfMemory;
    in.buffer = buffer.get();
  }

  if (e.method == 0) {
    if (e.compressed_size != e.uncompressed_size) return Status::kSizeMismatch;
    while (in.left > 0) {
      const uint8_t *p = nullptr;
      size_t n = 0;
      if (!NextPiece(&in, &p, &n)) return Status::kReadError;
      for (size_t k = 0; k < n; k += kChunk) {
        const size_t m = std::min(n - k, kChunk);
        crc = Crc32(crc, p + k, m);
        if (!sink(ctx, p + k, m)) return Status::kSinkStopped;
      }
    }
    return crc == e.crc32 ? Status::kOk : Status::kCrcMismatch;
  }

  const InflateResult r = Inflate(NextPiece, &in, e.uncompressed_size, sink, ctx, &crc);
  if (in.failed) return Status::kReadError;
  switch (r) {
    case InflateResult::kOk:
      return crc == e.crc32 ? Status::kOk : Status::kCrcMismatch;
    case InflateResult::kSizeMismatch:
      return Status::kSizeMismatch;
    case InflateResult::kStopped:
      return Status::kSinkStopped;
    case InflateResult::kOutOfMemory:
      return Status::kOutOfMemory;
    case InflateResult::kBadData:
      break;
  }
  return Status::kBadData;
}

Status Archive::Verify(size_t index) const {
  return Extract(index, DropBytes, nullptr);
}

bool SplitSafePath(std::u16string_view name, std::vector<std::u16string> *components) {
  components->clear();
  if (name.empty() || name[0] == u'/' || name[0] == u'\\') return false;  // absolute or UNC
  if (name.find(u':') != std::u16string_view::npos) return false;  // drive or alternate stream
  size_t start = 0;
  size_t total = 0;
  while (start <= name.size()) {
    size_t stop = start;
    while (stop < name.size() && name[stop] != u'/' && name[stop] != u'\\') ++stop;
    const std::u16string_view c = name.substr(start, stop - start);
    start = stop + 1;
    if (c.empty() || c == u".") continue;
    if (c == u".." || c.size() > 255) return false;
    if (EndsInBlankOrDot(c) || IsWindowsDeviceName(c)) return false;
    for (char16_t ch : c) {
      if (IsCharForbiddenInNames(ch)) return false;
    }
    total += c.size() + 1;
    if (total > 30000) return false;
    components->emplace_back(c);
  }
  return !components->empty();
}

bool Utf8ToUtf16(std::string_view in, std::u16string *out) {
  out->clear();
  size_t i = 0;
  while (i < in.size()) {
    const uint8_t b = static_cast<uint8_t>(in[i]);
    uint32_t cp;
    size_t len;
    uint32_t min;
    if (b < 0x80) {
      cp = b, len = 1, min = 0;
    } else if ((b & 0xE0) == 0xC0) {
      cp = b & 0x1F, len = 2, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      cp = b & 0x0F, len = 3, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      cp = b & 0x07, len = 4, min = 0x10000;
    } else {
      return false;
    }
    if (i + len > in.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      const uint8_t t = static_cast<uint8_t>(in[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return true;
}

DosTime SplitDosTime(uint16_t dos_date, uint16_t dos_time) {
  return DosTime{1980 + (dos_date >> 9), (dos_date >> 5) & 15, dos_date & 31,
                 dos_time >> 11,         (dos_time >> 5) & 63, (dos_time & 31) * 2};
}

}  // namespace tovra::zip
