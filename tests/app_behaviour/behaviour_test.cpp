// The setup window's behaviour in-process: the states that posted results and
// clicks lead to, the Install click's handling of the folder, and the Next
// launch of the control program with its switches.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Usetup.h"
#include "app/messages.h"
#include "install/install_state.h"
#include "install/worker.h"
#include "tests/support/import_patch.h"
#include "tests/support/refuse.h"
#include "tests/support/win_test_support.h"
#include "ui/application.h"

using namespace test_support;

namespace {

class BehaviourTest : public ::testing::Test {
 protected:
  // The process-wide values start as at program start, so that what
  // FormCreate makes of them can be checked.
  void SetUp() override {
    SetupFlags = {0, 1, 0};
    InstallDir[0] = '\0';
    ui::App().SetTitle("安装Tovra");
    form = std::make_unique<TSetupForm>();
    ASSERT_TRUE(form->CreateHandle());
    form->DoCreate();
    window = form->Handle();
  }

  bool WindowGone() { return !IsWindow(window); }

  void ExpectReady() {
    EXPECT_EQ("安装", form->btnSetup->Caption());
    EXPECT_TRUE(form->btnSetup->Enabled());
    EXPECT_EQ(0, form->btnSetup->Tag());
    EXPECT_TRUE(form->editSetupFolder->Enabled());
    EXPECT_TRUE(form->cbAutorunStartup->Enabled());
    EXPECT_FALSE(form->labelSetupFinish->Visible());
  }

  // Types folder into the box and presses Install.
  void ClickInstallWith(const std::string &folder) {
    form->editSetupFolder->SetText(folder);
    form->btnSetupClick();
  }

  // Presses Install on folder, which the click must refuse: the "未能安装"
  // box, and the window stays in Ready with nothing installing.
  void ExpectRefused(const std::string &folder) {
    form->editSetupFolder->SetText(folder);
    ExpectClickRefused();
  }
  // The same for a folder typed into the box as a user would, in UTF-16.
  void ExpectRefused(const std::wstring &typed) {
    ASSERT_TRUE(SetWindowTextW(form->editSetupFolder->Handle(), typed.c_str()));
    ExpectClickRefused();
  }
  void ExpectClickRefused() {
    BoxDismisser dismisser(GetCurrentProcessId());
    form->btnSetupClick();
    EXPECT_TRUE(PumpUntil([&] { return dismisser.Count() == 1; }, 5000)) << "no box";
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(1, dismisser.Count());
    EXPECT_EQ(L"未能安装", dismisser.Text());
    EXPECT_EQ(L"安装Tovra", dismisser.Caption());
    ExpectReady();
    EXPECT_STREQ("", InstallDir);
    EXPECT_FALSE(form->InstallFailed());
  }

  // A folder where the worker fails at once: 7Z.DLL is a folder, so it can
  // neither be read nor written.
  std::wstring FailingFolder(const wchar_t *leaf) {
    std::wstring dir = MakeScratchFolder(L"behaviour", leaf);
    CreateDirectoryW((dir + L"\\7Z.DLL").c_str(), nullptr);
    return dir;
  }

  // Presses Install on typed, which the click takes as the folder installDir,
  // and waits for the worker to fail in it (FailingFolder).
  void ExpectInstallInto(const std::string &typed, const std::string &installDir) {
    BoxDismisser dismisser(GetCurrentProcessId());
    ClickInstallWith(typed);
    EXPECT_EQ(installDir, InstallDir);
    ASSERT_TRUE(PumpUntil([&] { return form->InstallFailed(); }, 20000));
  }

  // Runs body with the working folder cwd, then puts ours back.
  static void InFolder(const std::wstring &cwd, const std::function<void()> &body) {
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(cwd.c_str()));
    body();
    SetCurrentDirectoryW(previous);
  }

  std::unique_ptr<TSetupForm> form;
  HWND window = nullptr;
};

