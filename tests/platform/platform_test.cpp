// The ground every other suite stands on: the prefix runs with ANSI code page
// 936 and our narrow literals hold CP936 bytes.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

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

// The suite runs once per Windows build; each run must really be the build it
// claims to be, or the i686 run would silently test the x86_64 program.
TEST(Platform, RunsTheBuildOfItsTree) {
  EXPECT_EQ(TOVRA_TREE_BITS / 8, static_cast<int>(sizeof(void *)));
  // The shell's launch record is 60 bytes on i686 and 112 on x86_64.
  EXPECT_EQ(TOVRA_TREE_BITS == 32 ? 60u : 112u, sizeof(SHELLEXECUTEINFOA));
  // A 32-bit program on a win64 prefix runs under WoW64.
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_EQ(TOVRA_TREE_BITS == 32, wow64 != FALSE);
  const auto *image = reinterpret_cast<const unsigned char *>(GetModuleHandleA(NULL));
  const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(
      image + reinterpret_cast<const IMAGE_DOS_HEADER *>(image)->e_lfanew);
  EXPECT_EQ(TOVRA_TREE_BITS == 32 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64,
            nt->FileHeader.Machine);
}
