// Writes the two small archives the hardening installers carry:
//  hostile.zip   the product's three required files (the service program of
//                our version, the control program, TovraClient.dat) among
//                every kind of entry the extractor must refuse, so that the
//                hostile entries are the install's only reason to fail;
//  truncated.zip the same three files alone, cut off before the central
//                directory is complete.
// Built natively; narrow literals are CP936 as in the extractor's own tests.
#include <cstdio>
#include <string>
#include <vector>

#include "extractor/zip/zip_writer.h"
#include "tests/support/host_files.h"
#include "tests/support/hostile_entries.h"

namespace {

using tovra::zip::WriteEntry;

using test_support::ReadHostFile;
using test_support::WriteHostFile;

}  // namespace

int main(int argc, char **argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s service.exe control.exe client.dat hostile.zip truncated.zip\n",
                 argv[0]);
    return 2;
  }
  std::vector<WriteEntry> product(3);
  product[0].name = "TovraClientService.exe";
  product[1].name = "TovraControl.exe";
  product[2].name = "TovraClient.dat";
  for (int i = 0; i < 3; ++i) {
    if (!ReadHostFile(argv[1 + i], &product[i].data)) {
      std::perror(argv[1 + i]);
      return 1;
    }
  }

  std::vector<WriteEntry> e;
  e.push_back(product[0]);
  test_support::AppendHostileEntries(&e);
  e.push_back(product[1]);
  e.push_back(product[2]);
  if (!WriteHostFile(argv[4], tovra::zip::WriteZip(e, 9))) {
    std::perror(argv[4]);
    return 1;
  }

  // Cut inside the central directory: the local entries are whole, so only a
  // reader that trusts a damaged directory would get anywhere.
  std::string whole = tovra::zip::WriteZip(product, 9);
  whole.resize(whole.size() - 40);
  if (!WriteHostFile(argv[5], whole)) {
    std::perror(argv[5]);
    return 1;
  }
  return 0;
}
