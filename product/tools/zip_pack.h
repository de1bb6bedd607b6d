#pragma once
// Packs a folder into a plain ZIP of the form the installer carries: no ZIP64,
// no data descriptors, deflate level 9 (flags 0x0002) for files, folders
// stored with flags 0, names in CP936 with the UTF-8 flag clear, made by
// MS-DOS 2.0, no comment, one fixed DOS time. Same folder, same bytes.
#include <cstdint>
#include <string>
#include <vector>

struct PackEntry {
  std::string name;  // UTF-8, '/'-separated, folders end in '/'
  std::string path;  // source file on disk; empty for folders
};

// The folder's files and sub-folders in archive order: names sorted by their
// UTF-8 bytes, each folder directly before its contents.
bool ListFolder(const std::string &root, std::vector<PackEntry> *entries, std::string *error);

// Writes the archive to `out`. `dos_time`/`dos_date` stamp every entry.
bool PackZip(const std::vector<PackEntry> &entries, const std::string &out, uint16_t dos_time,
             uint16_t dos_date, std::string *error);

// UTF-8 to CP936; false when a character has no CP936 form.
bool Utf8ToCp936(const std::string &utf8, std::string *cp936);
