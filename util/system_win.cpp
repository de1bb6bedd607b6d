#include "util/system_win.h"

namespace {

// A kernel32 function our oldest Windows may lack, looked up by name: a
// static import of it would stop the program from starting there at all.
template <typename Fn>
Fn Kernel32Function(const char *name) {
  // Through void*: GCC warns about casting FARPROC to another function type.
  return reinterpret_cast<Fn>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

}  // namespace

// Without this, a DLL named without a path is looked for in the program's own
// folder first and in the current folder, and so are the dependencies of one
// loaded by its full path: the shell, window classes and the theme load such
// DLLs by name long after our static imports (KnownDLLs only, which the
// system maps from its own folder whatever the search says).
void NarrowDllSearch() {
  // Windows 8 and later, and Windows 7 with KB2533623.
  const auto setDefault =
      Kernel32Function<decltype(&SetDefaultDllDirectories)>("SetDefaultDllDirectories");
  if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    // A Windows 7 without that update: this drops the current folder, and the
    // programs we start inherit it; the program's own folder stays first.
    SetDllDirectoryW(L"");
  }
  // SearchPath (how the shell finds a program named without a path) tries
  // the current folder after the system's, for the rest of the process.
  const auto setMode = Kernel32Function<decltype(&SetSearchPathMode)>("SetSearchPathMode");
  if (setMode != nullptr)
    setMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

// LOAD_WITH_ALTERED_SEARCH_PATH: the DLL's own dependencies are looked for in
// its folder, the system folder, first, whether or not the search could be
// narrowed. It must not be combined with a LOAD_LIBRARY_SEARCH_* flag.
HMODULE LoadSystemLibrary(const wchar_t *name) {
  wchar_t path[MAX_PATH + 1 + 32];
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  const int length = lstrlenW(name);
  if (n == 0 || n >= MAX_PATH || length == 0 || length >= 32) return nullptr;
  path[n] = L'\\';
  lstrcpyW(path + n + 1, name);
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Windows 7 and later have SetThreadErrorMode. Before that this does nothing:
// the thread keeps the process's mode, and such a drive may show the
// system's box, which the run then waits on.
void FailCriticalErrorsOnThisThread() {
  const auto set = Kernel32Function<decltype(&SetThreadErrorMode)>("SetThreadErrorMode");
  if (set != nullptr) set(SEM_FAILCRITICALERRORS, nullptr);
}