// The default folder depends on the drives: DefaultFolderTest.
TEST_F(BehaviourTest, StartsReadyWithDefaultsAndVersion) {
  ExpectReady();
  EXPECT_EQ("Ver 3.0.26.203", form->labelVer->Caption());
  EXPECT_EQ(0, SetupFlags.autoSetup);
  EXPECT_FALSE(form->timerAutoSetup->Enabled());
}

TEST_F(BehaviourTest, PostedSuccessGivesFinishedWithMeasuredCaption) {
  form->Show();  // the enabling repaint draws only on a shown window
  form->btnSetup->SetEnabled(false);
  PostMessageA(window, UM_INSTALL_OK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return form->btnSetup->Tag() == 1; }, 2000));
  EXPECT_EQ("下一步", form->btnSetup->Caption());
  EXPECT_TRUE(form->btnSetup->Enabled());
  // The enabling repaint measured the new caption instead of keeping the
  // layout's 24 pixels for "安装".
  EXPECT_GT(form->btnSetup->TextWidth, 24);
  EXPECT_EQ("安装成功", form->labelSetupFinish->Caption());
  EXPECT_TRUE(form->labelSetupFinish->Visible());
  EXPECT_FALSE(form->InstallFailed());
  EXPECT_FALSE(WindowGone());
}

TEST_F(BehaviourTest, PostedFailureShowsBoxAndStaysFailed) {
  form->btnSetup->SetEnabled(false);
  form->editSetupFolder->SetEnabled(false);
  BoxDismisser dismisser(GetCurrentProcessId());
  PostMessageA(window, UM_INSTALL_FAILED, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return form->InstallFailed() && dismisser.Count() == 1; }, 5000));
  EXPECT_EQ(L"未能安装", dismisser.Text());
  EXPECT_EQ(L"安装Tovra", dismisser.Caption());
  EXPECT_EQ("安装失败", form->labelSetupFinish->Caption());
  EXPECT_TRUE(form->labelSetupFinish->Visible());
  EXPECT_FALSE(form->btnSetup->Enabled());
  EXPECT_FALSE(form->editSetupFolder->Enabled());
  // Interactive: Failed is final, the window stays until the user closes it.
  PumpUntil([] { return false; }, 300);
  EXPECT_FALSE(WindowGone());
}

TEST_F(BehaviourTest, UnattendedFailureClosesAfterTheBox) {
  SetupFlags.autoSetup = 1;
  BoxDismisser dismisser(GetCurrentProcessId());
  PostMessageA(window, UM_INSTALL_FAILED, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return WindowGone(); }, 5000));
  EXPECT_EQ(1, dismisser.Count());
  EXPECT_TRUE(form->InstallFailed());
}

TEST_F(BehaviourTest, ShowWebsiteShowsTheLinkAndIsIdempotent) {
  form->labelWebsite->SetVisible(false);
  SendMessageA(window, UM_SHOW_WEBSITE, 0, 0);
  EXPECT_TRUE(form->labelWebsite->Visible());
  SendMessageA(window, UM_SHOW_WEBSITE, 0, 0);
  EXPECT_TRUE(form->labelWebsite->Visible());
  ExpectReady();
}

TEST_F(BehaviourTest, WebsiteAddressEndsInTheSetupTail) {
  char address[kWebsiteAddressSize];
  BuildWebsiteAddress(address);
  EXPECT_STREQ("http://www.tovra.cn/?from=pcsetup", address);
}

