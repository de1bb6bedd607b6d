#pragma once
// Reads what the build and the tests need from a Windows PE image (PE32 and
// PE32+) without windows.h: machine, subsystem, section and imported DLL
// names, and the fixed file version of the version resource. Every offset
// taken from the image is checked against its size; a hostile image gives an
// error, never a read outside the buffer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class PeStatus {
  kOk,
  kNotPe,             // no MZ or PE signature, or an unknown optional header
  kMalformed,         // a header, table or offset points outside the image
  kNoVersion,         // a valid image without a readable VS_VERSIONINFO under RT_VERSION ID 1
  kVersionsDisagree,  // the languages under RT_VERSION ID 1 give different file versions
};

// The record of one language under RT_VERSION ID 1, in the tree's order.
struct PeVersionRecord {
  uint16_t language = 0;  // 0x0409 English (United States), 0x0804 Chinese (PRC), ...
  uint32_t file_version_ms = 0, file_version_ls = 0;
  uint32_t product_version_ms = 0, product_version_ls = 0;
};

struct PeImageInfo {
  uint16_t machine = 0;    // 0x14C i386, 0x8664 x86_64
  uint16_t subsystem = 0;  // 2 GUI, 3 console
  bool pe32_plus = false;
  std::vector<std::string> sections;
  std::vector<std::string> imported_dlls;  // as written in the import table
  bool has_version = false;                // every language below gives the same file version
  uint32_t file_version_ms = 0, file_version_ls = 0;
  uint32_t product_version_ms = 0, product_version_ls = 0;  // of the first language
  std::vector<PeVersionRecord> version_records;
};

// Headers, sections and imports; the version when the image has one
// (has_version). kNoVersion and kVersionsDisagree are never returned here:
// the records that disagree are in version_records.
PeStatus ReadPeImage(const uint8_t *data, size_t size, PeImageInfo *info);

// Only the fixed file version, as GetFileVersionInfo reads it on any system:
// kNoVersion when the image has none under ID 1, kVersionsDisagree when its
// languages give different ones. With records, the languages read so far.
PeStatus ReadPeFileVersion(const uint8_t *data, size_t size, uint32_t *ms, uint32_t *ls,
                           std::vector<PeVersionRecord> *records = nullptr);

// "3.0.26.203" from dwFileVersionMS/LS, as the installer prints it.
std::string FormatFileVersion(uint32_t ms, uint32_t ls);

const char *PeStatusText(PeStatus status);
