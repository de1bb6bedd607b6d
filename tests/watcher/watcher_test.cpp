// The dialog watcher and the extraction step, driven against watch_dialog.exe
// (a dialog in another process that logs what reaches its buttons) and
// standin_extractor.exe (copied as 7ZG.EXE; exits with a chosen code, and
// shows a finished dialog of its own when asked). The watcher walks every
// top-level window, so this suite runs serially.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "install/extract.h"
#include "install/extract_command.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch.h"

namespace {

using test_support::ProgramFolder;
using test_support::PumpUntil;
using test_support::ReadText;
using test_support::WriteText;

// A fresh folder under the temp folder, ending in a backslash.
std::string NewFolder(const std::string &name) {
  return test_support::MakeScratchFolderA("tovra-watch", name);
}

// One window of watch_dialog.exe, ended when this goes out of scope.
class TestDialog {
 public:
  TestDialog(const char *kind, const std::string &title, const std::vector<std::string> &buttons)
      : title_(title), log_(NewFolder("dialog") + "log.txt") {
    std::string command = "\"" + ProgramFolder() + "watch_dialog.exe\" \"" + log_ + "\" " + kind +
                          " \"" + title + "\"";
    for (const auto &b : buttons) command += " \"" + b + "\"";
    if (process_.Start(test_support::FromAnsi(command))) {
      PumpUntil([this] { return (window_ = FindWindowA(nullptr, title_.c_str())) != nullptr; },
                5000);
    }
  }
  HWND window() const { return window_; }
  DWORD pid() const { return process_.pid; }
  HWND button(int number) const { return GetDlgItem(window_, 100 + number); }
  // The numbers of its visible buttons, "123" when all three show.
  std::string shown() const {
    std::string numbers;
    for (int number = 1; number <= 3; ++number) {
      if (IsWindowVisible(button(number))) numbers += std::to_string(number);
    }
    return numbers;
  }
  std::string log() const { return ReadText(log_); }
  const std::string &logPath() const { return log_; }

 private:
  std::string title_;
  std::string log_;
  test_support::Process process_;
  HWND window_ = nullptr;
};

// A watcher thread looking for the extractor's title in the windows of the
// process pid, as RunExtractorProgram runs it; Stop ends it as
// RunExtractorProgram does.
class Watcher {
 public:
  explicit Watcher(DWORD pid) : args_{kExtractDialogTitle, pid, nullptr} {
    thread_ = StartDialogWatcher(&args_);
    // A handle of our own: StopDialogWatcher closes the one it gave.
    if (thread_) {
      DuplicateHandle(GetCurrentProcess(), thread_, GetCurrentProcess(), &ended_, SYNCHRONIZE,
                      FALSE, 0);
    }
  }
  ~Watcher() {
    Stop();
    if (ended_) CloseHandle(ended_);
  }
  bool running() const { return thread_ != nullptr; }
  void Stop() {
    StopDialogWatcher(thread_, &args_);
    thread_ = nullptr;
  }
  // True once the watcher's thread has ended.
  bool ended() const { return ended_ && WaitForSingleObject(ended_, 0) == WAIT_OBJECT_0; }