TEST_F(BehaviourTest, InstallClickAppendsBackslashBacksUpAndDisables) {
  std::wstring dir = FailingFolder(L"安装 目录");
  ASSERT_TRUE(WriteFileBytes(dir + L"\\TovraClient.dat", "old data"));
  BoxDismisser dismisser(GetCurrentProcessId());
  form->cbAutorunStartup->SetChecked(true);
  ClickInstallWith(ToAnsi(dir));
  EXPECT_EQ(ToAnsi(dir) + "\\", InstallDir);
  EXPECT_EQ(1, SetupFlags.autorun);
  // Installing: all three inputs are disabled before the worker runs.
  EXPECT_FALSE(form->btnSetup->Enabled());
  EXPECT_FALSE(form->editSetupFolder->Enabled());
  EXPECT_FALSE(form->cbAutorunStartup->Enabled());
  EXPECT_EQ("old data", ReadText(ToAnsi(dir) + "\\TovraClient.dat.bak"));
  ASSERT_TRUE(PumpUntil([&] { return form->InstallFailed(); }, 20000));
  EXPECT_EQ("安装失败", form->labelSetupFinish->Caption());
}

// Installs closed at "安装成功" without "下一步", each by a new window: the
// data the user had before the first stays in the .bak.
TEST_F(BehaviourTest, InstallsClosedAtSuccessKeepTheUserDataInTheBackup) {
  const std::wstring dir = MakeScratchFolder(L"behaviour", L"data");
  ASSERT_TRUE(WriteFileBytes(dir + L"\\TovraClient.dat", "user data"));
  BoxDismisser dismisser(GetCurrentProcessId());
  for (int run = 0; run < 3; ++run) {
    if (run > 0) {
      form.reset();
      SetUp();
    }
    ClickInstallWith(ToAnsi(dir));
    ASSERT_TRUE(PumpUntil([&] { return form->labelSetupFinish->Visible(); }, 60000));
    ASSERT_EQ("安装成功", form->labelSetupFinish->Caption());
  }
  EXPECT_EQ("user data", ReadText(ToAnsi(dir) + "\\TovraClient.dat.bak"));
}

TEST_F(BehaviourTest, FolderWithTrailingBackslashKeepsOne) {
  const std::string dir = ToAnsi(FailingFolder(L"trailing")) + "\\";
  ExpectInstallInto(dir, dir);
}

// 誠 and 運 end in the byte of a backslash (D5 5C, DF 5C): a folder ending in one still
// gets its backslash, so the worker's files land inside it, not beside it.
TEST_F(BehaviourTest, FolderEndingInADoubleByte5CGetsItsBackslash) {
  const std::wstring base = MakeScratchFolder(L"behaviour");
  const std::wstring dir = base + L"\\誠\\運";
  CreateDirectoryW((base + L"\\誠").c_str(), nullptr);
  CreateDirectoryW(dir.c_str(), nullptr);
  CreateDirectoryW((dir + L"\\7Z.DLL").c_str(), nullptr);  // the worker fails at once
  ExpectInstallInto(ToAnsi(dir), ToAnsi(dir) + "\\");
  for (const wchar_t *beside : {L"\\誠\\運7Z.DLL", L"\\誠\\運7ZG.EXE", L"\\誠\\運setup.zip"}) {
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((base + beside).c_str()));
  }
}

TEST_F(BehaviourTest, InstallClickCreatesMissingFolders) {
  std::wstring dir = MakeScratchFolder(L"behaviour") + L"\\a\\b\\c";
  CreateDirectoryW((dir.substr(0, dir.size() - 6)).c_str(), nullptr);
  BoxDismisser dismisser(GetCurrentProcessId());
  ClickInstallWith(ToAnsi(dir));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dir.c_str()));
  EXPECT_FALSE(form->btnSetup->Enabled());
  // Let the worker finish before the process ends.
  ASSERT_TRUE(
      PumpUntil([&] { return form->btnSetup->Tag() == 1 || form->InstallFailed(); }, 90000));
}

TEST_F(BehaviourTest, EmptyFolderGetsTheBoxAndStaysReady) {
  ExpectRefused("");
}

TEST_F(BehaviourTest, UnattendedEmptyFolderFailsAndCloses) {
  SetupFlags.autoSetup = 1;
  BoxDismisser dismisser(GetCurrentProcessId());
  ClickInstallWith("");
  ASSERT_TRUE(PumpUntil([&] { return WindowGone(); }, 5000));
  EXPECT_TRUE(form->InstallFailed());
  EXPECT_EQ(L"未能安装", dismisser.Text());
}

