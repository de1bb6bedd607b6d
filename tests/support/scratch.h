#pragma once
// Scratch folders under the temp folder for the Windows suites. Each is
// removed when the test that made it ends (after its fixture and locals are
// gone, so the processes it ran have let go of their files). And the folders
// of the small-disk fixture.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace test_support {

// Removes, at the end of each test, the folders made during it.
class ScratchRemover : public testing::EmptyTestEventListener {
 public:
  static void Add(const std::wstring &folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    folders_.push_back(folder);
  }

 private:
  void OnTestEnd(const testing::TestInfo &) override {
    std::vector<std::wstring> folders;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      folders.swap(folders_);
    }
    for (const std::wstring &folder : folders) RemoveTree(folder);
  }
  static inline std::vector<std::wstring> folders_;
  static inline std::mutex mutex_;
};

// Installed once per program, before main: gtest owns and deletes it.
inline const bool kScratchRemoverInstalled = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new ScratchRemover);
  return true;
}();

inline std::wstring NewScratchName(const wchar_t *stem) {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter++);
}

// A new empty folder <temp>\<stem>-<pid>-<n>\<leaf>, removed with its
// <stem>-<pid>-<n> parent when the test ends.
inline std::wstring MakeScratchFolder(const wchar_t *stem, const wchar_t *leaf = nullptr) {
  std::wstring dir = NewScratchName(stem);
  CreateDirectoryW(dir.c_str(), nullptr);
  ScratchRemover::Add(dir);
  if (leaf) {
    dir += L"\\";
    dir += leaf;
    CreateDirectoryW(dir.c_str(), nullptr);
  }
  return dir;
}

// The same in the system's code page, for the narrow (CP936) paths of the
// installer's own functions: "<temp>\<stem>-<pid>-<n>\<leaf>\", ending in a
// backslash.
inline std::string MakeScratchFolderA(const char *stem, const std::string &leaf) {
  const std::wstring wideLeaf = FromAnsi(leaf);
  return ToAnsi(MakeScratchFolder(FromAnsi(stem).c_str(), wideLeaf.c_str())) + "\\";
}

// folder (without its closing backslash) made longer by components of at
// most 100 characters, short enough for any file system, until with its
// closing backslash it has length characters; each level is made when create.
inline std::wstring LengthenFolder(std::wstring folder, size_t length, bool create) {
  while (folder.size() + 1 < length) {
    const size_t room = length - 1 - folder.size() - 1;  // after the separator
    // Never leave room for a separator alone.
    folder += L"\\" + std::wstring(room == 101 ? 98 : (room > 100 ? 100 : room), L'd');
    if (create) CreateDirectoryW(folder.c_str(), nullptr);
  }
  return folder;
}

// A test with a scratch folder of its own: scratch_ (UTF-16) and dir_ (the
// same in the system's code page), neither ending in a backslash.
class ScratchTest : public testing::Test {
 protected:
  void SetUp() override {
    scratch_ = MakeScratchFolder(L"tovra");
    dir_ = ToAnsi(scratch_);
    ASSERT_TRUE(Exists(scratch_));
  }
  // A path inside the scratch folder.
  std::string At(const std::string &name) const { return dir_ + "\\" + name; }

  std::wstring scratch_;
  std::string dir_;
};

#ifdef TOVRA_SMALL_DISK
// A folder of the suite's own set that the small-disk fixture prepared
// (tests/support/small_disk.sh: full, readonly, locked, unwritable), "" when
// the marker it leaves says it could not (no root, no tmpfs).
inline std::wstring SmallDiskFolder(const wchar_t *set, const wchar_t *name,
                                    const wchar_t *marker) {
  const std::wstring base = Slashes(FromAnsi("Z:" TOVRA_SMALL_DISK "/")) + set + L"\\";
  if (!Exists(base + name) || Exists(base + marker)) return L"";
  return base + name;
}
// The same as the installer's InstallDir holds it: narrow, with its backslash.
inline std::string SmallDiskFolderA(const wchar_t *set, const wchar_t *name,
                                    const wchar_t *marker) {
  const std::wstring folder = SmallDiskFolder(set, name, marker);
  return folder.empty() ? "" : ToAnsi(folder) + "\\";
}
#endif

}  // namespace test_support
