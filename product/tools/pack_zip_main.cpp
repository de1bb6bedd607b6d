// tovra-pack-zip <folder> <out.zip>: packs the folder into the archive form
// the installer carries (see zip_pack.h).
#include <cstdio>
#include <string>
#include <vector>

#include "product/tools/zip_pack.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: tovra-pack-zip <folder> <out.zip>\n");
    return 2;
  }
  std::vector<PackEntry> entries;
  std::string error;
  // 2025-03-01 12:00:00: a fixed stamp, so a rebuild gives the same bytes.
  const uint16_t time = 12 << 11, date = ((2025 - 1980) << 9) | (3 << 5) | 1;
  if (!ListFolder(argv[1], &entries, &error) || !PackZip(entries, argv[2], time, date, &error)) {
    fprintf(stderr, "tovra-pack-zip: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
