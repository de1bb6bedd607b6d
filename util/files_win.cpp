#include "util/files_win.h"

#include <windows.h>

#include "util/win_names.h"

// One step of the installer's chain, on the path buffer cut at the step's
// end. A share must be there already. An existing folder answers "already
// exists"; a drive root answers "already exists" or, on Windows, "access
// denied". Both mean the folder is there.
static bool MakeChainStep(void *context, size_t length, ChainStep step) {
  char *path = static_cast<char *>(context);
  const char kept = path[length];
  path[length] = '\0';
  bool made;
  if (step == ChainStep::kShare) {
    const DWORD attributes = GetFileAttributesA(path);
    made = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  } else if (CreateDirectoryA(path, NULL)) {
    made = true;
  } else {
    const DWORD error = GetLastError();
    made = error == ERROR_ACCESS_DENIED || error == ERROR_ALREADY_EXISTS;
  }
  path[length] = kept;
  return made;
}

// The walk (util/win_names) steps by characters of code page 936, the
// program's text: the second byte of a double-byte character may be 0x5C
// ("D:\誠\" holds D5 5C), and cutting there would name a folder that ends in
// half a character.
int CreateDirectoryChain(char *path, bool lastIsFile) {
  return WalkFolderChain(path, lastIsFile, MakeChainStep, path) ? 1 : 0;
}

// A scanner or an indexer opens a newly written file for a moment with read
// sharing only; a file being deleted answers "access denied" until its last
// handle closes. Both pass, so they are waited out, for a bounded time.
// A folder or a read-only file also answers "access denied", for good: those
// fail at once.
static bool BusyError(const char *path, DWORD error) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
  if (error != ERROR_ACCESS_DENIED) return false;
  const DWORD attributes = GetFileAttributesA(path);
  return attributes == INVALID_FILE_ATTRIBUTES ||
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

HANDLE OpenFileWaiting(const char *path, DWORD access, DWORD share, DWORD disposition) {
  const DWORD start = GetTickCount();
  for (;;) {
    HANDLE file = CreateFileA(path, access, share, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    if (!BusyError(path, error) || GetTickCount() - start >= kBusyFileWaitMs) return file;
    Sleep(50);
    SetLastError(error);
  }
}

// WriteFile may write less than asked on a full disk without failing: every
// chunk's count is checked.
bool WriteBlock(HANDLE file, const void *data, unsigned long size) {
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    const DWORD chunk = size < 0x100000 ? size : 0x100000;
    DWORD written = 0;
    if (!WriteFile(file, p, chunk, &written, NULL) || written == 0) return false;
    p += written;
    size -= written;
  }
  return true;
}

bool NextBytesAre(HANDLE file, const void *bytes, unsigned long size) {
  const char *expected = static_cast<const char *>(bytes);
  char buffer[16384];
  while (size > 0) {
    DWORD got = 0;
    const DWORD want = size < sizeof buffer ? size : sizeof buffer;
    if (!ReadFile(file, buffer, want, &got, NULL) || got != want) return false;
    for (DWORD i = 0; i < got; ++i)
      if (buffer[i] != expected[i]) return false;
    expected += got;
    size -= got;
  }
  return true;
}

static char *HexEnd(char *out, DWORD value) {
  for (int shift = 28; shift >= 0; shift -= 4) *out++ = "0123456789ABCDEF"[(value >> shift) & 15];
  *out = '\0';
  return out;
}

// The lock's security: Everyone may wait on it and release it, nothing more.
// Without it the mutex gets its creator's default DACL, which grants an
// elevated installer's administrators only: a second installer of the same
// user, not elevated, is then refused the name, falls back to its session's
// and no longer meets the first. No WRITE_DAC, so no one can lock others out
// of an existing mutex (its creator keeps that right as its owner). A
// self-relative descriptor: header, then one ACL with one ACE for S-1-1-0.
alignas(4) static const unsigned char kAnyoneMaySync[] = {
    1, 0, 0x04, 0x80, 0,    0, 0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0,  // DACL at 20
    2, 0, 28,   0,    1,    0, 0,    0,                                       // ACL: 1 ACE
    0, 0, 20,   0,    0x01, 0, 0x10, 0,               // allow SYNCHRONIZE | MUTEX_MODIFY_STATE
    1, 1, 0,    0,    0,    0, 0,    1, 0, 0, 0, 0};  // S-1-1-0

// Global so that installers in other sessions (a deployment service beside a
// logged-on user) meet too; where that namespace is refused, the session's.
HANDLE LockFolder(const char *folder, DWORD waitMs) {
  HANDLE handle = CreateFileA(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
  if (handle == INVALID_HANDLE_VALUE) return NULL;
  BY_HANDLE_FILE_INFORMATION info;
  const BOOL known = GetFileInformationByHandle(handle, &info);
  CloseHandle(handle);
  if (!known) return NULL;
  char name[64] = "Global\\TovraSetup.";
  char *end = HexEnd(name + 18, info.dwVolumeSerialNumber);
  *end++ = '.';
  end = HexEnd(end, info.nFileIndexHigh);
  HexEnd(end, info.nFileIndexLow);
  SECURITY_ATTRIBUTES security = {sizeof security, const_cast<unsigned char *>(kAnyoneMaySync),
                                  FALSE};
  const DWORD access = SYNCHRONIZE | MUTEX_MODIFY_STATE;
  HANDLE mutex = CreateMutexExA(&security, name, 0, access);
  if (mutex == NULL) mutex = CreateMutexExA(&security, name + 7, 0, access);  // "TovraSetup...."
  if (mutex == NULL) return NULL;
  const DWORD waited = WaitForSingleObject(mutex, waitMs);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return mutex;
  CloseHandle(mutex);
  SetLastError(waited == WAIT_TIMEOUT ? WAIT_TIMEOUT : ERROR_INVALID_HANDLE);
  return NULL;
}

void UnlockFolder(HANDLE lock) {
  if (lock == NULL) return;
  ReleaseMutex(lock);
  CloseHandle(lock);
}
