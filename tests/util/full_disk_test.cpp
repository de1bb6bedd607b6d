// Writes onto a full disk: the small-disk fixture's 1 MiB tmpfs; skipped when
// it could not be mounted, and failed then under CI (the variable CI set),
// where the disk must be there.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/scratch.h"
#include "util/files.h"

class FullDiskTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = test_support::ToAnsi(test_support::SmallDiskFolder(L"util", L"full", L"no-tmpfs"));
    ULARGE_INTEGER freeBytes, totalBytes;
    if (dir_.empty() || !GetDiskFreeSpaceExA(dir_.c_str(), &freeBytes, NULL, &totalBytes) ||
        totalBytes.QuadPart > 4u << 20) {
      if (std::getenv("CI")) FAIL() << "no small disk mounted (needs root)";
      GTEST_SKIP() << "no small disk mounted";
    }
    TearDown();  // what an earlier run left
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
