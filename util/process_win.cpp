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

int RunProgram(const char *path, const char *params, const char *dir, bool shown) {
  HANDLE process = LaunchProgram(path, params, dir, shown);
  // A launch that succeeds without a process (a document handed to a running
  // program) also lands here, and the last error may then read 0.
  if (!process) return static_cast<int>(GetLastError());
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  BOOL read = GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return read ? static_cast<int>(code) : -1;
}
