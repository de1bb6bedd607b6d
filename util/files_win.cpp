#include "util/files_win.h"

#include <windows.h>

#include "util/text.h"

static bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

enum class UncStep { None, BeforeShare, Share };

// Where a step of the walk stands in a UNC path ("\\server\share\..."): the
// steps before the share ("", "\", "\\server") name nothing that could be
// made, and the share must be there already. Below it the chain goes on as
// on a drive.
static UncStep UncRootStep(const char *path) {
  if (path[0] == '\0') return UncStep::BeforeShare;
  if (!IsSeparator(path[0])) return UncStep::None;
  if (path[1] == '\0') return UncStep::BeforeShare;
  if (!IsSeparator(path[1])) return UncStep::None;  // "\Tovra", on the current drive
  int separators = 0;
  for (const char *p = path + 2; *p; p = NextCp936Char(p)) separators += IsSeparator(*p);
  if (separators == 0) return UncStep::BeforeShare;
  return separators == 1 ? UncStep::Share : UncStep::None;
}

// An existing folder answers "already exists"; a drive root answers "already
// exists" or, on Windows, "access denied". Both mean the folder is there.
static bool MakeFolder(const char *path) {
  switch (UncRootStep(path)) {
    case UncStep::BeforeShare:
      return true;
    case UncStep::Share: {
      const DWORD attributes = GetFileAttributesA(path);
      return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    case UncStep::None:
      break;
  }
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
