// The install worker in this process under faults the worker suite does not
// try, and ten installs in a row over the same folder. Every run must post
// exactly one result; a message-only window counts them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "install/install_state.h"
#include "install/worker.h"
#include "install/worker_messages.h"
#include "tests/hardening/hardening_support.h"

using namespace hardening;
using namespace test_support;

namespace {

struct Counts {
  int ok = 0;
  int failed = 0;
  int boxes = 0;  // message boxes of this process, pressed OK by the test
  std::wstring boxText;
  ULONGLONG ms = 0;  // from the start to the first result
};

LRESULT CALLBACK CountProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto *counts = reinterpret_cast<Counts *>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (counts && message == UM_INSTALL_OK) ++counts->ok;
  if (counts && message == UM_INSTALL_FAILED) ++counts->failed;
  return DefWindowProcW(window, message, wParam, lParam);
}

// Starts the worker on folder (ANSI, with its backslash) as the window does
// and counts the results it posts until its thread has ended (it posts
// nothing later), within the bound.
Counts Install(const std::string &folder) {
  Counts counts;
  std::snprintf(InstallDir, sizeof InstallDir, "%s", folder.c_str());
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountProc;
  wc.lpszClassName = L"TovraHardeningCounter";
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                nullptr, nullptr);
  EXPECT_NE(nullptr, window);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&counts));
  {
    // A box would stop the worker until somebody answers it; the test
    // answers, so the run stays bounded, and the box is reported.
    BoxDismisser dismisser(GetCurrentProcessId());
    const ULONGLONG start = GetTickCount64();
    HANDLE thread =
        CreateThread(nullptr, kInstallWorkerStackSize, InstallWorker, window, 0, nullptr);
    EXPECT_NE(nullptr, thread);
    PumpUntil([&] { return counts.ok + counts.failed > 0; }, kBoundMs);
    counts.ms = GetTickCount64() - start;
    if (thread) {
      PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, kBoundMs);
      PumpUntil([] { return true; }, 0);  // what it posted just before its end
      CloseHandle(thread);
    }
    counts.boxes = dismisser.Count();
    counts.boxText = dismisser.Text();
  }
  DestroyWindow(window);
  return counts;
}

std::wstring Describe(const Counts &c) {
  if (c.ok + c.failed == 0) return L"no result within " + std::to_wstring(kBoundMs / 1000) + L" s";
  std::wstring s;
  if (c.ok) s += std::to_wstring(c.ok) + L" UM_INSTALL_OK";
  if (c.failed) s += (s.empty() ? L"" : L" + ") + std::to_wstring(c.failed) + L" UM_INSTALL_FAILED";
  if (c.boxes)
    s += L", " + std::to_wstring(c.boxes) + L" box \"" + OneLine(c.boxText) +
         L"\" answered by the test";
  return s;
}

void ExpectOneFailure(const wchar_t *id, const wchar_t *what, const std::string &folder) {
  const Counts c = Install(folder);
  EXPECT_EQ(0, c.ok);
  EXPECT_EQ(1, c.failed);
  EXPECT_EQ(0, c.boxes);
  Record(id, what, L"1 UM_INSTALL_FAILED", Describe(c));
}

std::string FixtureFolder(const char *name, const char *marker) {
  std::string base = "Z:" TOVRA_HARDENING_FIXTURE "/inproc/";
  for (char &c : base) c = c == '/' ? '\\' : c;
  if (!Exists(Widen(base + name)) || Exists(Widen(base + marker))) return "";
  return base + name + "\\";
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
    std::wstring exe = Widen(TOVRA_WATCH_DIALOG_EXE);
    for (wchar_t &ch : exe) ch = ch == L'/' ? L'\\' : ch;
    std::wstring line = L"\"" + exe + L"\" \"" + log_ +
                        L"\" dialog \"解压文件... another program\" 后台(&B) 暂停(&P) 关闭(&C)";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi_)) {
      PumpUntil([&] { return (window_ = FindWindowW(nullptr, L"解压文件... another program")); },
                5000);
    }
  }
  ~OtherProgramsDialog() {
    if (!pi_.hProcess) return;
    TerminateProcess(pi_.hProcess, 0);
    WaitForSingleObject(pi_.hProcess, 5000);
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
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
  PROCESS_INFORMATION pi_ = {};
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
  const Counts c = Install(ToAnsi(folder) + "\\");
  lock.Release();
  EXPECT_EQ(0, c.ok);
  EXPECT_EQ(1, c.failed);
  EXPECT_EQ(0, c.boxes);
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
  const std::string folder = FixtureFolder("unwritable", "no-immutable");
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
  std::wstring folder = MakeScratchFolder(L"hardw-len");
  const size_t length = kMaxInstallDirLength + 1;
  while (folder.size() + 1 < length) {
    const size_t room = length - 1 - folder.size() - 1;
    folder += L"\\" + std::wstring(room == 101 ? 98 : (room > 100 ? 100 : room), L'e');
    CreateDirectoryW(folder.c_str(), nullptr);
  }
  const std::string ansi = ToAnsi(folder) + "\\";
  ASSERT_EQ(length, ansi.size());
  const Counts c = Install(ansi);
  EXPECT_EQ(1, c.failed);
  EXPECT_EQ(0, c.ok);
  EXPECT_EQ(0, c.boxes);
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
  Counts first = Install(ansi);
  ASSERT_EQ(1, first.ok);
  const auto listing = TreeDigest(folder);
  const uint64_t dll = WriteTime(folder + L"\\7Z.DLL");
  const uint64_t exe = WriteTime(folder + L"\\7ZG.EXE");
  int same = 0, ok = 0, pairKept = 0;
  for (int run = 0; run < 10; ++run) {
    const Counts c = Install(ansi);
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
