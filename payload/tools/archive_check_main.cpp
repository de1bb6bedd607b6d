// tovra-archive-check <archive> <version>: stops the build (exit 1, with the
// reason) when the archive could never give a successful install of an
// installer built for that product version. The version is the Windows tree's
// TOVRA_PRODUCT_VERSION, given by the build: this host tool serves trees of
// any version.
#include <cstdio>
#include <string>
#include <vector>

#include "payload/tools/archive_check.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: tovra-archive-check <archive> <version>\n");
    return 2;
  }
  std::vector<uint8_t> data;
  FILE *f = fopen(argv[1], "rb");
  if (f) {
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    fclose(f);
  }
  std::string message = "cannot read the file";
  if (f && CheckProductArchive(data.data(), data.size(), argv[2], &message)) return 0;
  fprintf(stderr,
          "tovra-archive-check: %s: %s\n"
          "An installer carrying this archive could never install. Fix the archive (or "
          "TOVRA_PRODUCT_VERSION, the version its service program must carry), or clear "
          "TOVRA_PRODUCT_ARCHIVE to carry the sample product.\n",
          argv[1], message.c_str());
  return 1;
}