 private:
  DialogWatcherArgs args_;
  HANDLE thread_ = nullptr;
  HANDLE ended_ = nullptr;
};

std::string Tag(const char *what) {
  return std::string(what) + "-" + std::to_string(GetCurrentProcessId());
}

TEST(FindDialogByTitle, MatchesOnlyDialogClassesContainingTheWholeText) {
  TestDialog plain("plain", "解压文件... " + Tag("plain"), {"a", "b", "c"});
  ASSERT_NE(nullptr, plain.window());
  EXPECT_EQ(nullptr, FindDialogByTitle(kExtractDialogTitle, plain.pid()))
      << "a non-'#' class matched";

  TestDialog noStops("dialog", "解压文件 " + Tag("nostops"), {"a", "b", "c"});
  ASSERT_NE(nullptr, noStops.window());
  EXPECT_EQ(nullptr, FindDialogByTitle(kExtractDialogTitle, noStops.pid()));

  TestDialog framed("dialog", "42% 解压文件... " + Tag("framed"), {"a", "b", "c"});
  ASSERT_NE(nullptr, framed.window());
  EXPECT_EQ(framed.window(), FindDialogByTitle(kExtractDialogTitle, framed.pid()));
}

// Two programs show a matching dialog; each search finds only the one of the
// process it is asked about, whatever their Z order.
TEST(FindDialogByTitle, FindsOnlyTheGivenProcesssDialog) {
  TestDialog first("dialog", "解压文件... " + Tag("first"), {"a", "b", "c"});
  TestDialog second("dialog", "解压文件... " + Tag("second"), {"a", "b", "c"});
  ASSERT_NE(nullptr, first.window());
  ASSERT_NE(nullptr, second.window());
  EXPECT_EQ(first.window(), FindDialogByTitle(kExtractDialogTitle, first.pid()));
  EXPECT_EQ(second.window(), FindDialogByTitle(kExtractDialogTitle, second.pid()));
  EXPECT_EQ(nullptr, FindDialogByTitle(kExtractDialogTitle, GetCurrentProcessId()));
}

TEST(DialogWatcher, DialogWithTwoButtonsIsNotGuarded) {
  TestDialog dialog("dialog", "解压文件... " + Tag("two"), {"后台(&B)", "暂停(&P)"});
  ASSERT_NE(nullptr, dialog.window());
  Watcher watcher(dialog.pid());
  ASSERT_TRUE(watcher.running());
  Sleep(400);
  EXPECT_EQ("12", dialog.shown());
}

TEST(DialogWatcher, HidesButtonsThenClicksTheCloseButton) {
  TestDialog dialog("dialog", "解压文件... " + Tag("guard"), {"后台(&B)", "暂停(&P)", "取消"});
  ASSERT_NE(nullptr, dialog.window());
  Watcher watcher(dialog.pid());
  const DWORD start = GetTickCount();
  ASSERT_TRUE(PumpUntil([&] { return dialog.shown().empty(); }, 2000));
  const DWORD hidden = GetTickCount() - start;
  std::printf("all three buttons hidden after %lu ms\n", static_cast<unsigned long>(hidden));
  // About 100 ms (one guard period) when the machine is idle; the bound is
  // loose because test machines are shared.
  EXPECT_LT(hidden, 1000u);
  EXPECT_EQ("", dialog.log());

  // The finished dialog: its third button now reads "关闭(&C)".
  SetWindowTextA(dialog.button(3), "关闭(&C)");
  const DWORD finished = GetTickCount();
  ASSERT_TRUE(PumpUntil([&] { return dialog.log().find("click 3") != std::string::npos; }, 2000));
  const DWORD clicked = GetTickCount() - finished;
  std::printf("close button clicked %lu ms after it appeared\n",
              static_cast<unsigned long>(clicked));
  EXPECT_LT(clicked, 1000u);
  EXPECT_EQ("down 3\nup 3\nclick 3\n", dialog.log());
}

TEST(DialogWatcher, ButtonsAfterTheCloseButtonAreLeftAlone) {
  TestDialog dialog("dialog", "解压文件... " + Tag("second"), {"后台(&B)", "关闭(&C)", "取消"});
  ASSERT_NE(nullptr, dialog.window());
  Watcher watcher(dialog.pid());
  ASSERT_TRUE(PumpUntil([&] { return dialog.log().find("click 2") != std::string::npos; }, 2000));
  Sleep(200);
  EXPECT_EQ("23", dialog.shown());
  EXPECT_EQ("down 2\nup 2\nclick 2\n", dialog.log());
}

// A dialog of another program with the extractor's title is not the
// watcher's: its buttons stay, and nothing is pressed.
TEST(DialogWatcher, LeavesAnotherProcesssDialogAlone) {
  TestDialog other("dialog", "解压文件... " + Tag("other"), {"后台(&B)", "暂停(&P)", "关闭(&C)"});
  ASSERT_NE(nullptr, other.window());
  Watcher watcher(GetCurrentProcessId());
  Sleep(500);
  EXPECT_EQ("123", other.shown());
  EXPECT_EQ("", other.log());
}

// Once stopped, the watcher sends nothing more: a press cut short by the stop
// is never completed. On a busy machine the press may complete before the
// stop arrives; the rule that matters, nothing after the stop, holds either way.
TEST(DialogWatcher, NothingReachesTheDialogAfterTheStop) {
  int halfway = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    TestDialog dialog("dialog", "解压文件... " + Tag("stop") + std::to_string(attempt),
                      {"后台(&B)", "暂停(&P)", "关闭(&C)"});
    ASSERT_NE(nullptr, dialog.window());
    Watcher watcher(dialog.pid());
    ASSERT_TRUE(PumpUntil([&] { return dialog.log().find("down 3") != std::string::npos; }, 5000));
    watcher.Stop();
    const std::string atStop = dialog.log();
    // The watcher only sends, and each message is handled before the send
    // returns: once its thread has ended, nothing of it can reach the dialog.
    ASSERT_TRUE(watcher.ended()) << "the watcher still runs after the stop";
    EXPECT_EQ(atStop, dialog.log()) << "a message reached the dialog after the stop";
    if (atStop == "down 3\n") {
      ++halfway;
    } else {
      EXPECT_EQ("down 3\nup 3\nclick 3\n", atStop);
    }
  }
  std::printf("%d of 3 stops came half-way through a click\n", halfway);
}

