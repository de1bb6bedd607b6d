// Writes onto a full disk: a 1 MiB tmpfs mounted by full_disk.sh (the ctest
// fixture) and named by TOVRA_FULL_DISK; skipped when it could not be mounted,
// and failed then under CI (the variable CI set), where the disk must be there.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "util/files.h"

class FullDiskTest : public testing::Test {
 protected:
  void SetUp() override {
    const char *dir = std::getenv("TOVRA_FULL_DISK");
    ULARGE_INTEGER freeBytes, totalBytes;
    if (!dir || !GetDiskFreeSpaceExA(dir, &freeBytes, NULL, &totalBytes) ||
        totalBytes.QuadPart > 4u << 20) {
      if (std::getenv("CI")) FAIL() << "no small disk mounted at TOVRA_FULL_DISK (needs root)";
      GTEST_SKIP() << "no small disk mounted at TOVRA_FULL_DISK";
    }
    dir_ = dir;
    DeleteFileA(At("a.bin").c_str());
    DeleteFileA(At("b.bin").c_str());
  }
  void TearDown() override {
    DeleteFileA(At("a.bin").c_str());
    DeleteFileA(At("b.bin").c_str());
  }
  std::string At(const char *name) const { return dir_ + "\\" + name; }

  std::string dir_;
  std::vector<char> big_ = std::vector<char>(2 << 20, 'z');
};

TEST_F(FullDiskTest, AShortAppendIsAFailure) {
  EXPECT_EQ(0, AppendToFile(At("a.bin").c_str(), big_.data(), static_cast<int>(big_.size())));
}

TEST_F(FullDiskTest, ASmallBlockLostInTheFinalFlushIsAFailure) {
  // Fill the disk, then append a block small enough to sit in the stream's
  // buffer until the close.
  ASSERT_EQ(0, WriteWholeFile(At("a.bin").c_str(), big_.data(), static_cast<int>(big_.size())));
  ULARGE_INTEGER freeBytes;
  ASSERT_TRUE(GetDiskFreeSpaceExA(dir_.c_str(), &freeBytes, NULL, NULL));
  ASSERT_EQ(0u, freeBytes.QuadPart);
  EXPECT_EQ(0, AppendToFile(At("b.bin").c_str(), "tail", 4));
  EXPECT_EQ(0, WriteWholeFile(At("b.bin").c_str(), "tail", 4));
}

TEST_F(FullDiskTest, ABlockThatFitsStillPasses) {
  EXPECT_EQ(1, AppendToFile(At("a.bin").c_str(), big_.data(), 1000));
  EXPECT_EQ(1, WriteWholeFile(At("b.bin").c_str(), big_.data(), 1000));
}
