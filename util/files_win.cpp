#include "util/files_win.h"

#include <windows.h>

// An existing folder answers "already exists"; a drive root answers "already
// exists" or, on Windows, "access denied". Both mean the folder is there.
static bool MakeFolder(const char *path) {
  if (CreateDirectoryA(path, NULL)) return true;
  DWORD error = GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_ALREADY_EXISTS;
}

// The walk steps by characters of code page 936, the program's text: the
// second byte of a double-byte character may be 0x5C ("D:\誠\" holds D5 5C), and
// cutting there would name a folder that ends in half a character.
int CreateDirectoryChain(char *path, bool lastIsFile) {
  for (char *p = path; *p; p = CharNextExA(936, p, 0)) {
    if (*p != '\\' && *p != '/') continue;
    char separator = *p;
    *p = '\0';  // the prefix up to this separator is the folder to make
    bool made = MakeFolder(path);
    *p = separator;
    if (!made) return 0;
  }
  if (lastIsFile) return 1;
  return MakeFolder(path) ? 1 : 0;
}
