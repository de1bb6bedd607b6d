// The install worker in this process under faults the worker suite does not
// try, and ten installs in a row over the same folder. Every run must post
// exactly one result; a message-only window counts them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/hardening/hardening_support.h"
#include "tests/support/worker_run.h"

using namespace hardening;
using namespace test_support;

namespace {

std::wstring Describe(const WorkerResult &c) {
  if (c.ok + c.failed == 0) return L"no result within " + std::to_wstring(kBoundMs / 1000) + L" s";
  std::wstring s;
  if (c.ok) s += std::to_wstring(c.ok) + L" UM_INSTALL_OK";
  if (c.failed) s += (s.empty() ? L"" : L" + ") + std::to_wstring(c.failed) + L" UM_INSTALL_FAILED";
  if (c.boxes)
    s += L", " + std::to_wstring(c.boxes) + L" box \"" + OneLine(c.boxText) +
         L"\" answered by the test";
  return s;
}

// Installs into folder: one UM_INSTALL_FAILED, without a box.
WorkerResult InstallFails(const std::string &folder) {
  const WorkerResult c = RunWorker(folder, kBoundMs);
  EXPECT_EQ(0, c.ok);
  EXPECT_EQ(1, c.failed);
  EXPECT_EQ(0, c.boxes);
  return c;
}

void ExpectOneFailure(const wchar_t *id, const wchar_t *what, const std::string &folder) {
  Record(id, what, L"1 UM_INSTALL_FAILED", Describe(InstallFails(folder)));
}

TEST(HardeningWorker, LockedDifferingExtractorFails) {
  const std::wstring folder = MakeScratchFolder(L"hardw-lock7zg");
  HeldFile lock(folder + L"\\7ZG.EXE", "not the carried extractor");
  ASSERT_TRUE(lock.Held());
  ExpectOneFailure(L"W1", L"differing 7ZG.EXE held open without sharing", ToAnsi(folder) + "\\");
  lock.Release();
  EXPECT_FALSE(Exists(folder + L"\\setup.zip")) << "nothing is written after a failed step";
}

// Another program's dialog with the extractor's title, open on the desktop
// (watch_dialog.exe of the watcher suite), logging what reaches its buttons.
class OtherProgramsDialog {
 public:
  OtherProgramsDialog() : log_(MakeScratchFolder(L"hardw-other") + L"\\log.txt") {
    if (process_.Start(Quoted(Built(TOVRA_WATCH_DIALOG_EXE)) + L" " + Quoted(log_) +
                       L" dialog \"解压文件... another program\" 后台(&B) 暂停(&P) 关闭(&C)")) {
      PumpUntil([&] { return (window_ = FindWindowW(nullptr, L"解压文件... another program")); },
                5000);
    }
  }
  bool Shown() const { return window_ != nullptr; }
  // Its buttons all visible and none pressed.
  bool Untouched() const {
    std::string log;
    ReadFileBytes(log_, &log);
    bool visible = true;
    for (HWND b = FindWindowExW(window_, nullptr, L"Button", nullptr); b;
         b = FindWindowExW(window_, b, L"Button", nullptr)) {
      visible = visible && IsWindowVisible(b);
    }
    return visible && log.empty();
  }

