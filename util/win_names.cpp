#include "util/win_names.h"

#include <cstring>

#include "util/text.h"

namespace {

// The internals index raw units, not string_view: the shipped builds check
// every string_view index, and the installer has little room for that.

// The next character's index: CP936 text steps over a double-byte character
// whole, since its second byte may be 0x5C, the byte of "\" (誠 is D5 5C).
size_t Next(const char *s, size_t n, size_t i) {
  return IsCp936LeadByte(static_cast<unsigned char>(s[i])) && i + 1 < n && s[i + 1] != '\0' ? i + 2
                                                                                            : i + 1;
}
size_t Next(const char16_t *, size_t, size_t i) {
  return i + 1;
}

// The upper-case ASCII letter or digit a unit stands for in a device name,
// or -1. Windows reads the Latin-1 superscripts ¹ ² ³ as digits there; CP936
// cannot spell them, and its bytes past 0x7F start double-byte characters.
int DeviceLetter(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x80) return -1;
  return u >= 'a' && u <= 'z' ? u - 'a' + 'A' : u;
}
int DeviceLetter(char16_t c) {
  if (c == 0xB9) return '1';
  if (c == 0xB2 || c == 0xB3) return '0' + (c - 0xB0);
  return c < 0x80 ? DeviceLetter(static_cast<char>(c)) : -1;
}

template <typename Unit>
bool IsSeparator(Unit c) {
  return c == Unit('\\') || c == Unit('/');
}

// The list is the union of what Windows keeps in every folder (the COM and
// LPT names with 0 and with the superscripts included, as Microsoft lists
// them), the console's CONIN$ and CONOUT$ (the names CreateFile opens the
// console by), and DOS's CLOCK$: refusing a name that is harmless on some
// Windows costs one unusual name, taking a device for a folder costs a chain
// made halfway and an install that fails there.
const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};

template <typename Unit>
bool IsDeviceNameOf(const Unit *c, size_t n) {
  size_t stem = 0;
  while (stem < n && c[stem] != Unit('.')) ++stem;  // "." is never a second byte in CP936
  while (stem > 0 && c[stem - 1] == Unit(' ')) --stem;
  if (stem < 3 || stem > 7) return false;
  char name[8] = {};
  for (size_t i = 0; i < stem; ++i) {
    const int letter = DeviceLetter(c[i]);
    if (letter < 0) return false;
    name[i] = static_cast<char>(letter);
  }
  if (stem == 4 && (std::memcmp(name, "COM", 3) == 0 || std::memcmp(name, "LPT", 3) == 0)) {
    return name[3] >= '0' && name[3] <= '9';
  }
  for (const char *device : kDevices) {
    if (std::strcmp(name, device) == 0) return true;
  }
  return false;
}

template <typename Unit>
size_t NameEnd(const Unit *s, size_t n, size_t i) {
  while (i < n && !IsSeparator(s[i])) i = Next(s, n, i);
  return i;
}

// The end of "server\share" starting at i; 0 when a name is missing or the
// server is "?" or ".", the device forms "\\?\" and "\\.\".
template <typename Unit>
size_t ShareEnd(const Unit *s, size_t n, size_t i) {
  const size_t server = NameEnd(s, n, i);
  if (server == i || server == n) return 0;
  if (server - i == 1 && (s[i] == Unit('?') || s[i] == Unit('.'))) return 0;
  const size_t share = NameEnd(s, n, server + 1);
  return share == server + 1 ? 0 : share;
}

template <typename Unit>
size_t UncRootOf(const Unit *s, size_t n) {
  return n >= 2 && IsSeparator(s[0]) && IsSeparator(s[1]) ? ShareEnd(s, n, 2) : 0;
}

// The steps below root, which is a share (a step of its own) when share is
// set. A leading separator's empty prefix is the current drive's root.
template <typename Unit>
bool WalkFrom(const Unit *s, size_t n, size_t root, bool share, bool lastIsFile, ChainStepFn step,
              void *context) {
  for (size_t i = root; i < n; i = Next(s, n, i)) {
    if (!IsSeparator(s[i]) || i == 0) continue;
    if (!step(context, i, share && i == root ? ChainStep::kShare : ChainStep::kFolder))
      return false;
  }
  if (lastIsFile || n == 0 || (!share && n == root)) return true;
  return step(context, n, share && n == root ? ChainStep::kShare : ChainStep::kFolder);
}

}  // namespace

bool IsWindowsDeviceName(std::string_view component) {
  return IsDeviceNameOf(component.data(), component.size());
}
bool IsWindowsDeviceName(std::u16string_view component) {
  return IsDeviceNameOf(component.data(), component.size());
}

bool IsCharForbiddenInNames(char32_t c) {
  return c < 0x20 || c == '"' || c == '*' || c == ':' || c == '<' || c == '>' || c == '?' ||
         c == '|';
}

bool EndsInBlankOrDot(std::string_view component) {
  const size_t n = component.size();
  return n > 0 && (component.data()[n - 1] == ' ' || component.data()[n - 1] == '.');
}
bool EndsInBlankOrDot(std::u16string_view component) {
  const size_t n = component.size();
  return n > 0 && (component.data()[n - 1] == u' ' || component.data()[n - 1] == u'.');
}

size_t UncRootLength(std::string_view path) {
  return UncRootOf(path.data(), path.size());
}
size_t UncRootLength(std::u16string_view path) {
  return UncRootOf(path.data(), path.size());
}

// Before a share nothing can be made ("\\server" is no folder); the share
// itself is a step of its own, which must exist.
bool WalkFolderChain(std::string_view path, bool lastIsFile, ChainStepFn step, void *context) {
  const size_t root = UncRootOf(path.data(), path.size());
  return WalkFrom(path.data(), path.size(), root, root != 0, lastIsFile, step, context);
}

// An extended path's "\\?\" is no folder either (only the extractor's
// paths have one); its drive ("\\?\C:") is tried like "C:".
bool WalkFolderChain(std::u16string_view path, bool lastIsFile, ChainStepFn step, void *context) {
  const char16_t *s = path.data();
  const size_t n = path.size();
  size_t root = UncRootOf(s, n);
  bool share = root != 0;
  if (n >= 4 && IsSeparator(s[0]) && IsSeparator(s[1]) && s[2] == u'?' && IsSeparator(s[3])) {
    const bool unc = n >= 8 && DeviceLetter(s[4]) == 'U' && DeviceLetter(s[5]) == 'N' &&
                     DeviceLetter(s[6]) == 'C' && IsSeparator(s[7]);
    root = unc ? ShareEnd(s, n, 8) : 0;
    share = root != 0;
    if (!share) root = 4;
  }
  return WalkFrom(s, n, root, share, lastIsFile, step, context);
}
