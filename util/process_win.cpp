#include "util/process_win.h"

#include <shellapi.h>

// SEE_MASK_FLAG_NO_UI: a launch that fails must not show the shell's error
// box ("找不到文件。"), which is modal and holds the launching thread until
// somebody answers it; an unattended install has nobody to answer. The
// failure comes back as the result instead.
static constexpr ULONG kLaunchMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC |
                                     SEE_MASK_DOENVSUBST | SEE_MASK_NO_CONSOLE |
                                     SEE_MASK_FLAG_LOG_USAGE | SEE_MASK_FLAG_NO_UI;
static_assert(kLaunchMask == 0x4008740, "the shell launch mask");
static_assert(sizeof(void *) != 4 || sizeof(SHELLEXECUTEINFOA) == 60, "the 32-bit record");

HANDLE LaunchProgram(const char *path, const char *params, const char *dir, bool shown) {
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof(info);
  info.fMask = kLaunchMask;
  info.hwnd = NULL;
  info.lpVerb = "open";
  info.lpFile = path;
  info.lpParameters = params;
  info.lpDirectory = dir;
  info.nShow = shown ? SW_SHOW : SW_HIDE;
  if (!ShellExecuteExA(&info)) return NULL;
  return info.hProcess;
}

ProgramRun RunProgramToEnd(const char *path, const char *params, const char *dir, bool shown,
                           void (*onStarted)(HANDLE process, void *context), void *context) {
  ProgramRun run = {false, 0, false, 0};
  HANDLE process = LaunchProgram(path, params, dir, shown);
  // A launch that succeeds without a process (a document handed to a running
  // program) also counts as not started, and the last error may then read 0.
  if (!process) {
    run.error = GetLastError();
    return run;
  }
  run.started = true;
  if (onStarted) onStarted(process, context);
  WaitForSingleObject(process, INFINITE);
  run.exitCodeRead = GetExitCodeProcess(process, &run.exitCode) != 0;
  CloseHandle(process);
  return run;
}

int RunProgram(const char *path, const char *params, const char *dir, bool shown) {
  const ProgramRun run = RunProgramToEnd(path, params, dir, shown);
  if (!run.started) return static_cast<int>(run.error);
  return run.exitCodeRead ? static_cast<int>(run.exitCode) : -1;
}
