#include "install/worker.h"

#include <cstdlib>

#include "install/extract.h"
#include "install/install_state.h"
#include "install/version_check.h"
#include "install/worker_messages.h"
#include "payload/payload.h"
#include "util/files.h"
#include "util/files_win.h"
#include "util/product_files.h"
#include "util/product_version.h"
#include "util/text.h"

namespace {

// InstallDir + name into path; false when they do not fit.
bool BuildPath(char (&path)[kPathSize], const char *name) {
  return JoinPath(path, InstallDir, name);
}

// Read access with read sharing only: the extractor (and its loader, which
// asks for read and execute with read and delete sharing) can still open the
// file, nobody can write, rename or delete it.
HANDLE OpenHeld(const char *path) {
  return OpenFileWaiting(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

// Creates or empties path and writes the blocks in order through one handle,
// so that no other program can open the file between two of them.
bool WriteBlocks(const char *path, const PayloadPiece *blocks, unsigned long count) {
  HANDLE file = OpenFileWaiting(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (unsigned long i = 0; ok && i < count; ++i)
    ok = WriteBlock(file, blocks[i].data, blocks[i].size);
  return CloseHandle(file) && ok;
}

// True when the file behind the handle holds exactly the blocks in order.
bool Holds(HANDLE file, const PayloadPiece *blocks, unsigned long count) {
  LONGLONG size = 0;
  for (unsigned long i = 0; i < count; ++i) size += blocks[i].size;
  LARGE_INTEGER length;
  if (!GetFileSizeEx(file, &length) || length.QuadPart != size) return false;
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0) return false;
  for (unsigned long i = 0; i < count; ++i) {
    if (!NextBytesAre(file, blocks[i].data, blocks[i].size)) return false;
  }
  return true;
}

// Leaves InstallDir + name holding exactly the blocks, held in *held. With
// keepIdentical a file already holding them keeps its modification time. A
// write handle cannot become a held one without a gap, so a written file is
// closed, opened again and compared through the handle that is kept: what the
// extractor loads is what was compared.
bool DropFile(const char *name, const PayloadPiece *blocks, unsigned long count, bool keepIdentical,
              HANDLE *held) {
  char path[kPathSize];
  if (!BuildPath(path, name)) return false;
  if (keepIdentical) {
    *held = OpenHeld(path);
    if (*held != INVALID_HANDLE_VALUE && Holds(*held, blocks, count)) return true;
    ReleaseHeld(held, 1);
  }
  // Another program may replace the file between the write and the hold: the
  // write is tried again, a few times.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!WriteBlocks(path, blocks, count)) return false;
    *held = OpenHeld(path);
    if (*held == INVALID_HANDLE_VALUE) return false;
    if (Holds(*held, blocks, count)) return true;
    ReleaseHeld(held, 1);
  }
  return false;
}

bool UnpackProduct() {
  char archive[kPathSize];
  if (!BuildPath(archive, kArchiveFile)) return false;
  return RunExtractorProgram(InstallDir, archive, InstallDir);
}

// Only a service program of exactly our version counts.
bool InstalledVersionMatches() {
  char path[kPathSize];
  if (!BuildPath(path, kServiceProgram)) return false;
  return FileVersionIs(path, ProductVersion);
}

// The carried files stay held from their write until the extractor has
// exited: nobody can slip another 7Z.DLL under it.
bool WriteAndUnpack() {
  HANDLE held[kHeldFileCount];
  const bool ok = WriteCarriedFiles(held) && UnpackProduct();
  ReleaseHeld(held, kHeldFileCount);
  return ok && InstalledVersionMatches();
}

// The window checked the folder at the click; the worker holds to the same
// rule whoever set InstallDir. A second installer into the same folder waits
// here, before it writes anything, until the first has posted its result.
bool RunSteps() {
  if (!InstallFolderUsable(InstallDir)) return false;
  HANDLE lock = LockFolder(InstallDir, INFINITE);
  if (lock == NULL) return false;
  const bool ok = WriteAndUnpack();
  UnlockFolder(lock);
  return ok;
}

// Copies data over backup unless data is byte for byte the archive's default
// (size first, then CRC-32), which the extraction is about to write anyway:
// copying that would put the default over the user's data that an earlier
// install kept there. A missing data file is no error.
void BackUp(const char *data, const char *backup) {
  HANDLE source = OpenFileWaiting(data, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (source == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER length;
  char *bytes = nullptr;
  DWORD got = 0;
  if (GetFileSizeEx(source, &length) && length.QuadPart < 0x7FFFFFF0) {
    bytes = static_cast<char *>(std::malloc(static_cast<size_t>(length.QuadPart) + 1));
  }
  const bool read = bytes != nullptr && ReadFile(source, bytes, length.LowPart, &got, nullptr) &&
                    got == length.LowPart;
  CloseHandle(source);
  const bool isDefault = payload::DefaultClientDataKnown && got == payload::DefaultClientDataSize &&
                         Crc32(bytes, got) == payload::DefaultClientDataCrc;
  if (read && !isDefault) {
    const PayloadPiece whole = {reinterpret_cast<const unsigned char *>(bytes), got};
    WriteBlocks(backup, &whole, 1);
  }
  std::free(bytes);
}

}  // namespace

// While another installer works in the folder its data file is in flux, and
// that installer made its backup at its own click: nothing is copied then.
void BackUpClientData() {
  HANDLE lock = LockFolder(InstallDir, 0);
  if (lock == nullptr && GetLastError() == WAIT_TIMEOUT) return;
  char data[kPathSize];
  char backup[kPathSize];
  if (BuildPath(data, kClientData) && BuildPath(backup, kClientDataBackup)) BackUp(data, backup);
  UnlockFolder(lock);
}

void ReleaseHeld(HANDLE *held, int count) {
  for (int i = 0; i < count; ++i) {
    if (held[i] != INVALID_HANDLE_VALUE) CloseHandle(held[i]);
    held[i] = INVALID_HANDLE_VALUE;
  }
}

bool WriteCarriedFiles(HANDLE (&held)[kHeldFileCount]) {
  for (HANDLE &h : held) h = INVALID_HANDLE_VALUE;
  const PayloadPiece codec = {payload::CodecLibraryImage, payload::CodecLibraryImageSize};
  const PayloadPiece extractor = {payload::ExtractorImage, payload::ExtractorImageSize};
  // The archive is always rewritten.
  if (DropFile(kCodecFile, &codec, 1, true, &held[0]) &&
      DropFile(kExtractorFile, &extractor, 1, true, &held[1]) &&
      DropFile(kArchiveFile, payload::ArchivePieces, payload::ArchiveChunkCount, false, &held[2])) {
    return true;
  }
  ReleaseHeld(held, kHeldFileCount);
  return false;
}

DWORD WINAPI InstallWorker(LPVOID param) {
  FailCriticalErrorsOnThisThread();
  HWND window = static_cast<HWND>(param);
  const bool ok = RunSteps();
  PostMessageA(window, ok ? UM_INSTALL_OK : UM_INSTALL_FAILED, 0, 0);
  return 0;
}

bool StartInstallWorker(HWND window) {
  HANDLE thread = CreateThread(nullptr, kInstallWorkerStackSize, InstallWorker, window, 0, nullptr);
  if (thread == nullptr) return false;
  CloseHandle(thread);
  return true;
}
