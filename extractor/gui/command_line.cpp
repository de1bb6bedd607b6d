#include "extractor/gui/command_line.h"

namespace tovra::extractor {

// The installer passes the output folder as -o"D:\Tovra\": under the C
// runtime's rules (and CommandLineToArgvW) the \" would be an escaped quote
// and swallow " -y". The carried extractor read quotes as plain toggles, so
// we do too.
std::vector<std::wstring> SplitCommandLine(std::wstring_view line) {
  std::vector<std::wstring> words;
  std::wstring word;
  bool in_word = false, quoted = false;
  for (wchar_t ch : line) {
    if (ch == L'"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && (ch == L' ' || ch == L'\t')) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word.push_back(ch);
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

bool ParseExtractCommand(std::wstring_view line, ExtractCommand *out) {
  *out = ExtractCommand();
  const std::vector<std::wstring> words = SplitCommandLine(line);
  if (words.size() < 3 || (words[1] != L"x" && words[1] != L"X")) return false;
  bool have_archive = false, have_output = false;
  for (size_t i = 2; i < words.size(); ++i) {
    const std::wstring &w = words[i];
    if (w.size() >= 2 && w[0] == L'-' && (w[1] == L'o' || w[1] == L'O')) {
      if (have_output || w.size() == 2) return false;
      out->output_dir = w.substr(2);
      have_output = true;
    } else if (w == L"-y" || w == L"-Y") {
      out->overwrite = true;
    } else if (!w.empty() && w[0] == L'-') {
      return false;  // a switch we do not know
    } else {
      if (have_archive || w.empty()) return false;
      out->archive = w;
      have_archive = true;
    }
  }
  return have_archive;
}

}  // namespace tovra::extractor
