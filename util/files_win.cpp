#include "util/files_win.h"

#include <windows.h>

// An existing folder answers "already exists"; a drive root answers "already
// exists" or, on Windows, "access denied". Both mean the folder is there.
static bool MakeFolder(const char *path) {
  if (CreateDirectoryA(path, NULL)) return true;
  DWORD error = GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_ALREADY_EXISTS;
}

int CreateDirectoryChain(char *path, bool lastIsFile) {
  for (char *p = path; *p; ++p) {
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
