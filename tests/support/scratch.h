#pragma once
// Scratch folders under the temp folder for the Windows suites. Each is
// removed when the test that made it ends (after its fixture and locals are
// gone, so the processes it ran have let go of their files).
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
    std::lock_guard<std::mutex> lock(Mutex());
    Folders().push_back(folder);
  }

 private:
  void OnTestEnd(const testing::TestInfo &) override {
    std::vector<std::wstring> folders;
    {
      std::lock_guard<std::mutex> lock(Mutex());
      folders.swap(Folders());
    }
    for (const std::wstring &folder : folders) RemoveTree(folder);
  }
  static std::vector<std::wstring> &Folders() {
    static std::vector<std::wstring> folders;
    return folders;
  }
  static std::mutex &Mutex() {
    static std::mutex mutex;
    return mutex;
  }
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
  static std::atomic<int> counter{0};
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string top = std::string(temp) + stem + "-" + std::to_string(GetCurrentProcessId()) +
                          "-" + std::to_string(counter++);
  CreateDirectoryA(top.c_str(), nullptr);
  ScratchRemover::Add(FromAnsi(top));
  const std::string folder = top + "\\" + leaf + "\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace test_support
