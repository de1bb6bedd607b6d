#pragma once
// The build-time check of the archive an installer is to carry: refuses an
// archive with which the install could never succeed.
#include <cstddef>
#include <cstdint>
#include <string>

// True when the archive is readable, every entry is intact and safe to
// extract, TovraClientService.exe, TovraControl.exe and TovraClient.dat are
// files at its root, and the service program's fixed file version equals
// `version`. Otherwise false, with the reason in `message`.
bool CheckProductArchive(const uint8_t *data, size_t size, const std::string &version,
                         std::string *message);

// True when an archive of `size` bytes is small enough to carry
// (kMaxArchiveSize); otherwise false, with the size and the limit in
// `message`. CheckProductArchive applies it first.
bool ArchiveSizeFits(uint64_t size, std::string *message);
