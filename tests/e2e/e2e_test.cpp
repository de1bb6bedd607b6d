// The installer as a user runs it: real TovraSetup.exe processes under Wine,
// unattended and driven by clicks, with the carried extractor pair and the
// sample product's control program recording how it was started.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/run_program.h"

using namespace test_support;

namespace {

const std::wstring kSetup = Widen(TOVRA_SETUP_EXE);
constexpr DWORD kBoundMs = 150000;

// The setup program with args, its boxes answered; onTick runs every 50 ms.
RunResult RunSetup(const std::wstring &args, DWORD boundMs = kBoundMs,
                   const std::function<void(DWORD pid)> &onTick = nullptr,
                   const wchar_t *cwd = nullptr, DWORD flags = 0) {
  RunOptions options;
  options.cwd = cwd;
  options.flags = flags;
  options.onTick = onTick;
  return RunProgram(Quoted(kSetup) + L" " + args, boundMs, options);
}

// The launch record of one control program started in dir with the switches
// that end in tail.
void ExpectLaunchedOnceIn(const std::wstring &dir, const std::wstring &tail) {
  ASSERT_TRUE(PumpUntil([&] { return !ReadLaunchRecords(dir).empty(); }, 10000));
  auto records = ReadLaunchRecords(dir);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(dir, records[0].folder);
  EXPECT_TRUE(EndsWith(records[0].commandLine,
                       L" -create_sm_shortcut -wizard -setup -create_dsk_shortcut " + tail))
      << ToAnsi(records[0].commandLine);
}

TEST(EndToEnd, UnattendedInstallIntoChineseFolderWithBlankLaunchesControl) {
  const std::wstring dir = MakeScratchFolder(L"e2e", L"安装 目录");
  RunResult o = RunSetup(L"-auto_setup -target_dir " + Quoted(dir));
  ASSERT_TRUE(o.exited);
  EXPECT_EQ(0u, o.exitCode);
  EXPECT_FALSE(o.windowShown);
  for (const std::wstring &name : InstalledFiles()) {
    EXPECT_TRUE(Exists(dir + L"\\" + name)) << ToAnsi(name);
  }
  // The installer does not wait for the program it starts.
  ExpectLaunchedOnceIn(dir, L"-auto_setup");
}

// Unattended; exit 1 after exactly one "未能安装" box is the failed install.
RunResult RunUnattendedWith(const std::wstring &args, const wchar_t *cwd = nullptr) {
  return RunSetup(L"-auto_setup " + args, kBoundMs, nullptr, cwd);
}

// A scratch folder shared as \\tovra-e2e-<pid>\share while this lives.
struct ScratchShare {
  std::wstring folder = MakeScratchFolder(L"e2e-share");
  std::string server = "tovra-e2e-" + std::to_string(GetCurrentProcessId());
  UncShare share{server, "share", folder};
  // \\<server> followed by rest.
  std::wstring Unc(const wchar_t *rest) const { return L"\\\\" + Widen(server) + rest; }
};

// A failed install: exit 1 after exactly one box.
void ExpectFailedWithOneBox(const RunResult &o) {
  ASSERT_TRUE(o.exited);
  EXPECT_EQ(1u, o.exitCode);
  EXPECT_EQ(1, o.boxes);
}

// Checks one unattended install that succeeded into folder: exit 0, the
// product there, the control program started there.
void ExpectInstalledInto(const RunResult &o, const std::wstring &folder) {
  ASSERT_TRUE(o.exited);
  EXPECT_EQ(0u, o.exitCode);
  EXPECT_TRUE(Exists(folder + L"\\" + FromAnsi(kServiceProgram))) << ToAnsi(folder);
  EXPECT_TRUE(PumpUntil([&] { return !ReadLaunchRecords(folder).empty(); }, 10000))
      << "the control program was not started in " << ToAnsi(folder);
}

// A relative target_dir is the folder below the installer's working folder,
// for the files the installer writes and for what the extractor unpacks.
TEST(EndToEnd, UnattendedRelativeFolderInstallsBelowTheWorkingFolder) {
  const std::wstring cwd = MakeScratchFolder(L"e2e-cwd");
  RunResult o = RunUnattendedWith(L"-target_dir \"rel\\安装 目录\"", cwd.c_str());
  EXPECT_EQ(0, o.boxes);
  ExpectInstalledInto(o, cwd + L"\\rel\\安装 目录");
  EXPECT_TRUE(Exists(cwd + L"\\rel\\安装 目录\\7ZG.EXE"));
}

// \\server\share\folder: the folder chain starts below the share, and the
// extractor unpacks there.
TEST(EndToEnd, UnattendedUncFolderInstallsOnTheShare) {
  ScratchShare shared;
  if (!shared.share.Ok()) GTEST_SKIP() << "no UNC share could be set up (runs under Wine)";
  RunResult o = RunUnattendedWith(L"-target_dir " + Quoted(shared.Unc(L"\\share\\安装 目录")));
  EXPECT_EQ(0, o.boxes);
  ExpectInstalledInto(o, shared.folder + L"\\安装 目录");
}

// A share that is not there: refused at the click, before anything is
// written; nothing is made in the share's place.
TEST(EndToEnd, UnattendedFolderOnAMissingShareFailsBeforeWriting) {
  ScratchShare shared;
  if (!shared.share.Ok()) GTEST_SKIP() << "no UNC share could be set up (runs under Wine)";
  const std::wstring missing = shared.Unc(L"\\missing");
  ExpectFailedWithOneBox(RunUnattendedWith(L"-target_dir " + Quoted(missing + L"\\Tovra")));
  EXPECT_FALSE(Exists(missing));
}

// Without a D: drive the default is C:\Tovra, and an unattended run without
// target_dir installs there.
TEST(EndToEnd, UnattendedDefaultWithoutDriveDInstallsIntoSystemDriveTovra) {
  DriveD drive(DriveD::kNone);
  if (!drive.Ok()) GTEST_SKIP() << "D: cannot be set here (runs under Wine)";
  std::error_code ignored;
  std::filesystem::remove_all(L"C:\\Tovra", ignored);
  RunResult o = RunUnattendedWith(L"");
  EXPECT_EQ(0, o.boxes);
  ExpectInstalledInto(o, L"C:\\Tovra");
  std::filesystem::remove_all(L"C:\\Tovra", ignored);
}

TEST(EndToEnd, WrongServiceVersionShowsBoxAndExitsWithOne) {
  const std::wstring dir = MakeScratchFolder(L"e2e", L"错误 版本");
  RunResult o = RunUnattended(Widen(TOVRA_BADVERSION_EXE), dir, kBoundMs);
  ExpectFailedWithOneBox(o);
  EXPECT_FALSE(o.windowShown);
  EXPECT_EQ(L"未能安装", o.boxText);
  EXPECT_EQ(L"安装Tovra", o.boxCaption);
  EXPECT_TRUE(Exists(dir + L"\\" + FromAnsi(kServiceProgram)));  // unpacked, but refused
  EXPECT_TRUE(ReadLaunchRecords(dir).empty());
}

TEST(EndToEnd, UnattendedUnusableFolderFailsInsteadOfWaiting) {
  ExpectFailedWithOneBox(RunUnattended(kSetup, L"C:\\" + std::wstring(300, L'z'), 60000));
}

// The error mode of one thread of another process, from the thread's TEB
// (HardErrorMode, at 0xF28 in a 32-bit one and 0x16B0 in a 64-bit one), where
// SetThreadErrorMode keeps it in the system's own bits: 0x10 for
// SEM_FAILCRITICALERRORS. 0xFFFFFFFF when it cannot be read.
constexpr DWORD kTebFailCriticalErrors = 0x10;
DWORD ThreadErrorModeOf(DWORD pid, DWORD tid) {
  using Query = LONG(NTAPI *)(HANDLE, int, void *, ULONG, ULONG *);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void *>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
  struct {  // THREAD_BASIC_INFORMATION, class 0
    LONG exitStatus;
    char *teb;
    HANDLE clientId[2];
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
  } info = {};
  constexpr size_t kHardErrorMode = sizeof(void *) == 4 ? 0xF28 : 0x16B0;
  DWORD mode = 0xFFFFFFFF;
  HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, tid);
  HANDLE process = OpenProcess(PROCESS_VM_READ, FALSE, pid);
  if (query && thread && process && query(thread, 0, &info, sizeof info, nullptr) == 0) {
    ULONG value = 0;
    SIZE_T got = 0;
    if (ReadProcessMemory(process, info.teb + kHardErrorMode, &value, sizeof value, &got) &&
        got == sizeof value) {
      mode = value;
    }
  }
  if (thread) CloseHandle(thread);
  if (process) CloseHandle(process);
  return mode;
}

