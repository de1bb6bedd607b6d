#pragma once
// Whole files through the C library, for the portable suites and the host
// tools (natively, and under Wine where a suite runs there too): narrow paths
// as given.
#include <cstdio>
#include <string>

namespace test_support {

// The file's bytes appended to out; false when it cannot be read.
inline bool ReadHostFile(const std::string &path, std::string *out) {
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out->append(buffer, n);
  return std::fclose(f) == 0;
}

// The file's bytes, "" when it cannot be read.
inline std::string HostFile(const std::string &path) {
  std::string bytes;
  return ReadHostFile(path, &bytes) ? bytes : "";
}

inline bool WriteHostFile(const std::string &path, const std::string &bytes) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && wrote;
}

}  // namespace test_support
