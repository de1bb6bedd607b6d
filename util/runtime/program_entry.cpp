// The entry point of the shipped programs (TovraSetup.exe, 7ZG.EXE), in place of MinGW's start-up
// files. Those set up what these programs never use (runtime pseudo-
// relocations, thread-local callbacks, the C runtime's argv, floating-point
// modes, exit-time destructors) and bring their error reporting (printf to
// stderr) along: several kilobytes in each of the three files the installer
// is made of. What is left to do is running the static constructors.
// Linked with -nostartfiles and -e (tovra_use_own_entry in util/); 7Z.DLL
// has its own in library_entry.cpp.
#include <windows.h>

#include "util/runtime/constructors.h"
#include "util/system_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show);

// The process ends with WinMain's result, and objects with static storage
// are not destroyed (nothing of ours needs it): the compiler's requests to
// destroy them at exit are taken and dropped. MinGW's own atexit needs the
// table its start-up files would have set up.
extern "C" int __cdecl atexit(void (*)()) {
  return 0;
}

// The DLL search is narrowed before anything else runs, constructors
// included: whatever loads a DLL by name later finds the system's.
// The process ends with WinMain's result.
extern "C" void __cdecl TovraProgramEntry() {
  NarrowDllSearch();
  tovra_runtime::RunConstructors();
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  GetStartupInfoW(&si);
  const int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
  char none[] = "";  // our programs read the command line themselves
  ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleW(nullptr), nullptr, none, show)));
}
