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

TEST(JoinPath, JoinsWhatFitsAndEmptiesWhatDoesNot) {
  char out[9];
  EXPECT_TRUE(JoinPath(out, "C:\\", "a.txt"));  // 8 characters and the terminator
  EXPECT_STREQ("C:\\a.txt", out);
  EXPECT_FALSE(JoinPath(out, "C:\\", "ab.txt"));
  EXPECT_STREQ("", out);
  char guarded[12];
  std::memset(guarded, 'x', sizeof guarded);
  EXPECT_FALSE(JoinPath(guarded, 4, "abc", "d"));
  EXPECT_EQ('\0', guarded[0]);
  EXPECT_EQ('x', guarded[1]);  // nothing written past the empty text
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

// Code page 936 puts 0x5C, the byte of "\", second in about 120 characters
// (誠 is D5 5C, 運 DF 5C). Written as bytes: this file is built natively too.
TEST(LastPathComponent, StepsOverDoubleByteCharactersEndingIn5C) {
  EXPECT_STREQ("\xD5\x5C.exe", LastPathComponent("D:\\\xB0\xB2\xD7\xB0\\\xD5\x5C.exe"));
  EXPECT_STREQ("\xD5\x5C", LastPathComponent("D:\\\xD5\x5C"));
  EXPECT_STREQ("a", LastPathComponent("\xD5\x5C\\a"));
  EXPECT_STREQ("", LastPathComponent("D:\\\xD5\x5C\\"));
  EXPECT_STREQ("\xCB\xB5\xC3\xF7\xDF\x5C", LastPathComponent("x/\xCB\xB5\xC3\xF7\xDF\x5C"));
  // 0x80 and 0xFF lead nothing; a lead byte before the terminator stands alone.
  EXPECT_STREQ("b", LastPathComponent("\x80\\b"));
  EXPECT_STREQ("b", LastPathComponent("\xFF\\b"));
  char out[8];
  EXPECT_STREQ("\xD5\x5C", LastPathComponent("C:\\\xD5\x5C", out));
}

TEST(EndsInBackslash, LooksAtTheLastCharacterNotTheLastByte) {
  EXPECT_TRUE(EndsInBackslash("D:\\Tovra\\"));
  EXPECT_TRUE(EndsInBackslash("\\"));
  EXPECT_TRUE(EndsInBackslash("D:\\\xD5\x5C\\"));
  EXPECT_TRUE(EndsInBackslash("\x80\\"));
  EXPECT_FALSE(EndsInBackslash("D:\\\xD5\x5C"));              // D:\誠
  EXPECT_FALSE(EndsInBackslash("\xCB\xB5\xC3\xF7\xDF\x5C"));  // 说明運
  EXPECT_FALSE(EndsInBackslash("\x81\x5C"));
  EXPECT_FALSE(EndsInBackslash("\xFE\x5C"));
  EXPECT_FALSE(EndsInBackslash("D:\\Tovra"));
  EXPECT_FALSE(EndsInBackslash("D:/Tovra/"));
  EXPECT_FALSE(EndsInBackslash(""));
  // A trail byte 0x5C after an odd run of lead bytes: D5 D5 | D5 5C.
  EXPECT_FALSE(EndsInBackslash("\xD5\xD5\xD5\x5C"));
  EXPECT_TRUE(EndsInBackslash("\xD5\xD5\x5C"));  // D5 D5 | 5C
}

TEST(NextCp936Char, StepsOneOrTwoBytesAndStopsAtTheEnd) {
  const char *text = "a\xD5\x5C\x80\xD5";
  EXPECT_EQ(text + 1, NextCp936Char(text));
  EXPECT_EQ(text + 3, NextCp936Char(text + 1));
  EXPECT_EQ(text + 4, NextCp936Char(text + 3));
  EXPECT_EQ(text + 5, NextCp936Char(text + 4));  // lone lead byte at the end
  EXPECT_EQ(text + 5, NextCp936Char(text + 5));
  EXPECT_FALSE(IsCp936LeadByte(0x80));
  EXPECT_TRUE(IsCp936LeadByte(0x81));
  EXPECT_TRUE(IsCp936LeadByte(0xFE));
  EXPECT_FALSE(IsCp936LeadByte(0xFF));
  EXPECT_FALSE(IsCp936LeadByte('\\'));
}