// The programs the installer starts (the extractor, the control program)
// begin with its process's error mode, so the installer leaves that alone
// (PeCheck: it does not import SetErrorMode; reading another process's mode
// from outside needs a thread started in it, which Wine lets hang) and keeps
// the system's "no disk" box off its own threads instead: its window's thread
// here, the install worker's in tests/worker.
TEST(EndToEnd, InstallerSetsTheErrorModeOfItsWindowThread) {
  DWORD windowThreadMode = 0xFFFFFFFF;
  RunResult o = RunSetup(
      L"-target_dir \"C:\\Tovra\"", 30000,
      [&](DWORD pid) {
        HWND form = SetupWindowOf(pid);
        if (!form || !IsWindowVisible(form) || windowThreadMode != 0xFFFFFFFF) return;
        windowThreadMode = ThreadErrorModeOf(pid, GetWindowThreadProcessId(form, nullptr));
        PostMessageW(form, WM_CLOSE, 0, 0);
      },
      nullptr, CREATE_DEFAULT_ERROR_MODE);
  ASSERT_TRUE(o.exited);
  ASSERT_NE(0xFFFFFFFFu, windowThreadMode) << "its window thread's mode could not be read";
  EXPECT_NE(0u, windowThreadMode & kTebFailCriticalErrors) << "thread mode " << windowThreadMode;
}

