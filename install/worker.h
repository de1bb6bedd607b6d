#pragma once
#include <windows.h>

#include "install/install_folder.h"
#include "util/system_win.h"

constexpr DWORD kInstallWorkerStackSize = 8 * 1024 * 1024;

// Thread entry: installs into InstallDir and posts exactly one UM_INSTALL_OK
// or UM_INSTALL_FAILED (both parameters 0) to the window passed as param. A
// folder that InstallFolderUsable refuses fails before anything is written.
// Its thread gets no system "no disk" box (FailCriticalErrorsOnThisThread).
DWORD WINAPI InstallWorker(LPVOID param);

// The worker's writing step: 7Z.DLL and 7ZG.EXE into InstallDir unless
// identical copies are there, then setup.zip from its pieces. Each file is
// left held in held (in that order) with read sharing only, its bytes checked
// through that handle; ReleaseHeld closes them. False at the first file that
// cannot be written whole, with nothing held.
constexpr int kHeldFileCount = 3;
bool WriteCarriedFiles(HANDLE (&held)[kHeldFileCount]);
void ReleaseHeld(HANDLE *held, int count);

// The Install click's backup: InstallDir's TovraClient.dat over
// TovraClient.dat.bak, unless it is the carried archive's default or another
// installer is working in the folder.
void BackUpClientData();

// Starts InstallWorker for window on an 8 MiB stack; the thread is not kept
// or waited for. False when the thread could not be created.
bool StartInstallWorker(HWND window);
