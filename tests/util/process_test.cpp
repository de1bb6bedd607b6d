// The process runner against exit_with.exe, a helper built beside this test.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/win_test_support.h"
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

using RunProgramTest = test_support::ScratchTest;

TEST_F(RunProgramTest, GivesTheProgramsExitCode) {
  EXPECT_EQ(0, RunProgram(Helper().c_str(), "0", dir_.c_str(), false));
  EXPECT_EQ(2, RunProgram(Helper().c_str(), "2", dir_.c_str(), false));
  EXPECT_EQ(123456, RunProgram(Helper().c_str(), "123456", dir_.c_str(), false));
  // Indistinguishable from an unreadable exit code.
  EXPECT_EQ(-1, RunProgram(Helper().c_str(), "0xFFFFFFFF", dir_.c_str(), false));
}

// RunProgramToEnd tells apart what RunProgram's one number cannot: a start
// that failed, and an exit code that reads like a failure.
TEST_F(RunProgramTest, ToEndReportsStartAndExitCodeApart) {
  ProgramRun run = RunProgramToEnd(Helper().c_str(), "0xFFFFFFFF", dir_.c_str(), false);
  EXPECT_TRUE(run.started);
  EXPECT_TRUE(run.exitCodeRead);
  EXPECT_EQ(0xFFFFFFFFu, run.exitCode);

  run = RunProgramToEnd(At("missing.exe").c_str(), "", dir_.c_str(), false);
  EXPECT_FALSE(run.started);
  EXPECT_NE(0u, run.error);
  EXPECT_FALSE(run.exitCodeRead);
}

TEST_F(RunProgramTest, ToEndHandsTheStartedProcessOverBeforeTheWait) {
  DWORD seen = 0;
  auto onStarted = [](HANDLE process, void *context) {
    *static_cast<DWORD *>(context) = GetProcessId(process);
  };
  const ProgramRun run =
      RunProgramToEnd(Helper().c_str(), "3", dir_.c_str(), false, onStarted, &seen);
  EXPECT_NE(0u, seen);
  EXPECT_EQ(3u, run.exitCode);
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

// The shell's error box for a failed launch is modal and blocks the launching
// thread until someone answers it; the runner asks for none. The dismisser
// counts (and answers) any box of this process, so a regression fails
// instead of hanging.
// Wine would show "File not found." (找不到文件。) and then report 0; the
// result is the launch's own error code, at once.
TEST_F(RunProgramTest, AMissingProgramGivesTheLaunchErrorWithoutABox) {
  int result = 0;
  ULONGLONG ms = 0;
  int boxes = 0;
  std::wstring text;
  {
    test_support::BoxDismisser answerer(GetCurrentProcessId());
    const ULONGLONG start = GetTickCount64();
    result = RunProgram(At("missing.exe").c_str(), "", dir_.c_str(), false);
    ms = GetTickCount64() - start;
    EXPECT_EQ(nullptr, LaunchProgram(At("missing.exe").c_str(), "", dir_.c_str(), false));
    Sleep(300);
    boxes = answerer.Count();
    text = answerer.Text();
  }
  EXPECT_EQ(0, boxes) << test_support::ToAnsi(text);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, result);
  EXPECT_LT(ms, 5000u);
}

// A folder reference that expands to a folder which does not exist: the shell
// cannot find the program and says so by the result alone.
TEST_F(RunProgramTest, AnExpandedPathThatDoesNotExistGivesTheErrorWithoutABox) {
  ASSERT_TRUE(SetEnvironmentVariableA("TOVRA_TEST_NOWHERE", At("nowhere").c_str()));
  int result = 0;
  int boxes = 0;
  {
    test_support::BoxDismisser answerer(GetCurrentProcessId());
    result = RunProgram("%TOVRA_TEST_NOWHERE%\\exit_with.exe", "0", "%TOVRA_TEST_NOWHERE%", false);
    Sleep(300);
    boxes = answerer.Count();
  }
  EXPECT_EQ(0, boxes);
  EXPECT_NE(0, result);
}
