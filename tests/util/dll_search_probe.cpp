// Test helper for the DLL search rule: dll_search_probe <narrow|plain> <dll>
// Loads <dll> by its bare name, after NarrowDllSearch when asked to. Exits
// with 0 when it was loaded, 1 when not, 2 on a bad command line.
#include <windows.h>

#include <cstring>

#include "util/system_win.h"

int main(int argc, char **argv) {
  if (argc != 3) return 2;
  if (std::strcmp(argv[1], "narrow") == 0) {
    NarrowDllSearch();
  } else if (std::strcmp(argv[1], "plain") != 0) {
    return 2;
  }
  return LoadLibraryA(argv[2]) != nullptr ? 0 : 1;
}
