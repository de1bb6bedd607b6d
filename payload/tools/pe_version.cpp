#include "payload/tools/pe_version.h"

#include <utility>

namespace {

// A bounds-checked view of the image; every read says whether it fit.
class Image {
 public:
  Image(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  size_t size() const { return size_; }
  bool Fits(uint64_t off, uint64_t len) const { return off <= size_ && len <= size_ - off; }
  bool U16(uint64_t off, uint16_t *v) const {
    if (!Fits(off, 2)) return false;
    *v = uint16_t(data_[off] | data_[off + 1] << 8);
    return true;
  }
  bool U32(uint64_t off, uint32_t *v) const {
    if (!Fits(off, 4)) return false;
    *v = uint32_t(data_[off]) | uint32_t(data_[off + 1]) << 8 | uint32_t(data_[off + 2]) << 16 |
         uint32_t(data_[off + 3]) << 24;
    return true;
  }
  const uint8_t *At(uint64_t off) const { return data_ + off; }

 private:
  const uint8_t *data_;
  size_t size_;
};

struct Section {
  uint32_t va, vsize, raw_size, raw_off;
};

struct Headers {
  std::vector<Section> sections;
  uint32_t import_rva = 0, import_size = 0;
  uint32_t resource_rva = 0, resource_size = 0;
};

// Caps that keep a hostile image from making us loop or allocate without end.
constexpr uint32_t kMaxImports = 4096;
constexpr size_t kMaxDllName = 260;
constexpr uint32_t kMaxResourceEntries = 65536;

// The file offset of `len` bytes at `rva`, when they lie inside one section's
// raw data and inside the file.
bool RvaToOffset(const Image &img, const Headers &h, uint32_t rva, uint32_t len, uint64_t *off) {
  for (const Section &s : h.sections) {
    if (rva < s.va) continue;
    uint64_t delta = uint64_t(rva) - s.va;
    if (delta + len > s.raw_size) continue;
    uint64_t o = uint64_t(s.raw_off) + delta;
    if (!img.Fits(o, len)) return false;
    *off = o;
    return true;
  }
  return false;
}

PeStatus ReadHeaders(const Image &img, PeImageInfo *info, Headers *h) {
  uint16_t mz = 0;
  uint32_t lfanew = 0, sig = 0;
  if (!img.U16(0, &mz) || mz != 0x5A4D || !img.U32(0x3C, &lfanew)) return PeStatus::kNotPe;
  if (!img.U32(lfanew, &sig) || sig != 0x00004550) return PeStatus::kNotPe;
  uint64_t coff = uint64_t(lfanew) + 4;
  uint16_t nsections = 0, opt_size = 0, magic = 0;
  if (!img.U16(coff, &info->machine) || !img.U16(coff + 2, &nsections) ||
      !img.U16(coff + 16, &opt_size))
    return PeStatus::kMalformed;
  uint64_t opt = coff + 20;
  if (!img.Fits(opt, opt_size) || opt_size < 2 || !img.U16(opt, &magic))
    return PeStatus::kMalformed;
  if (magic != 0x10B && magic != 0x20B) return PeStatus::kNotPe;
  info->pe32_plus = magic == 0x20B;
  uint32_t count_at = info->pe32_plus ? 108 : 92;
  uint32_t count = 0;
  if (opt_size < count_at + 4 || !img.U16(opt + 68, &info->subsystem) ||
      !img.U32(opt + count_at, &count))
    return PeStatus::kMalformed;
  // Data directories beyond the optional header's declared size are absent.
  uint64_t dirs = opt + count_at + 4;
  uint64_t room = (opt + opt_size - dirs) / 8;
  if (count > room) count = uint32_t(room);
  if (count > 1) img.U32(dirs + 8, &h->import_rva), img.U32(dirs + 12, &h->import_size);
  if (count > 2) img.U32(dirs + 16, &h->resource_rva), img.U32(dirs + 20, &h->resource_size);

  uint64_t table = opt + opt_size;
  if (!img.Fits(table, uint64_t(nsections) * 40)) return PeStatus::kMalformed;
  for (uint16_t i = 0; i < nsections; ++i) {
    uint64_t at = table + uint64_t(i) * 40;
    Section s{};
    img.U32(at + 8, &s.vsize);
    img.U32(at + 12, &s.va);
    img.U32(at + 16, &s.raw_size);
    img.U32(at + 20, &s.raw_off);
    h->sections.push_back(s);
    std::string name;
    for (int c = 0; c < 8 && img.At(at)[c]; ++c) name += char(img.At(at)[c]);
    info->sections.push_back(name);
  }
  return PeStatus::kOk;
}

PeStatus ReadImports(const Image &img, const Headers &h, PeImageInfo *info) {
  if (h.import_rva == 0) return PeStatus::kOk;
  for (uint32_t i = 0; i < kMaxImports; ++i) {
    uint64_t desc = 0;
    if (!RvaToOffset(img, h, h.import_rva + i * 20, 20, &desc)) return PeStatus::kMalformed;
    uint32_t name_rva = 0, thunk_rva = 0;
    img.U32(desc + 12, &name_rva);
    img.U32(desc + 16, &thunk_rva);
    if (name_rva == 0 && thunk_rva == 0) return PeStatus::kOk;
    uint64_t name = 0;
    if (!RvaToOffset(img, h, name_rva, 1, &name)) return PeStatus::kMalformed;
    std::string dll;
    for (uint64_t p = name; img.Fits(p, 1) && *img.At(p); ++p) {
      if (dll.size() == kMaxDllName) return PeStatus::kMalformed;
      dll += char(*img.At(p));
    }
    info->imported_dlls.push_back(dll);
  }
  return PeStatus::kMalformed;
}

// The entries of the resource directory at `dir` (relative to the tree's
// root) as (name, target) pairs; false when the directory lies outside the tree.
bool ResourceEntries(const Image &img, uint64_t root, uint64_t root_len, uint32_t dir,
                     std::vector<std::pair<uint32_t, uint32_t>> *entries) {
  entries->clear();
  uint16_t named = 0, ids = 0;
  if (uint64_t(dir) + 16 > root_len || !img.U16(root + dir + 12, &named) ||
      !img.U16(root + dir + 14, &ids))
    return false;
  uint32_t total = uint32_t(named) + ids;
  if (total > kMaxResourceEntries || uint64_t(dir) + 16 + uint64_t(total) * 8 > root_len)
    return false;
  for (uint32_t i = 0; i < total; ++i) {
    uint32_t name = 0, target = 0;
    img.U32(root + dir + 16 + i * 8, &name);
    img.U32(root + dir + 20 + i * 8, &target);
    entries->emplace_back(name, target);
  }
  return true;
}

// One step down the resource tree: the subdirectory with numeric `id`.
enum class Child { kFound, kAbsent, kBad };
Child ResourceChild(const Image &img, uint64_t root, uint64_t root_len, uint32_t dir, uint32_t id,
                    uint32_t *child) {
  std::vector<std::pair<uint32_t, uint32_t>> entries;
  if (!ResourceEntries(img, root, root_len, dir, &entries)) return Child::kBad;
  for (const auto &e : entries) {
    if (!(e.first & 0x80000000u) && e.first == id) {
      if (!(e.second & 0x80000000u)) return Child::kBad;  // a leaf where a directory belongs
      *child = e.second & 0x7FFFFFFFu;
      return Child::kFound;
    }
  }
  return Child::kAbsent;
}

// The VS_VERSIONINFO that the data entry at `leaf` (relative to the root)
// describes: wLength, wValueLength, wType, L"VS_VERSION_INFO", padding to 32
// bits, then VS_FIXEDFILEINFO.
PeStatus ReadRecord(const Image &img, const Headers &h, uint64_t root, uint64_t root_len,
                    uint32_t leaf, PeVersionRecord *record) {
  if ((leaf & 0x80000000u) || uint64_t(leaf) + 16 > root_len) return PeStatus::kMalformed;
  uint32_t data_rva = 0, data_size = 0;
  img.U32(root + leaf, &data_rva);
  img.U32(root + leaf + 4, &data_size);
  uint64_t vi = 0;
  if (data_size < 6 || !RvaToOffset(img, h, data_rva, data_size, &vi)) return PeStatus::kMalformed;

  uint16_t length = 0, value_length = 0;
  img.U16(vi, &length);
  img.U16(vi + 2, &value_length);
  if (length > data_size) length = uint16_t(data_size);
  static const char kKey[] = "VS_VERSION_INFO";
  uint64_t key = vi + 6;
  for (size_t i = 0; i < sizeof kKey; ++i) {  // includes the terminating zero
    uint16_t ch = 0;
    if (key + 2 * i + 2 > vi + length || !img.U16(key + 2 * i, &ch) || ch != uint8_t(kKey[i]))
      return PeStatus::kNoVersion;
  }
  uint64_t fixed = vi + ((6 + 2 * sizeof kKey + 3) & ~uint64_t(3));
  uint32_t signature = 0;
  if (value_length < 52 || fixed + 52 > vi + length || !img.U32(fixed, &signature) ||
      signature != 0xFEEF04BDu)
    return PeStatus::kNoVersion;
  img.U32(fixed + 8, &record->file_version_ms);
  img.U32(fixed + 12, &record->file_version_ls);
  img.U32(fixed + 16, &record->product_version_ms);
  img.U32(fixed + 20, &record->product_version_ls);
  return PeStatus::kOk;
}

// GetFileVersionInfo loads resource ID 1 (VS_VERSION_INFO) of RT_VERSION and
// lets the loader pick its language from the user's settings; a record
// under any other ID is never read. So every language under ID 1 must give a
// readable record, and all of them the same file version: an image whose
// languages disagree would pass or fail depending on the system's language.
PeStatus ReadVersion(const Image &img, const Headers &h, PeImageInfo *info) {
  if (h.resource_rva == 0) return PeStatus::kNoVersion;
  // The tree's offsets are relative to its root; its extent is what the
  // section holds from the root on.
  uint64_t root = 0, root_len = 0;
  for (const Section &s : h.sections) {
    if (h.resource_rva < s.va || h.resource_rva - s.va >= s.raw_size) continue;
    root = uint64_t(s.raw_off) + (h.resource_rva - s.va);
    root_len = s.raw_size - (h.resource_rva - s.va);
    break;
  }
  if (root_len == 0) return PeStatus::kMalformed;
  if (!img.Fits(root, 0)) return PeStatus::kMalformed;
  if (root_len > img.size() - root) root_len = img.size() - root;

  // type RT_VERSION (16) -> ID 1 -> every language -> data entry
  uint32_t type = 0, name = 0;
  Child found = ResourceChild(img, root, root_len, 0, 16, &type);
  if (found == Child::kFound) found = ResourceChild(img, root, root_len, type, 1, &name);
  if (found != Child::kFound)
    return found == Child::kAbsent ? PeStatus::kNoVersion : PeStatus::kMalformed;
  std::vector<std::pair<uint32_t, uint32_t>> languages;
  if (!ResourceEntries(img, root, root_len, name, &languages)) return PeStatus::kMalformed;
  if (languages.empty()) return PeStatus::kNoVersion;
  for (const auto &language : languages) {
    if (language.first & 0x80000000u) return PeStatus::kMalformed;  // languages are numbers
    PeVersionRecord record;
    record.language = uint16_t(language.first);
    PeStatus st = ReadRecord(img, h, root, root_len, language.second, &record);
    if (st != PeStatus::kOk) return st;
    info->version_records.push_back(record);
  }
  const PeVersionRecord &first = info->version_records.front();
  for (const PeVersionRecord &r : info->version_records) {
    if (r.file_version_ms != first.file_version_ms || r.file_version_ls != first.file_version_ls)
      return PeStatus::kVersionsDisagree;
  }
  info->file_version_ms = first.file_version_ms;
  info->file_version_ls = first.file_version_ls;
  info->product_version_ms = first.product_version_ms;
  info->product_version_ls = first.product_version_ls;
  info->has_version = true;
  return PeStatus::kOk;
}

}  // namespace

PeStatus ReadPeImage(const uint8_t *data, size_t size, PeImageInfo *info) {
  *info = PeImageInfo();
  Image img(data, size);
  Headers h;
  PeStatus st = ReadHeaders(img, info, &h);
  if (st != PeStatus::kOk) return st;
  st = ReadImports(img, h, info);
  if (st != PeStatus::kOk) return st;
  st = ReadVersion(img, h, info);
  return st == PeStatus::kNoVersion || st == PeStatus::kVersionsDisagree ? PeStatus::kOk : st;
}

PeStatus ReadPeFileVersion(const uint8_t *data, size_t size, uint32_t *ms, uint32_t *ls,
                           std::vector<PeVersionRecord> *records) {
  PeImageInfo info;
  Image img(data, size);
  Headers h;
  PeStatus st = ReadHeaders(img, &info, &h);
  if (st == PeStatus::kOk) st = ReadVersion(img, h, &info);
  if (records) *records = info.version_records;
  if (st != PeStatus::kOk) return st;
  *ms = info.file_version_ms;
  *ls = info.file_version_ls;
  return PeStatus::kOk;
}

std::string FormatFileVersion(uint32_t ms, uint32_t ls) {
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
         std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

const char *PeStatusText(PeStatus status) {
  switch (status) {
    case PeStatus::kOk:
      return "ok";
    case PeStatus::kNotPe:
      return "not a Windows PE image";
    case PeStatus::kMalformed:
      return "malformed PE image";
    case PeStatus::kNoVersion:
      return "no version resource under ID 1 (VS_VERSION_INFO)";
    case PeStatus::kVersionsDisagree:
      return "the languages of its version resource give different file versions";
  }
  return "unknown";
}
