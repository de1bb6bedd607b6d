#pragma once
#include <windows.h>

// Creates every missing folder along path, outermost first. With lastIsFile
// the last component is left alone (it names a file). In a UNC path the chain
// starts below the share, which must exist. path is written while
// this runs and restored before it returns. 1 on success, else 0 with the
// system's last error as the failing call left it.
int CreateDirectoryChain(char *path, bool lastIsFile);

// How long a file that another program holds for a moment (a virus scanner
// reading what was just written) is waited for before its open fails.
constexpr DWORD kBusyFileWaitMs = 4000;

// CreateFileA with no template, retried every 50 ms for up to kBusyFileWaitMs
// while the answer is a sharing or lock violation, or "access denied" for
// what is neither a folder nor read-only (Windows answers that for a file
// pending delete); any other failure ends at once.
// INVALID_HANDLE_VALUE on failure, with the last error of the last try.
HANDLE OpenFileWaiting(const char *path, DWORD access, DWORD share, DWORD disposition);

// Writes all size bytes at the handle's position; false on a short write.
bool WriteBlock(HANDLE file, const void *data, unsigned long size);

// True when the next size bytes read from the handle are these.
bool NextBytesAre(HANDLE file, const void *bytes, unsigned long size);

// Waits up to waitMs for the named mutex of folder (an existing folder), named
// from its volume serial number and file index so that every spelling of one
// folder gives the same name; an abandoned mutex counts as taken. NULL when
// the folder cannot be opened, the mutex cannot be made, or the wait timed out
// (the last error then reads WAIT_TIMEOUT). UnlockFolder, from the same
// thread, gives it back.
HANDLE LockFolder(const char *folder, DWORD waitMs);
void UnlockFolder(HANDLE lock);