TEST_F(BehaviourTest, FolderThatCannotBeCreatedGetsTheBoxAndStaysReady) {
  // A plain file in the middle of the path.
  std::wstring base = MakeScratchFolder(L"behaviour");
  ASSERT_TRUE(WriteFileBytes(base + L"\\file", "x"));
  ExpectRefused(ToAnsi(base) + "\\file\\sub");
}

// A folder of `length` characters with its closing backslash (not included
// in the text), below a fresh scratch folder; made when create.
std::string FolderOfLength(size_t length, bool create) {
  return ToAnsi(LengthenFolder(MakeScratchFolder(L"behaviour-len"), length, create));
}

// The worker's rule, applied at the click: the folder's longest path
// (folder + "TovraClientService.exe") must fit MAX_PATH, so 237 characters
// with the backslash is the most. One more is refused before anything is
// created: the window used to take up to 289.
TEST_F(BehaviourTest, FolderPastTheLimitIsRefusedBeforeAnythingIsCreated) {
  const std::string tooLong = FolderOfLength(238, false);
  ASSERT_EQ(237u, tooLong.size());
  ExpectRefused(tooLong);
  const std::string top = tooLong.substr(0, tooLong.find("\\ddd"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((top + "\\ddd").c_str()))
      << "a folder was created";
  EXPECT_TRUE(TreeContents(FromAnsi(top)).empty()) << "something was created below " << top;
}

TEST_F(BehaviourTest, FolderAtTheLimitIsAccepted) {
  const std::string atLimit = FolderOfLength(237, true);
  CreateDirectoryA((atLimit + "\\7Z.DLL").c_str(), nullptr);  // the worker fails at once
  BoxDismisser dismisser(GetCurrentProcessId());
  ClickInstallWith(atLimit);
  EXPECT_EQ(atLimit + "\\", InstallDir);
  EXPECT_FALSE(form->btnSetup->Enabled()) << "refused at the click";
  ASSERT_TRUE(PumpUntil([&] { return form->InstallFailed(); }, 20000));
}

// The shell expands environment references in the extractor's path, while
// the files would be written to the literal folder: "%" is refused at once.
TEST_F(BehaviourTest, FolderWithAPercentSignIsRefusedBeforeAnythingIsCreated) {
  const std::wstring base = MakeScratchFolder(L"behaviour");
  ExpectRefused(ToAnsi(base) + "\\%WINDIR%\\Tovra");
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((base + L"\\%WINDIR%").c_str()));
}

// Characters CP936 cannot spell (Hangul, emoji, a CJK Extension B character)
// reach the ANSI program as "?": the click refuses the folder before any part
// of its chain is made. One CP936 can spell installs as usual (the other
// Chinese cases).
TEST_F(BehaviourTest, FolderCp936CannotSpellIsRefusedBeforeAnythingIsCreated) {
  const std::wstring base = MakeScratchFolder(L"behaviour");
  for (const wchar_t *leaf :
       {L"\\新建\\안녕", L"\\新建\\\U00020BB7野家", L"\\新建\\Tovra\U0001F600"}) {
    ExpectRefused(base + leaf);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((base + L"\\新建").c_str()));
  }
}

// A component named as a device (CON, nul.txt, COM1) names the device, not
// a folder: refused before any part of the chain is made.
TEST_F(BehaviourTest, FolderNamedAsADeviceIsRefusedBeforeAnythingIsCreated) {
  const std::wstring base = MakeScratchFolder(L"behaviour");
  for (const char *leaf : {"\\新建\\CON", "\\新建\\nul.txt\\Tovra", "\\新建\\com1"}) {
    ExpectRefused(ToAnsi(base) + leaf);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((base + L"\\新建").c_str())) << leaf;
  }
}