// A folder holding the stand-in as 7ZG.EXE, set to exit with code after pause
// ms; with a dialog title it shows its finished dialog instead and waits.
std::string StandInFolder(const std::string &name, int code, int pause,
                          const std::string &dialogTitle = "") {
  const std::string folder = NewFolder(name);
  CopyFileA((ProgramFolder() + "standin_extractor.exe").c_str(), (folder + "7ZG.EXE").c_str(),
            FALSE);
  WriteText(folder + "standin.cfg",
            std::to_string(code) + "\n" + std::to_string(pause) + "\n" + dialogTitle + "\n");
  return folder;
}

bool Extract(const std::string &folder) {
  return RunExtractorProgram(folder.c_str(), (folder + "setup.zip").c_str(), folder.c_str());
}

TEST(RunExtractorProgram, JudgesTheExitCode) {
  EXPECT_TRUE(Extract(StandInFolder("exit0", 0, 0)));
  EXPECT_TRUE(Extract(StandInFolder("exit2", 2, 0)));
  EXPECT_FALSE(Extract(StandInFolder("exit1", 1, 0)));
  EXPECT_FALSE(Extract(StandInFolder("exit-1", -1, 0)));
}

TEST(RunExtractorProgram, PassesAFolderWithBlanksWholeAndRunsInIt) {
  const std::string folder = StandInFolder("with blank 目录", 0, 0);
  ASSERT_TRUE(Extract(folder));
  const std::string command = ReadText(folder + "cmdline.txt");
  char built[kExtractCommandSize];
  ASSERT_TRUE(
      BuildExtractCommand(built, sizeof built, (folder + "setup.zip").c_str(), folder.c_str()));
  const std::string expected = std::string(" ") + built;
  ASSERT_GE(command.size(), expected.size());
  EXPECT_EQ(expected, command.substr(command.size() - expected.size())) << command;
  EXPECT_EQ(folder.substr(0, folder.size() - 1), ReadText(folder + "cwd.txt"));
}

TEST(RunExtractorProgram, RefusesPathsTooLongForTheCommand) {
  // Paths of 588 characters together do not fit the 600-byte command with its
  // 12 fixed characters and terminator; 587 do.
  const std::string folder = StandInFolder("long", 0, 0);
  const std::string archive = folder + std::string(587 - 2 * folder.size(), 'a');
  EXPECT_FALSE(RunExtractorProgram(folder.c_str(), (archive + "b").c_str(), folder.c_str()));
  EXPECT_EQ("", ReadText(folder + "cmdline.txt"));
  EXPECT_TRUE(RunExtractorProgram(folder.c_str(), archive.c_str(), folder.c_str()));
}

// Without an extractor the shell shows its own "file not found" box and then
// leaves an error code of 0 or 2 behind, which used to read as a clean exit.
TEST(RunExtractorProgram, LaunchThatStartsNoProcessFails) {
  test_support::BoxDismisser dismisser(GetCurrentProcessId());
  EXPECT_FALSE(Extract(NewFolder("empty")));
}

// The extractor's finished dialog, left open, is closed by one click and the
// extraction goes on at once, while another program's dialog with the same
// title, open before the extractor started, keeps its buttons and gets no
// press. The stand-in would close its dialog by itself only after 20 s.
TEST(RunExtractorProgram, ClosesTheExtractorsDialogAndNoOtherProgramsOne) {
  TestDialog other("dialog", "解压文件... " + Tag("bystander"),
                   {"后台(&B)", "暂停(&P)", "关闭(&C)"});
  ASSERT_NE(nullptr, other.window());
  const std::string folder = StandInFolder("finished", 0, 20000, "解压文件... " + Tag("own"));
  const DWORD start = GetTickCount();
  EXPECT_TRUE(Extract(folder)) << "the stand-in closed its dialog by itself";
  const DWORD ms = GetTickCount() - start;
  std::printf("extraction with its finished dialog left open: %lu ms\n",
              static_cast<unsigned long>(ms));
  EXPECT_LT(ms, 10000u);
  EXPECT_EQ("down 3\nup 3\nclick 3\n", ReadText(folder + "dialog.txt"));
  EXPECT_EQ("123", other.shown());
  EXPECT_EQ("", other.log());
}

}  // namespace
