#pragma once
#include <windows.h>

// Starts a program through the shell ("open", environment references in path
// and dir expanded, no error box of the shell's own); SW_SHOW when shown, else
// SW_HIDE. Returns the process handle for the caller to close, or NULL when no
// process was started (GetLastError tells why).
HANDLE LaunchProgram(const char *path, const char *params, const char *dir, bool shown);

// How a run to the program's end went: started or not (error then holds
// GetLastError()), and the exit code once it could be read.
struct ProgramRun {
  bool started;
  DWORD error;
  bool exitCodeRead;
  DWORD exitCode;
};

// LaunchProgram, then waits without a limit. onStarted, when given, is called
// with the process before the wait (to watch its windows, say).
ProgramRun RunProgramToEnd(const char *path, const char *params, const char *dir, bool shown,
                           void (*onStarted)(HANDLE process, void *context) = nullptr,
                           void *context = nullptr);

// RunProgramToEnd as one number: the exit code; GetLastError() when nothing
// was started; -1 when the exit code cannot be read.
int RunProgram(const char *path, const char *params, const char *dir, bool shown);