 private:
  std::wstring log_;
  Process process_;
  HWND window_ = nullptr;
};

// The extractor cannot overwrite the file and its finished dialog waits with
// "关闭(&C)" (or closes by itself after 60 s). The watcher closes it at once,
// and leaves the other program's dialog, open before the install began, alone.
TEST(HardeningWorker, LockedProductFileFails) {
  const std::wstring folder = MakeScratchFolder(L"hardw-lockdat");
  HeldFile lock(folder + L"\\TovraClient.dat", "locked");
  ASSERT_TRUE(lock.Held());
  OtherProgramsDialog other;
  ASSERT_TRUE(other.Shown());
  const WorkerResult c = InstallFails(ToAnsi(folder) + "\\");
  lock.Release();
  EXPECT_LT(c.ms, 30000u) << "the extractor's dialog closed by itself, not by the watcher";
  const bool untouched = other.Untouched();
  EXPECT_TRUE(untouched) << "the watcher acted on another program's dialog";
  Record(L"W2",
         L"TovraClient.dat held open without sharing; another program's dialog titled "
         L"\"解压文件...\" open",
         L"1 UM_INSTALL_FAILED within 30 s, the other dialog untouched",
         Describe(c) +
             (c.ms < 30000 ? L" within 30 s" : L" after " + std::to_wstring(c.ms / 1000) + L" s") +
             (untouched ? L", the other dialog untouched" : L", the other dialog acted on"));
}

TEST(HardeningWorker, UnwritableFolderFails) {
  const std::string folder = SmallDiskFolderA(L"inproc", L"unwritable", L"no-immutable");
  if (folder.empty()) GTEST_SKIP() << "no immutable folder prepared (needs ctest and root)";
  ExpectOneFailure(L"W3", L"install folder made immutable (chattr +i)", folder);
}

TEST(HardeningWorker, MissingDriveFails) {
  if (GetDriveTypeW(L"Q:\\") != DRIVE_NO_ROOT_DIR) GTEST_SKIP() << "drive Q: exists";
  ExpectOneFailure(L"W4", L"folder on a missing drive (Q:\\Tovra\\)", "Q:\\Tovra\\");
}

// One past the window's limit, with the folder made beforehand: the worker
// holds to the same rule and fails before writing, with no box of the shell's.
TEST(HardeningWorker, FolderPastTheLengthLimitGivesOneResultAndNothingWritten) {
  const size_t length = kMaxInstallDirLength + 1;
  const std::wstring folder = LengthenFolder(MakeScratchFolder(L"hardw-len"), length, true);
  const std::string ansi = ToAnsi(folder) + "\\";
  ASSERT_EQ(length, ansi.size());
  const WorkerResult c = InstallFails(ansi);
  const bool written = !TreeDigest(folder).empty();
  EXPECT_FALSE(written);
  Record(L"W5", L"InstallDir of 238 characters (one past the limit), folder made beforehand",
         L"1 UM_INSTALL_FAILED, nothing written",
         Describe(c) + (written ? L", written" : L", nothing written"));
}

// FILETIME of the last write, as one number.
uint64_t WriteTime(const std::wstring &path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

TEST(HardeningWorker, TenInstallsInARowGiveTheSameFolder) {
  const std::wstring folder = MakeScratchFolder(L"hardw-again");
  const std::string ansi = ToAnsi(folder) + "\\";
  const WorkerResult first = RunWorker(ansi, kBoundMs);
  ASSERT_EQ(1, first.ok);
  const auto listing = TreeDigest(folder);
  const uint64_t dll = WriteTime(folder + L"\\7Z.DLL");
  const uint64_t exe = WriteTime(folder + L"\\7ZG.EXE");
  int same = 0, ok = 0, pairKept = 0;
  for (int run = 0; run < 10; ++run) {
    const WorkerResult c = RunWorker(ansi, kBoundMs);
    ok += c.ok == 1 && c.failed == 0;
    same += TreeDigest(folder) == listing;
    pairKept += WriteTime(folder + L"\\7Z.DLL") == dll && WriteTime(folder + L"\\7ZG.EXE") == exe;
  }
  EXPECT_EQ(10, ok);
  EXPECT_EQ(10, same) << "a rerun changed the folder";
  EXPECT_EQ(10, pairKept) << "7Z.DLL or 7ZG.EXE was rewritten";
  Record(
      L"R1", L"10 installs in a row over a finished install",
      L"10/10 UM_INSTALL_OK, 10/10 same listing (sizes, hashes), 10/10 7Z.DLL+7ZG.EXE times kept",
      std::to_wstring(ok) + L"/10 UM_INSTALL_OK, " + std::to_wstring(same) +
          L"/10 same listing (sizes, hashes), " + std::to_wstring(pairKept) +
          L"/10 7Z.DLL+7ZG.EXE times kept");
}

}  // namespace
