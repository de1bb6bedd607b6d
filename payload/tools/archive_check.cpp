#include "payload/tools/archive_check.h"

#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "extractor/zip/zip_reader.h"
#include "payload/tools/pe_version.h"
#include "util/product_files.h"

namespace {

using tovra::zip::Archive;
using tovra::zip::Entry;
using tovra::zip::Status;

// The names the installer itself relies on, all at the archive's root.
constexpr const char *kService = kServiceProgram;
constexpr const char *kRequired[] = {kServiceProgram, kControlProgram, kClientData};

// Names without the UTF-8 flag are CP936, as the extractor reads them.
bool Cp936ToUtf16(const std::string &in, std::u16string *out) {
  iconv_t cd = iconv_open("UTF-16LE", "CP936");
  if (cd == (iconv_t)-1) return false;
  std::string buf(in.size() * 4 + 4, '\0');
  char *src = const_cast<char *>(in.data());
  size_t src_left = in.size();
  char *dst = &buf[0];
  size_t dst_left = buf.size();
  bool ok = iconv(cd, &src, &src_left, &dst, &dst_left) != size_t(-1) && src_left == 0;
  iconv_close(cd);
  if (!ok) return false;
  out->clear();
  for (size_t i = 0; i + 1 < buf.size() - dst_left; i += 2)
    out->push_back(char16_t(uint8_t(buf[i]) | uint8_t(buf[i + 1]) << 8));
  return true;
}

// Windows compares file names without regard to case.
bool SameName(const std::u16string &a, const char *b) {
  size_t n = strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char16_t x = a[i], y = char16_t(uint8_t(b[i]));
    if (x >= u'A' && x <= u'Z') x = char16_t(x - u'A' + u'a');
    if (y >= u'A' && y <= u'Z') y = char16_t(y - u'A' + u'a');
    if (x != y) return false;
  }
  return true;
}

bool CollectBytes(void *ctx, const uint8_t *data, size_t size) {
  static_cast<std::vector<uint8_t> *>(ctx)->insert(static_cast<std::vector<uint8_t> *>(ctx)->end(),
                                                   data, data + size);
  return true;
}

std::string Quoted(const std::string &raw) {
  return "\"" + raw + "\"";
}

// "language 0x0409 (English, United States) 3.0.26.203, language 0x0804 ...":
// the languages a service program is most likely to carry get their names.
std::string DescribeRecords(const std::vector<PeVersionRecord> &records) {
  static const struct {
    uint16_t id;
    const char *name;
  } kNames[] = {{0x0000, "neutral"},
                {0x0404, "Chinese, Taiwan"},
                {0x0409, "English, United States"},
                {0x0804, "Chinese, PRC"},
                {0x0809, "English, United Kingdom"},
                {0x0C04, "Chinese, Hong Kong"}};
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (const PeVersionRecord &r : records) {
    if (!text.empty()) text += ", ";
    text += "language 0x";
    for (int shift = 12; shift >= 0; shift -= 4) text += kHex[(r.language >> shift) & 0xF];
    for (const auto &n : kNames)
      if (n.id == r.language) text += std::string(" (") + n.name + ")";
    text += " " + FormatFileVersion(r.file_version_ms, r.file_version_ls);
  }
  return text;
}

// 1234567 -> "1,234,567".
std::string Grouped(uint64_t n) {
  std::string digits = std::to_string(n), text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

}  // namespace

// The installer carries the archive inside its own 32-bit image, which Windows
// maps into one free range of the process's address space; past the limit
// (util/product_files.h says why it is where it is) that range cannot be
// counted on on every supported PC.
bool ArchiveSizeFits(uint64_t size, std::string *message) {
  if (size <= kMaxArchiveSize) return true;
  char mib[32];
  snprintf(mib, sizeof mib, "%.1f MiB", double(size) / 1048576.0);
  *message = "the archive is " + Grouped(size) + " bytes (" + mib + "), past the limit of " +
             Grouped(kMaxArchiveSize) + " bytes (" + std::to_string(kMaxArchiveSize >> 20) +
             " MiB) that a 32-bit installer carrying it in its image can be sure to load";
  return false;
}

bool CheckProductArchive(const uint8_t *data, size_t size, const std::string &version,
                         std::string *message) {
  if (!ArchiveSizeFits(size, message)) return false;
  Archive archive;
  Status st = archive.Open(data, size);
  if (st != Status::kOk) {
    *message = std::string("not a readable ZIP archive: ") + tovra::zip::StatusText(st);
    return false;
  }
  const std::vector<Entry> &entries = archive.entries();
  size_t found[3] = {SIZE_MAX, SIZE_MAX, SIZE_MAX};
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry &e = entries[i];
    std::u16string wide;
    std::vector<std::u16string> parts;
    bool decoded = e.utf8() ? tovra::zip::Utf8ToUtf16(e.name, &wide) : Cp936ToUtf16(e.name, &wide);
    if (!decoded || !tovra::zip::SplitSafePath(wide, &parts)) {
      *message = "unsafe entry name " + Quoted(e.name) + " (entry " + std::to_string(i + 1) + ")";
      return false;
    }
    // Every entry must extract cleanly: the extractor fails the install on
    // the first entry it cannot write.
    st = archive.Verify(i);
    if (st != Status::kOk) {
      *message = "entry " + Quoted(e.name) + " cannot be extracted: " + tovra::zip::StatusText(st);
      return false;
    }
    if (e.is_directory() && e.uncompressed_size != 0) {
      *message = "folder entry " + Quoted(e.name) + " holds data: the extractor refuses it";
      return false;
    }
    if (parts.size() == 1 && !e.is_directory())
      for (size_t k = 0; k < 3; ++k)
        if (SameName(parts[0], kRequired[k])) found[k] = i;
  }
  for (size_t k = 0; k < 3; ++k) {
    if (found[k] == SIZE_MAX) {
      *message = std::string("no file ") + kRequired[k] + " at the archive's root";
      return false;
    }
  }
  std::vector<uint8_t> service;
  st = archive.Extract(found[0], CollectBytes, &service);
  if (st != Status::kOk) {
    *message = std::string(kService) + " cannot be extracted: " + tovra::zip::StatusText(st);
    return false;
  }
  uint32_t ms = 0, ls = 0;
  std::vector<PeVersionRecord> records;
  PeStatus pe = ReadPeFileVersion(service.data(), service.size(), &ms, &ls, &records);
  if (pe == PeStatus::kVersionsDisagree) {
    *message = std::string(kService) + ": its version records disagree (" +
               DescribeRecords(records) +
               "); Windows reads the one of the user's language, the installer requires " +
               version + " in every one";
    return false;
  }
  if (pe != PeStatus::kOk) {
    *message = std::string(kService) + ": " + PeStatusText(pe) +
               "; the installer requires file version " + version;
    return false;
  }
  std::string have = FormatFileVersion(ms, ls);
  if (have != version) {
    *message =
        std::string(kService) + " has file version " + have + ", the installer requires " + version;
    return false;
  }
  return true;
}
