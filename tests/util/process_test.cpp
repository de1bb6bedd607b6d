// The process runner against exit_with.exe, a helper built beside this test.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "scratch.h"
#include "util/process_win.h"

static std::string HelperFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, MAX_PATH);
  *std::strrchr(path, '\\') = '\0';
  return path;
}

static std::string Helper() {
  return HelperFolder() + "\\exit_with.exe";
}

struct Record {
  int usesShowWindow = -1;
  int showWindow = -1;
  std::string cwd;
};

static Record ReadRecord(const std::string &path) {
  Record record;
  std::ifstream in(path);
  in >> record.usesShowWindow >> record.showWindow;
  in.ignore(1);
  std::getline(in, record.cwd);
  return record;
}

using RunProgramTest = ScratchTest;

TEST_F(RunProgramTest, GivesTheProgramsExitCode) {
  EXPECT_EQ(0, RunProgram(Helper().c_str(), "0", dir_.c_str(), false));
  EXPECT_EQ(2, RunProgram(Helper().c_str(), "2", dir_.c_str(), false));
  EXPECT_EQ(123456, RunProgram(Helper().c_str(), "123456", dir_.c_str(), false));
  // Indistinguishable from an unreadable exit code.
  EXPECT_EQ(-1, RunProgram(Helper().c_str(), "0xFFFFFFFF", dir_.c_str(), false));
}

TEST_F(RunProgramTest, HiddenOrShownAsAsked) {
  std::string record = At("record.txt");
  ASSERT_EQ(0, RunProgram(Helper().c_str(), ("0 " + record).c_str(), dir_.c_str(), false));
  Record hidden = ReadRecord(record);
  EXPECT_EQ(1, hidden.usesShowWindow);
  EXPECT_EQ(SW_HIDE, hidden.showWindow);
  EXPECT_EQ(dir_, hidden.cwd);

  ASSERT_EQ(0, RunProgram(Helper().c_str(), ("0 " + record).c_str(), dir_.c_str(), true));
  Record shown = ReadRecord(record);
  EXPECT_EQ(1, shown.usesShowWindow);
  EXPECT_EQ(SW_SHOW, shown.showWindow);
}

TEST_F(RunProgramTest, ExpandsEnvironmentReferencesInPathAndFolder) {
  ASSERT_TRUE(SetEnvironmentVariableA("TOVRA_TEST_BIN", HelperFolder().c_str()));
  ASSERT_TRUE(SetEnvironmentVariableA("TOVRA_TEST_WORK", dir_.c_str()));
  std::string record = At("record.txt");
  EXPECT_EQ(7, RunProgram("%TOVRA_TEST_BIN%\\exit_with.exe", ("7 " + record).c_str(),
                          "%TOVRA_TEST_WORK%", false));
  EXPECT_EQ(dir_, ReadRecord(record).cwd);
}

TEST_F(RunProgramTest, LaunchProgramHandsOverTheProcess) {
  HANDLE process = LaunchProgram(Helper().c_str(), "5", dir_.c_str(), false);
  ASSERT_NE(nullptr, process);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 10000));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(5u, code);
  CloseHandle(process);
}

// The shell's error box for a failed launch (no SEE_MASK_FLAG_NO_UI) is modal
// and blocks the launching thread until someone answers it.
struct BoxFound {
  HWND box = NULL;
  std::string text;
};

static BOOL CALLBACK FindOurBox(HWND window, LPARAM param) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char cls[64] = {};
  RealGetWindowClassA(window, cls, sizeof(cls));
  if (pid != GetCurrentProcessId() || std::strcmp(cls, "#32770") != 0) return TRUE;
  reinterpret_cast<BoxFound *>(param)->box = window;
  return FALSE;
}

// The box's message, from its static controls.
static BOOL CALLBACK CollectText(HWND child, LPARAM param) {
  char cls[64] = {}, text[256] = {};
  GetClassNameA(child, cls, sizeof(cls));
  if (_stricmp(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof(text)) > 0) {
    reinterpret_cast<BoxFound *>(param)->text += text;
  }
  return TRUE;
}

static bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

TEST_F(RunProgramTest, AMissingProgramGivesTheLaunchError) {
  std::atomic<bool> stop{false};
  BoxFound found;
  std::thread answerer([&] {
    // Waits up to 10 s for the box to be made with its text, then answers it.
    for (int i = 0; i < 1000 && !stop; ++i, Sleep(10)) {
      BoxFound now;
      EnumWindows(FindOurBox, reinterpret_cast<LPARAM>(&now));
      if (!now.box) continue;
      EnumChildWindows(now.box, CollectText, reinterpret_cast<LPARAM>(&now));
      found = now;
      if (now.text.empty() && i < 999) continue;  // still being made
      PostMessageA(now.box, WM_COMMAND, IDOK, 0);
      return;
    }
  });
  int result = RunProgram(At("missing.exe").c_str(), "", dir_.c_str(), false);
  stop = true;
  answerer.join();
  if (RunningUnderWine()) {
    // Wine's box ("File not found.", in the prefix's language: 找不到文件。)
    // overwrites the last error before the launch reports failure.
    EXPECT_NE(nullptr, found.box);
    EXPECT_TRUE(found.text.find("File not found.") != std::string::npos ||
                found.text.find("找不到文件。") != std::string::npos)
        << found.text;
    EXPECT_EQ(0, result);
  } else {
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, result);
  }
}
