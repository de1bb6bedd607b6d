// The entry point of 7Z.DLL in place of MinGW's DLL start-up file; see
// program_entry.cpp for why. Linked with -nostartfiles and -e.
#include <windows.h>

#include "util/runtime/constructors.h"

// A library's constructors run once, when it is attached to the process.
extern "C" BOOL WINAPI TovraLibraryEntry(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    tovra_runtime::RunConstructors();
  }
  return TRUE;
}
