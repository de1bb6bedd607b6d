// The extractor's own command-line reading: quotes toggle, backslashes are
// plain, so the installer's -o"D:\Tovra\" keeps its backslash and " -y".
#include <gtest/gtest.h>

#include "extractor/gui/command_line.h"

namespace tovra::extractor {
namespace {

TEST(ExtractorCommandLine, ReadsTheInstallersCommand) {
  ExtractCommand c;
  ASSERT_TRUE(ParseExtractCommand(
      LR"("C:\Program Files\7ZG.EXE" x "D:\Tovra\setup.zip" -o"D:\Tovra\" -y)", &c));
  EXPECT_EQ(L"D:\\Tovra\\setup.zip", c.archive);
  EXPECT_EQ(L"D:\\Tovra\\", c.output_dir);
  EXPECT_TRUE(c.overwrite);
  // Blanks and Chinese characters inside the quotes stay in one word.
  ASSERT_TRUE(
      ParseExtractCommand(L"7ZG.EXE x \"D:\\安装 目录\\setup.zip\" -o\"D:\\安装 目录\\\" -y", &c));
  EXPECT_EQ(L"D:\\安装 目录\\setup.zip", c.archive);
  EXPECT_EQ(L"D:\\安装 目录\\", c.output_dir);
  ASSERT_TRUE(ParseExtractCommand(L"7zg X a.zip", &c));
  EXPECT_EQ(L"a.zip", c.archive);
  EXPECT_TRUE(c.output_dir.empty());
  EXPECT_FALSE(c.overwrite);
}

TEST(ExtractorCommandLine, SplitsOnBlanksOutsideQuotesOnly) {
  EXPECT_EQ((std::vector<std::wstring>{L"a", L"b c", L"-o\\x\\", L"", L"d\\\\e"}),
            SplitCommandLine(L"  a \t\"b c\" -o\"\\x\\\" \"\" d\\\\e  "));
  EXPECT_EQ((std::vector<std::wstring>{L"ab cd"}), SplitCommandLine(L"a\"b c\"d"));
  EXPECT_EQ((std::vector<std::wstring>{L"open end"}), SplitCommandLine(L"\"open end"));
}

TEST(ExtractorCommandLine, RefusesEverythingElse) {
  ExtractCommand c;
  for (const wchar_t *bad : {L"", L"7zg", L"7zg x", L"7zg e a.zip", L"7zg a a.zip",
                             L"7zg x a.zip b.zip", L"7zg x a.zip -o", L"7zg x a.zip -oA -oB",
                             L"7zg x a.zip -p", L"7zg x a.zip -aoa", L"7zg x \"\" -oD:\\"}) {
    EXPECT_FALSE(ParseExtractCommand(bad, &c)) << bad;
  }
}

}  // namespace
}  // namespace tovra::extractor
