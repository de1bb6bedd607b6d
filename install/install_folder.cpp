#include "install/install_folder.h"

#include <cstring>

#include "install/install_state.h"
#include "util/text.h"

namespace {

// The extractor's command holds the folder twice, "setup.zip" and 12 fixed
// characters in 600 bytes: the MAX_PATH rule is the stricter one.
static_assert(2 * kMaxInstallDirLength + 9 + 12 < 600, "the extract command fits");
static_assert(kMaxInstallDirLength < kInstallDirSize, "InstallDir holds the longest folder");

// The end of the path component that starts at p: its separator or the
// terminator, stepping by CP936 characters (a second byte may be 0x5C).
const char *ComponentEnd(const char *p) {
  while (*p != '\0' && *p != '\\') p = NextCp936Char(p);
  return p;
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "X:\..." or "\\server\share\..." with both names given. The device forms
// "\\?\" and "\\.\" are not folders the installer can make.
bool IsAbsolute(const char *folder) {
  if (IsLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\') return true;
  if (folder[0] != '\\' || folder[1] != '\\') return false;
  const char *server = folder + 2;
  const char *serverEnd = ComponentEnd(server);
  if (serverEnd == server || *serverEnd != '\\') return false;
  if (serverEnd - server == 1 && (*server == '?' || *server == '.')) return false;
  const char *share = serverEnd + 1;
  const char *shareEnd = ComponentEnd(share);
  return shareEnd != share && *shareEnd == '\\';
}

// Characters no Windows file name may hold, looked for by CP936 characters
// (a second byte may be "|"). A character CP936 cannot spell (Hangul, emoji,
// the rarer CJK extensions) reaches the ANSI installer as "?", from the
// window's box and from the command line alike, so such a folder is refused
// too: otherwise the part of its chain before that name was made and the
// install failed halfway down it.
bool HoldsForbiddenCharacter(const char *folder) {
  for (const char *p = folder; *p != '\0'; p = NextCp936Char(p)) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || std::strchr("\"*<>?|", c) != nullptr) return true;
    if (c == ':' && p != folder + 1) return true;  // only a drive's colon
  }
  return false;
}

// A name Windows keeps for a device in every folder (CON, PRN, AUX, NUL,
// COM0-9, LPT0-9; in any case, with any extension, blanks before it ignored)
// names that device, not a folder: the chain before it would be made and
// the install fail there.
bool IsDeviceName(const char *begin, const char *end) {
  const char *stem = begin;
  while (stem != end && *stem != '.') ++stem;  // "." is never a second byte
  while (stem != begin && stem[-1] == ' ') --stem;
  const size_t n = static_cast<size_t>(stem - begin);
  if (n != 3 && n != 4) return false;
  char name[5] = {};
  for (size_t i = 0; i < n; ++i) {
    const char c = begin[i];
    name[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  if (n == 4) {
    return (std::strncmp(name, "COM", 3) == 0 || std::strncmp(name, "LPT", 3) == 0) &&
           name[3] >= '0' && name[3] <= '9';
  }
  static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char *device : kDevices) {
    if (std::strcmp(name, device) == 0) return true;
  }
  return false;
}

// The components below the root of an absolute folder ("X:" or
// "\\server\share"), each checked by IsDeviceName.
bool HoldsDeviceName(const char *folder) {
  const char *p = folder[0] == '\\' ? ComponentEnd(ComponentEnd(folder + 2) + 1) : folder + 2;
  while (*p == '\\') {
    const char *begin = p + 1;
    p = ComponentEnd(begin);
    if (IsDeviceName(begin, p)) return true;
  }
  return false;
}

}  // namespace

// Relative folders would be resolved again by the extractor, which runs in
// the folder. A folder past the length cannot be reached by the ANSI file
// functions, and the shell, asked to start the extractor there, fails. "%" is
// refused because the shell expands environment references in the
// extractor's path and working folder, while the files are written to the
// literal folder: "%WINDIR%" would point the launch at another place.
bool InstallFolderUsable(const char *folder) {
  if (std::memchr(folder, '\0', kInstallDirSize) == nullptr) return false;
  const size_t length = std::strlen(folder);
  if (length == 0 || length > static_cast<size_t>(kMaxInstallDirLength)) return false;
  if (std::strchr(folder, '%') != nullptr) return false;  // never a second byte in CP936
  return IsAbsolute(folder) && !HoldsForbiddenCharacter(folder) && !HoldsDeviceName(folder);
}
