// The ground every other suite stands on: the prefix runs with ANSI code page
// 936 and our narrow literals hold CP936 bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

TEST(Platform, AnsiCodePageIs936) {
  EXPECT_EQ(936u, GetACP());
}

TEST(Platform, NarrowLiteralsAreCp936) {
  const char *title = "解压文件...";
  ASSERT_EQ(11u, std::strlen(title));
  // 解 is 0xBDE2 in GBK.
  EXPECT_EQ(0xBD, static_cast<unsigned char>(title[0]));
  EXPECT_EQ(0xE2, static_cast<unsigned char>(title[1]));
  wchar_t wide[16] = {};
  ASSERT_EQ(8, MultiByteToWideChar(936, 0, title, -1, wide, 16));
  EXPECT_STREQ(L"解压文件...", wide);
}
