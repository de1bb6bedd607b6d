#pragma once
#include <windows.h>

// Starts a program through the shell ("open", environment references in path
// and dir expanded, no error box of the shell's own); SW_SHOW when shown, else
// SW_HIDE. Returns the process handle for the caller to close, or NULL when no
// process was started (GetLastError tells why).
HANDLE LaunchProgram(const char *path, const char *params, const char *dir, bool shown);

// LaunchProgram, then waits without a limit. The exit code; GetLastError()
// when nothing was started; -1 when the exit code cannot be read.
int RunProgram(const char *path, const char *params, const char *dir, bool shown);
