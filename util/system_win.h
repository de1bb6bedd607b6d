#pragma once
// What the shipped programs take from the system, and from where. They are
// run from folders anybody can drop files into (Downloads, the install
// folder), so a DLL is taken from the system folder only, and the error mode
// the programs we start inherit stays the system's.
#include <windows.h>

// Narrows the DLL search of this process to the system folder. The first
// thing each shipped program does (util/runtime/program_entry.cpp); 7Z.DLL
// cannot (no loader work in DllMain), so it imports KnownDLLs only and loads
// nothing itself.
void NarrowDllSearch();

// The DLL of that file name ("version.dll") in the system folder, loaded by
// its full path; nullptr when it cannot be.
HMODULE LoadSystemLibrary(const wchar_t *name);

// No "no disk" box of the system on this thread: a file operation on an empty
// CD or card drive fails instead, and the caller reports it. Set per thread,
// not for the process, because a process's mode is what the programs it
// starts begin with.
void FailCriticalErrorsOnThisThread();

// fn gets the function the loaded module m exports under name, typed as fn
// is; false (fn null) when m has no such export.
template <typename Fn>
bool FindExport(HMODULE m, const char *name, Fn *fn) {
  // Through void*: GCC warns about casting FARPROC to another function type.
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(m, name)));
  return *fn != nullptr;
}
