// The portable text and path helpers; runs natively and under Wine.
#include "util/text.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(CopyTextEnd, ChainsIntoOneTextAndEndsAtItsTerminator) {
  char buffer[32];
  std::memset(buffer, 'x', sizeof(buffer));
  char *end = CopyTextEnd(CopyTextEnd(CopyTextEnd(buffer, "x \""), "D:\\a b"), "\" -y");
  EXPECT_STREQ("x \"D:\\a b\" -y", buffer);
  EXPECT_EQ(buffer + std::strlen(buffer), end);
  EXPECT_EQ('\0', *end);
}

TEST(CopyTextEnd, MovesATextForwardWithinItsOwnBuffer) {
  char path[] = "C:\\dir\\setup.exe";
  CopyTextEnd(path, path + 7);
  EXPECT_STREQ("setup.exe", path);
}

TEST(CopyTextEnd, MissingSourceOrDestination) {
  char buffer[4] = "abc";
  EXPECT_EQ(buffer, CopyTextEnd(buffer, nullptr));
  EXPECT_STREQ("", buffer);
  EXPECT_EQ(nullptr, CopyTextEnd(nullptr, "abc"));
  EXPECT_EQ(nullptr, CopyTextEnd(nullptr, nullptr));
}

TEST(CopyTextBounded, SizeOneGivesTheEmptyText) {
  char buffer[4] = "abc";
  EXPECT_EQ(buffer, CopyTextBounded(buffer, "xyz", 1));
  EXPECT_STREQ("", buffer);
  EXPECT_EQ('b', buffer[1]);  // nothing past the terminator is touched
}

TEST(CopyTextBounded, SourceAsLongAsTheSizeLosesItsLastCharacter) {
  char buffer[6];
  std::memset(buffer, 'x', sizeof(buffer));
  CopyTextBounded(buffer, "abcde", 5);
  EXPECT_STREQ("abcd", buffer);
  EXPECT_EQ('x', buffer[5]);
  CopyTextBounded(buffer, "abcd", 5);
  EXPECT_STREQ("abcd", buffer);
}

TEST(CopyTextBounded, MissingSourceOrDestination) {
  char buffer[4] = "abc";
  EXPECT_EQ(buffer, CopyTextBounded(buffer, nullptr, 4));
  EXPECT_STREQ("", buffer);
  EXPECT_EQ(nullptr, CopyTextBounded(nullptr, "abc", 4));
}

TEST(CopyTextLimited, TheSmallerBoundWins) {
  char field[8];
  // The length bound copies exactly a stretch of a longer text...
  CopyTextLimited(field, "value rest", 6, sizeof(field));
  EXPECT_STREQ("value", field);
  // ...and the size bound cuts a stretch longer than the field.
  CopyTextLimited(field, "a-long-value rest", 13, sizeof(field));
  EXPECT_STREQ("a-long-", field);
}

TEST(LastPathComponent, SeparatorsAtTheEdgesAndMixed) {
  const char *trailing = "C:\\Tovra\\";
  EXPECT_EQ(trailing + 9, LastPathComponent(trailing));
  EXPECT_STREQ("", LastPathComponent(trailing));
  const char *bare = "setup.exe";
  EXPECT_EQ(bare, LastPathComponent(bare));
  EXPECT_STREQ("setup.exe", LastPathComponent("\\setup.exe"));
  EXPECT_STREQ("setup.exe", LastPathComponent("/setup.exe"));
  EXPECT_STREQ("c.exe", LastPathComponent("a\\b/c.exe"));
  EXPECT_STREQ("c.exe", LastPathComponent("a/b\\c.exe"));
}

TEST(LastPathComponent, CopiesIntoTheOutputBuffer) {
  char out[16];
  std::memset(out, 'x', sizeof(out));
  EXPECT_EQ(out, LastPathComponent("D:\\Tovra\\7ZG.EXE", out));
  EXPECT_STREQ("7ZG.EXE", out);
  EXPECT_EQ(out, LastPathComponent("D:\\Tovra\\", out));
  EXPECT_STREQ("", out);
}
