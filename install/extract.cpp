#include "install/extract.h"

#include <cstring>

#include "install/extract_command.h"
#include "util/process_win.h"
#include "util/product_files.h"
#include "util/text.h"

const char kExtractDialogTitle[] = "解压文件...";

namespace {

constexpr char kButtonClass[] = "Button";
constexpr char kCloseText[] = "关闭";
// Window texts are read with this limit, terminator included; the buffers are larger.
constexpr int kTextLimit = 160;
// If the watcher does not end by itself in this time it is blocked inside a
// message sent to a window that does not answer.
constexpr DWORD kWatcherJoinMs = 5000;

// Sleeps ms or until stop is set; true when the watcher is to end. A failed
// wait counts as a stop so that a broken event can never make the loop spin.
bool Stopped(HANDLE stop, DWORD ms) {
  return WaitForSingleObject(stop, ms) != WAIT_TIMEOUT;
}

bool FindThreeButtons(HWND dialog, HWND buttons[3]) {
  HWND previous = nullptr;
  for (int i = 0; i < 3; ++i) {
    buttons[i] = FindWindowExA(dialog, previous, kButtonClass, nullptr);
    if (buttons[i] == nullptr) return false;
    previous = buttons[i];
  }
  return true;
}

// Hides the buttons before the first one that says "关闭" and returns that
// one; NULL (all three hidden) when none does.
HWND HideUntilCloseButton(HWND const buttons[3]) {
  for (int i = 0; i < 3; ++i) {
    char text[160] = {};
    GetWindowTextA(buttons[i], text, kTextLimit);
    if (std::strstr(text, kCloseText) != nullptr) return buttons[i];
    ShowWindow(buttons[i], SW_HIDE);
  }
  return nullptr;
}

// Runs the extractor hidden, with the watcher guarding its dialog, and judges
// its exit code. A launch that starts no process fails outright: the shell's
// error code (2 for a missing program) would otherwise read like a clean exit.
// The watcher starts once the process exists, since it tends that process's
// windows only (another program's dialog may carry the same title); it misses
// nothing by that, as it finds a dialog whenever it looks, hidden or not.
struct ExtractorWatch {
  DialogWatcherArgs args;
  HANDLE watcher;
  HANDLE job;
};

// The extractor is put into a job of its own that kills it when the job's
// last handle closes: killed at any point, the installer takes the extractor
// with it instead of leaving it hidden with a dialog for a minute. Only the
// extractor is in the job; the control program, started later, outlives us.
// Where the installer already runs in a job and the system has no nested jobs
// (Windows 7), the extractor stays in ours and the assignment fails: the
// install goes on without this guard.
HANDLE KillOnCloseJob(HANDLE process) {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
      !AssignProcessToJobObject(job, process)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

void StartWatch(HANDLE process, void *context) {
  ExtractorWatch *watch = static_cast<ExtractorWatch *>(context);
  watch->job = KillOnCloseJob(process);
  watch->args.processId = GetProcessId(process);
  watch->watcher = StartDialogWatcher(&watch->args);
}

bool RunWatched(const char *program, const char *command, const char *folder) {
  ExtractorWatch watch = {{kExtractDialogTitle, 0, nullptr}, nullptr, nullptr};
  const ProgramRun run = RunProgramToEnd(program, command, folder, false, StartWatch, &watch);
  if (!run.started) return false;
  StopDialogWatcher(watch.watcher, &watch.args);
  if (watch.job != nullptr) CloseHandle(watch.job);
  // The extractor exits 2 on warnings that still leave the files unpacked.
  return run.exitCodeRead && (run.exitCode == 0 || run.exitCode == 2);
}

}  // namespace

// Windows of other processes are passed over before anything else is read:
// a program that happens to show a dialog with the extractor's title must
// keep its buttons.
HWND FindDialogByTitle(const char *text, DWORD processId) {
  for (HWND window = GetTopWindow(nullptr); window != nullptr;
       window = GetWindow(window, GW_HWNDNEXT)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != processId) continue;
    char className[260] = {};
    RealGetWindowClassA(window, className, kTextLimit);
    // The system's numbered classes ("#32770" for dialogs) start with '#'.
    if (className[0] != '#') continue;
    char title[260] = {};
    GetWindowTextA(window, title, kTextLimit);
    if (std::strstr(title, text) != nullptr) return window;
  }
  return nullptr;
}

// Searching -> Guarding <-> Clicking -> Resting -> Guarding, until stop is set.
// Every pause waits on the stop event, so the thread ends within moments of
// the extractor's exit instead of being killed. A press cut short by the stop
// is never completed: the button-up that would turn it into a click is not
// sent, so no click can follow RunExtractorProgram's return.
DWORD WINAPI DialogWatcher(LPVOID param) {
  const auto *args = static_cast<const DialogWatcherArgs *>(param);
  HWND buttons[3] = {};
  for (;;) {
    HWND dialog = FindDialogByTitle(args->title, args->processId);
    if (dialog != nullptr && FindThreeButtons(dialog, buttons)) break;
    if (Stopped(args->stop, kSearchPeriodMs)) return 0;
  }
  for (;;) {
    if (Stopped(args->stop, kGuardPeriodMs)) return 0;
    HWND target = HideUntilCloseButton(buttons);
    if (target == nullptr) continue;
    SendMessageA(target, WM_LBUTTONDOWN, 0, kClickPoint);
    if (Stopped(args->stop, kPressTimeMs)) return 0;
    SendMessageA(target, WM_LBUTTONUP, 0, kClickPoint);
    if (Stopped(args->stop, kAfterClickPauseMs)) return 0;
  }
}

HANDLE StartDialogWatcher(DialogWatcherArgs *args) {
  args->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (args->stop == nullptr) return nullptr;
  HANDLE thread = CreateThread(nullptr, kWatcherStackSize, DialogWatcher, args, 0, nullptr);
  if (thread == nullptr) {
    CloseHandle(args->stop);
    args->stop = nullptr;
  }
  return thread;
}

// The watcher holds no lock and no memory of its own, so the forced end is
// safe; it is needed only when a sent message never returns (the extractor
// hung with its dialog, or a child process of it that outlived it).
void StopDialogWatcher(HANDLE watcher, DialogWatcherArgs *args) {
  if (watcher == nullptr) return;
  SetEvent(args->stop);
  if (WaitForSingleObject(watcher, kWatcherJoinMs) != WAIT_OBJECT_0) {
    TerminateThread(watcher, 0);
    WaitForSingleObject(watcher, INFINITE);
  }
  CloseHandle(watcher);
  CloseHandle(args->stop);
  args->stop = nullptr;
}

bool RunExtractorProgram(const char *outputFolder, const char *archivePath,
                         const char *extractorFolder) {
  char program[kPathSize];
  char command[kExtractCommandSize];
  if (!BuildExtractCommand(command, kExtractCommandSize, archivePath, outputFolder) ||
      !JoinPath(program, extractorFolder, kExtractorFile)) {
    return false;
  }
  return RunWatched(program, command, extractorFolder);
}
