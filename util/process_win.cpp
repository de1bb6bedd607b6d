#include "util/process_win.h"

#include <shellapi.h>

static constexpr ULONG kLaunchMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC |
                                     SEE_MASK_DOENVSUBST | SEE_MASK_NO_CONSOLE |
                                     SEE_MASK_FLAG_LOG_USAGE;
static_assert(kLaunchMask == 0x4008340, "the shell launch mask");
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
  // No SEE_MASK_FLAG_NO_UI: a failed launch may show the shell's own error box.
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
