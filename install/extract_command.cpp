#include "install/extract_command.h"

#include <cstring>

#include "util/text.h"

namespace {

// "x", ` "`, `" -o"`, `" -y` and the terminator; the check below keeps one
// byte more spare, as the installer always has.
constexpr size_t kCommandFixedLength = 12;

}  // namespace

// The folder keeps its trailing backslash right before the closing quote:
// the extractor splits its command line itself and reads `\"` there as the
// end of the folder, not as an escaped quote.
bool BuildExtractCommand(char *out, int size, const char *archivePath, const char *outputFolder) {
  if (std::strlen(archivePath) + std::strlen(outputFolder) + kCommandFixedLength >=
      static_cast<size_t>(size)) {
    if (size > 0) *out = '\0';
    return false;
  }
  char *end = CopyTextEnd(out, "x \"");
  end = CopyTextEnd(end, archivePath);
  end = CopyTextEnd(end, "\" -o\"");
  end = CopyTextEnd(end, outputFolder);
  CopyTextEnd(end, "\" -y");
  return true;
}