// A relative folder is made absolute against the installer's working folder
// before anything is created, so the extractor, which runs in the folder, is
// given the folder the files went to.
TEST_F(BehaviourTest, RelativeFolderBecomesAbsoluteAgainstTheWorkingFolder) {
  const std::wstring cwd = MakeScratchFolder(L"behaviour-cwd");
  CreateDirectoryW((cwd + L"\\rel").c_str(), nullptr);
  CreateDirectoryW((cwd + L"\\rel\\Tovra").c_str(), nullptr);
  CreateDirectoryW((cwd + L"\\rel\\Tovra\\7Z.DLL").c_str(), nullptr);  // the worker fails at once
  InFolder(cwd, [&] { ExpectInstallInto("rel/Tovra", ToAnsi(cwd) + "\\rel\\Tovra\\"); });
}

// "\Tovra" names a folder at the root of the working folder's drive.
TEST_F(BehaviourTest, RootRelativeFolderIsOnTheWorkingFoldersDrive) {
  const std::wstring cwd = MakeScratchFolder(L"behaviour-cwd");
  const std::string name = "tovra-rootrel-" + std::to_string(GetCurrentProcessId());
  const std::string expected = ToAnsi(cwd).substr(0, 2) + "\\" + name + "\\";
  CreateDirectoryA(expected.c_str(), nullptr);
  CreateDirectoryA((expected + "7Z.DLL").c_str(), nullptr);  // the worker fails at once
  InFolder(cwd, [&] { ExpectInstallInto("\\" + name, expected); });
  RemoveDirectoryA((expected + "7Z.DLL").c_str());
  for (const char *file : {"7Z.DLL", "7ZG.EXE", "setup.zip"})
    DeleteFileA((expected + file).c_str());
  RemoveDirectoryA(expected.c_str());
}

// Unattended, a timer that cannot be set would leave the hidden window
// waiting for ever: it is a failed install instead, the box and exit 1.
TEST(UnattendedStartTest, TimerThatCannotBeSetIsAFailedInstall) {
  SetupFlags = {0, 1, 0};
  ui::App().SetTitle("安装Tovra");
  // Outside start-up the timer's error also reaches the framework's dialog;
  // in the program the form is made during start-up, where it is only
  // recorded. The sink keeps it from showing a second box here.
  std::vector<std::string> errors;
  ui::App().ErrorSink = [&](const std::string &m) { errors.push_back(m); };
  TSetupForm form;
  ASSERT_TRUE(form.CreateHandle());
  HWND window = form.Handle();
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::string commandLine = "\"" + ToAnsi(self) + "\" -auto_setup";
  BoxDismisser dismisser(GetCurrentProcessId());
  {
    RefuseTimers refuse;
    ASSERT_TRUE(refuse.Active());
    form.FormCreateFrom(commandLine.c_str());
  }
  EXPECT_EQ(1, SetupFlags.autoSetup);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000)) << "still waiting";
  ui::App().ErrorSink = nullptr;
  EXPECT_TRUE(form.InstallFailed());
  EXPECT_EQ(1, dismisser.Count());
  EXPECT_EQ(L"未能安装", dismisser.Text());
  EXPECT_EQ((std::vector<std::string>{"Not enough timers available"}), errors);
}

TEST_F(BehaviourTest, UnattendedTooLongFolderFails) {
  SetupFlags.autoSetup = 1;
  BoxDismisser dismisser(GetCurrentProcessId());
  ClickInstallWith("C:\\" + std::string(400, 'z'));
  ASSERT_TRUE(PumpUntil([&] { return WindowGone(); }, 5000));
  EXPECT_TRUE(form->InstallFailed());
}

// The folder box's first text, with the Wine prefix's D: as a test sets it.
std::string DefaultFolderWith(DriveD::Kind kind, bool *set) {
  DriveD drive(kind);
  *set = drive.Ok();
  if (!*set) return "";
  TSetupForm form;
  if (!form.CreateHandle()) return "(no window)";
  form.DoCreate();
  return form.editSetupFolder->Text();
}

