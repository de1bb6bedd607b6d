// The entry points of the shipped programs, in place of MinGW's start-up
// files. Those set up what these programs never use (runtime pseudo-
// relocations, thread-local callbacks, the C runtime's argv, floating-point
// modes, exit-time destructors) and bring their error reporting (printf to
// stderr) along: several kilobytes in each of the three files the installer
// is made of. What is left to do is running the static constructors.
// Linked with -nostartfiles and -e (tovra_use_own_entry in util/).
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show);

namespace {

// The linker's list of constructors: a count or -1, the functions, then 0.
extern "C" void (*__CTOR_LIST__[])();

void RunConstructors() {
  size_t n = 0;
  while (__CTOR_LIST__[n + 1] != nullptr) ++n;
  // In reverse, as libgcc's __do_global_ctors runs them.
  for (size_t i = n; i >= 1; --i) __CTOR_LIST__[i]();
}

}  // namespace

// The process ends with WinMain's result, and objects with static storage
// are not destroyed (nothing of ours needs it): the compiler's requests to
// destroy them at exit are taken and dropped. MinGW's own atexit needs the
// table its start-up files would have set up.
extern "C" int __cdecl atexit(void (*)()) {
  return 0;
}

// The process ends with WinMain's result.
extern "C" void __cdecl TovraProgramEntry() {
  RunConstructors();
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  GetStartupInfoW(&si);
  const int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
  char none[] = "";  // our programs read the command line themselves
  ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleW(nullptr), nullptr, none, show)));
}

// A library's constructors run once, when it is attached to the process.
extern "C" BOOL WINAPI TovraLibraryEntry(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    RunConstructors();
  }
  return TRUE;
}