// The first window of that class below parent, depth first as
// EnumChildWindows goes.
HWND ChildOfClass(HWND parent, const wchar_t *cls) {
  for (HWND c = FindWindowExW(parent, nullptr, nullptr, nullptr); c;
       c = FindWindowExW(parent, c, nullptr, nullptr)) {
    wchar_t name[32] = {};
    GetClassNameW(c, name, 32);
    if (lstrcmpiW(name, cls) == 0) return c;
    if (HWND inside = ChildOfClass(c, cls)) return inside;
  }
  return nullptr;
}

// The status panel is the panel whose top edge lies 333 pixels into the form.
HWND StatusPanel(HWND form) {
  RECT fr;
  GetWindowRect(form, &fr);
  for (HWND p = FindWindowExW(form, nullptr, L"TovraPanel", nullptr); p;
       p = FindWindowExW(form, p, L"TovraPanel", nullptr)) {
    RECT r;
    GetWindowRect(p, &r);
    if (r.top - fr.top == 333) return p;
  }
  return nullptr;
}

// What the folder box shows in a window started with arg. The text is read
// only from a visible window, so a text proves the window was shown; the run's
// own windowShown can miss a window that turned visible and was closed
// between two of its looks.
std::wstring FolderBoxText(const std::wstring &arg) {
  std::wstring text;
  bool read = false;
  RunResult o = RunSetup(arg, 30000, [&](DWORD pid) {
    HWND form = SetupWindowOf(pid);
    if (!form || !IsWindowVisible(form) || read) return;
    HWND edit = ChildOfClass(form, L"Edit");
    wchar_t buf[600] = {};
    // GetWindowText does not read another process's controls; WM_GETTEXT does.
    if (edit) SendMessageW(edit, WM_GETTEXT, 600, reinterpret_cast<LPARAM>(buf));
    text = buf;
    read = true;
    PostMessageW(form, WM_CLOSE, 0, 0);
  });
  EXPECT_TRUE(o.exited);
  EXPECT_EQ(0u, o.exitCode);
  EXPECT_TRUE(read) << "the window was never shown";
  return text;
}

// The window shows the default that an unattended run would use.
TEST(EndToEnd, DefaultFolderFollowsTheDriveD) {
  {
    DriveD drive(DriveD::kFixed);
    if (!drive.Ok()) GTEST_SKIP() << "D: cannot be set here (runs under Wine)";
    EXPECT_EQ(L"D:\\Tovra", FolderBoxText(L""));
  }
  DriveD drive(DriveD::kNone);
  ASSERT_TRUE(drive.Ok());
  EXPECT_EQ(L"C:\\Tovra", FolderBoxText(L""));
}

TEST(EndToEnd, EmptyTargetDirKeepsDefaultAndGivenOneIsShown) {
  DriveD drive(DriveD::kFixed);
  if (!drive.Ok()) GTEST_SKIP() << "D: cannot be set here (runs under Wine)";
  for (const std::wstring &arg :
       {std::wstring(L"-target_dir \"\""), std::wstring(L"-target_dir \"C:\\某个 目录\"")}) {
    EXPECT_EQ(arg.size() < 20 ? L"D:\\Tovra" : L"C:\\某个 目录", FolderBoxText(arg));
  }
}

// As a person would: tick the check box, press "安装", and once the button
// reads "下一步" press it again. The button is windowless: the clicks go to
// its panel at the button's place; a press on the disabled button is ignored,
// so pressing every half second until the installer ends is safe.
TEST(EndToEnd, InteractiveRunDrivenByClicksLaunchesWithRegAutorun) {
  const std::wstring dir = MakeScratchFolder(L"e2e", L"交互 安装");
  bool ticked = false;
  ULONGLONG lastClick = 0;
  RunResult o = RunSetup(L"-target_dir " + Quoted(dir), kBoundMs, [&](DWORD pid) {
    HWND form = SetupWindowOf(pid);
    if (!form || !IsWindowVisible(form)) return;
    if (!ticked) {
      HWND box = ChildOfClass(form, L"Button");
      if (!box) return;
      SendMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
      SendMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
      ticked = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
      return;
    }
    if (GetTickCount64() - lastClick < 500) return;
    lastClick = GetTickCount64();
    HWND panel = StatusPanel(form);
    const LPARAM at = MAKELPARAM(295 + 31, 10 + 13);
    SendMessageW(panel, WM_MOUSEMOVE, 0, at);
    SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(panel, WM_LBUTTONUP, 0, at);
  });
  ASSERT_TRUE(o.exited);
  EXPECT_EQ(0u, o.exitCode);
  EXPECT_TRUE(ticked);
  ExpectLaunchedOnceIn(dir, L"-reg_autorun");
}

}  // namespace