TEST(DefaultFolderTest, FixedDriveDGivesDTovra) {
  bool set = false;
  const std::string folder = DefaultFolderWith(DriveD::kFixed, &set);
  if (!set) GTEST_SKIP() << "D: cannot be set here (runs under Wine)";
  EXPECT_EQ("D:\\Tovra", folder);
}

// A PC without a D: drive: "\Tovra" on the system drive (C: in the prefix),
// where the folder can be created; "D:\Tovra" could not.
TEST(DefaultFolderTest, WithoutDriveDTheSystemDriveIsUsed) {
  bool set = false;
  const std::string folder = DefaultFolderWith(DriveD::kNone, &set);
  if (!set) GTEST_SKIP() << "D: cannot be set here (runs under Wine)";
  EXPECT_EQ("C:\\Tovra", folder);
}

// The shell launches the window makes, seen through the program's import
// table and passed on unchanged.
struct ShellCall {
  std::string api;
  ULONG mask = 0;
  std::string verb, file, params, dir;
  int show = -1;
};

class ShellSpy {
 public:
  ShellSpy() {
    calls_ = &calls;
    realEx_ = reinterpret_cast<decltype(realEx_)>(
        PatchImport("shell32.dll", "ShellExecuteExA", reinterpret_cast<void *>(&SpyEx)));
    real_ = reinterpret_cast<decltype(real_)>(
        PatchImport("shell32.dll", "ShellExecuteA", reinterpret_cast<void *>(&Spy)));
  }
  ~ShellSpy() {
    if (realEx_) PatchImport("shell32.dll", "ShellExecuteExA", reinterpret_cast<void *>(realEx_));
    if (real_) PatchImport("shell32.dll", "ShellExecuteA", reinterpret_cast<void *>(real_));
    calls_ = nullptr;
  }
  bool Installed() const { return realEx_ != nullptr; }
  std::vector<ShellCall> calls;

 private:
  static std::string Text(const char *s) { return s ? s : ""; }
  static BOOL WINAPI SpyEx(SHELLEXECUTEINFOA *info) {
    if (calls_) {
      calls_->push_back({"ShellExecuteExA", info->fMask, Text(info->lpVerb), Text(info->lpFile),
                         Text(info->lpParameters), Text(info->lpDirectory), info->nShow});
    }
    return realEx_(info);
  }
  static HINSTANCE WINAPI Spy(HWND hwnd, const char *verb, const char *file, const char *params,
                              const char *dir, int show) {
    if (calls_) {
      calls_->push_back(
          {"ShellExecuteA", 0, Text(verb), Text(file), Text(params), Text(dir), show});
    }
    return real_(hwnd, verb, file, params, dir, show);
  }
  static inline std::vector<ShellCall> *calls_ = nullptr;
  static inline BOOL(WINAPI *realEx_)(SHELLEXECUTEINFOA *) = nullptr;
  static inline HINSTANCE(WINAPI *real_)(HWND, const char *, const char *, const char *,
                                         const char *, int) = nullptr;
};

class LaunchTest : public BehaviourTest {
 protected:
  // A folder holding the sample control program, as InstallDir.
  void PrepareInstalledFolder() {
    dir = MakeScratchFolder(L"launch", L"控制 程序");
    ASSERT_TRUE(
        CopyFileW(Widen(TOVRA_CONTROL_EXE).c_str(), (dir + L"\\TovraControl.exe").c_str(), FALSE));
    std::string ansi = ToAnsi(dir) + "\\";
    ASSERT_LT(ansi.size(), sizeof InstallDir);
    std::strcpy(InstallDir, ansi.c_str());
  }

