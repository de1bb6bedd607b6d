// Fuzzes the install folder rule on CP936 text in an InstallDir-sized buffer
// (the rule may read all of it, never past it), with what must hold for every
// folder it takes: the chain the window makes steps through folders the rule
// takes too, and starts at the folder's own root (a share is checked, never
// made); a plain component more keeps it usable while it fits.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "install/install_folder.h"
#include "install/install_state.h"
#include "util/text.h"
#include "util/win_names.h"

namespace {

struct FirstStep {
  size_t length = 0;
  ChainStep step = ChainStep::kFolder;
  bool seen = false;
};

bool NoteFirst(void *context, size_t length, ChainStep step) {
  auto *first = static_cast<FirstStep *>(context);
  if (!first->seen) *first = FirstStep{length, step, true};
  return true;
}

bool Usable(const std::string &folder) {
  char *buffer = static_cast<char *>(std::malloc(kInstallDirSize));  // exactly InstallDir's size
  std::memset(buffer, 'x', kInstallDirSize);
  std::memcpy(buffer, folder.c_str(), folder.size() + 1);
  const bool usable = InstallFolderUsable(buffer);
  std::free(buffer);
  return usable;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size >= static_cast<size_t>(kInstallDirSize)) {
    char *whole = static_cast<char *>(std::malloc(kInstallDirSize));
    std::memcpy(whole, data, kInstallDirSize);
    InstallFolderUsable(whole);  // unterminated or not, read within the buffer
    std::free(whole);
    return 0;
  }
  const std::string folder(reinterpret_cast<const char *>(data), size);
  if (folder.find('\0') != std::string::npos || !Usable(folder)) return 0;

  if (folder.size() > static_cast<size_t>(kMaxInstallDirLength)) std::abort();
  FirstStep first;
  WalkFolderChain(folder, false, NoteFirst, &first);
  const size_t share = UncRootLength(folder);
  if (!first.seen || first.length != (share ? share : 2)) std::abort();
  if ((first.step == ChainStep::kShare) != (share != 0)) std::abort();

  for (const char *p = folder.c_str() + first.length + 1; *p; p = NextCp936Char(p)) {
    if (*p == '\\' && !Usable(std::string(folder.c_str(), p + 1))) std::abort();
  }
  if (folder.back() == '\\' && folder.size() + 2 <= static_cast<size_t>(kMaxInstallDirLength) &&
      !Usable(folder + "a\\")) {
    std::abort();
  }
  return 0;
}
