#pragma once
#include <windows.h>

constexpr DWORD kInstallWorkerStackSize = 8 * 1024 * 1024;
// The longest InstallDir the worker accepts: the extract command holds the
// folder twice plus "setup.zip" and 12 fixed characters in 600 bytes.
constexpr int kMaxInstallDirLength = 289;

// Thread entry: installs into InstallDir and posts exactly one UM_INSTALL_OK
// or UM_INSTALL_FAILED (both parameters 0) to the window passed as param.
DWORD WINAPI InstallWorker(LPVOID param);

// The worker's writing step: 7Z.DLL and 7ZG.EXE into InstallDir unless
// identical copies are there, then setup.zip from its pieces. False at the
// first file that cannot be written whole.
bool WriteCarriedFiles();

// Starts InstallWorker for window on an 8 MiB stack; the thread is not kept
// or waited for. False when the thread could not be created.
bool StartInstallWorker(HWND window);