  // Posts the worker's success and presses "下一步"; returns the one launch.
  LaunchRecord LaunchFromFinished(bool pressNext) {
    PostMessageA(window, UM_INSTALL_OK, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return form->btnSetup->Tag() == 1; }, 2000));
    if (pressNext) form->btnSetupClick();
    EXPECT_TRUE(PumpUntil([&] { return WindowGone(); }, 5000));
    EXPECT_TRUE(PumpUntil([&] { return !ReadLaunchRecords(dir).empty(); }, 10000));
    auto records = ReadLaunchRecords(dir);
    EXPECT_EQ(1u, records.size());
    return records.empty() ? LaunchRecord{} : records[0];
  }

  std::wstring dir;
};

TEST_F(LaunchTest, NextLaunchesControlProgramWithSwitches) {
  PrepareInstalledFolder();
  LaunchRecord r = LaunchFromFinished(true);
  EXPECT_EQ(dir, r.folder);
  EXPECT_TRUE(EndsWith(r.commandLine,
                       L"TovraControl.exe -create_sm_shortcut -wizard -setup "
                       L"-create_dsk_shortcut") ||
              EndsWith(r.commandLine,
                       L"TovraControl.exe\" -create_sm_shortcut -wizard -setup "
                       L"-create_dsk_shortcut"))
      << ToAnsi(r.commandLine);
}

// The launch goes through ShellExecuteExA with SEE_MASK_FLAG_NO_UI, so that a
// failed start cannot show the shell's modal error box; verb, program,
// switches, folder and show state are those of the launch.
TEST_F(LaunchTest, NextLaunchesThroughTheShellWithoutItsErrorBox) {
  PrepareInstalledFolder();
  ShellSpy spy;
  ASSERT_TRUE(spy.Installed());
  const std::string folder = InstallDir;
  LaunchFromFinished(true);
  ASSERT_EQ(1u, spy.calls.size());
  const ShellCall &c = spy.calls[0];
  EXPECT_EQ("ShellExecuteExA", c.api);
  EXPECT_NE(0u, c.mask & SEE_MASK_FLAG_NO_UI);
  EXPECT_EQ("open", c.verb);
  EXPECT_EQ(folder + "TovraControl.exe", c.file);
  EXPECT_EQ("-create_sm_shortcut -wizard -setup -create_dsk_shortcut", c.params);
  EXPECT_EQ(folder, c.dir);
  EXPECT_EQ(SW_SHOW, c.show);
}

// Nothing to start: no box, and the window closes all the same.
TEST_F(LaunchTest, MissingControlProgramClosesWithoutABox) {
  dir = MakeScratchFolder(L"launch", L"没有 程序");
  const std::string ansi = ToAnsi(dir) + "\\";
  std::strcpy(InstallDir, ansi.c_str());
  BoxDismisser dismisser(GetCurrentProcessId());
  PostMessageA(window, UM_INSTALL_OK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return form->btnSetup->Tag() == 1; }, 2000));
  form->btnSetupClick();
  EXPECT_TRUE(PumpUntil([&] { return WindowGone(); }, 5000));
  PumpUntil([] { return false; }, 500);
  EXPECT_EQ(0, dismisser.Count()) << ToAnsi(dismisser.Text());
}

TEST_F(LaunchTest, NextWithAutorunTickedAddsRegAutorun) {
  PrepareInstalledFolder();
  SetupFlags.autorun = 1;
  LaunchRecord r = LaunchFromFinished(true);
  EXPECT_TRUE(EndsWith(r.commandLine, L"-wizard -setup -create_dsk_shortcut -reg_autorun"))
      << ToAnsi(r.commandLine);
}

TEST_F(LaunchTest, UnattendedSuccessLaunchesAtOnceWithAutoSetupLast) {
  PrepareInstalledFolder();
  SetupFlags.autoSetup = 1;
  SetupFlags.autorun = 1;
  LaunchRecord r = LaunchFromFinished(false);
  EXPECT_TRUE(EndsWith(r.commandLine, L" -create_dsk_shortcut -reg_autorun -auto_setup"))
      << ToAnsi(r.commandLine);
  EXPECT_FALSE(form->InstallFailed());
}

}  // namespace
