#pragma once
// The extractor's command line (portable; no windows.h).
#include <string>
#include <string_view>
#include <vector>

namespace tovra::extractor {

struct ExtractCommand {
  std::wstring archive;
  std::wstring output_dir;  // empty: the current folder
  bool overwrite = false;   // -y
};

// Splits a whole command line (program name included) into words: blanks and
// tabs separate words outside quotes, a double quote toggles quoting and is
// dropped, a backslash is an ordinary character.
std::vector<std::wstring> SplitCommandLine(std::wstring_view line);

// Reads `<program> x <archive> [-o<folder>] [-y]` (switches anywhere after
// the command, in any order). False for anything else.
bool ParseExtractCommand(std::wstring_view line, ExtractCommand *out);

}  // namespace tovra::extractor
