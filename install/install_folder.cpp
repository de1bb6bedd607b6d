#include "install/install_folder.h"

#include <cstring>
#include <string_view>

#include "install/extract_command.h"
#include "install/install_state.h"
#include "util/text.h"
#include "util/win_names.h"

namespace {

// The extractor's command holds the folder twice, "setup.zip" and 12 fixed
// characters in kExtractCommandSize bytes: the MAX_PATH rule is the stricter
// one.
static_assert(2 * kMaxInstallDirLength + 9 + 12 < kExtractCommandSize, "the extract command fits");
static_assert(kMaxInstallDirLength < kInstallDirSize, "InstallDir holds the longest folder");

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The length of the root of an absolute folder: "X:" followed by a
// backslash, or "\\server\share" followed by a separator; 0 for any other
// folder. The device forms "\\?\" and "\\.\" are not folders the installer
// can make.
size_t RootLength(const char *folder, size_t length) {
  const size_t share = UncRootLength(std::string_view(folder, length));
  if (share != 0) return share < length ? share : 0;  // a separator ends the share
  return IsLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\' ? 2 : 0;
}

// Characters no Windows file name may hold, looked for by CP936 characters
// (a second byte may be "|"). A character CP936 cannot spell (Hangul, emoji,
// the rarer CJK extensions) reaches the ANSI installer as "?", from the
// window's box and from the command line alike, so such a folder is refused
// too: otherwise the part of its chain before that name was made and the
// install failed halfway down it.
bool HoldsForbiddenCharacter(const char *folder) {
  for (const char *p = folder; *p != '\0'; p = NextCp936Char(p)) {
    if (*p == ':' && p == folder + 1) continue;  // only a drive's colon
    if (IsCharForbiddenInNames(static_cast<unsigned char>(*p))) return true;
  }
  return false;
}

// Every component below the root is made as a folder of the chain: one named
// as a device names that device, and one ending in a blank or a full stop is
// made without them, so the rest of the chain, which keeps them, fails
// halfway down. "." and ".." are steps Windows takes in every call alike.
bool HoldsUnmakeableName(const char *folder, size_t root) {
  const char *begin = folder + root + 1;
  for (const char *p = begin;; p = NextCp936Char(p)) {
    if (*p != '\0' && *p != '\\' && *p != '/') continue;
    const std::string_view component(begin, static_cast<size_t>(p - begin));
    const bool dots = p - begin <= 2 && begin[0] == '.' && (p - begin == 1 || begin[1] == '.');
    if (IsWindowsDeviceName(component) || (!dots && EndsInBlankOrDot(component))) return true;
    if (*p == '\0') return false;
    begin = p + 1;
  }
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
  const size_t root = RootLength(folder, length);
  return root != 0 && !HoldsForbiddenCharacter(folder) && !HoldsUnmakeableName(folder, root);
}
