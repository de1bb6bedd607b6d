#include "install/worker.h"

#include <cstdlib>
#include <cstring>

#include "install/extract.h"
#include "install/install_state.h"
#include "install/version_check.h"
#include "install/worker_messages.h"
#include "payload/payload.h"
#include "util/files.h"
#include "util/product_files.h"
#include "util/product_version.h"
#include "util/text.h"

namespace {

// InstallDir + name into path; false when they do not fit.
bool BuildPath(char (&path)[kPathSize], const char *name) {
  return JoinPath(path, InstallDir, name);
}

// Writes image as InstallDir + name unless the file there already holds
// exactly these bytes; an identical file keeps its modification time.
bool DropFile(const char *name, const unsigned char *image, unsigned long imageSize) {
  const int size = static_cast<int>(imageSize);
  char path[kPathSize];
  if (!BuildPath(path, name)) return false;
  bool identical = false;
  int length = 0;
  char *existing = ReadWholeFile(path, &length);
  if (existing != nullptr) {
    identical = length == size && std::memcmp(existing, image, size) == 0;
    std::free(existing);
  }
  return identical || WriteWholeFile(path, image, size) == 1;
}

// The archive is always rewritten: the first piece creates or empties the
// file, the others are appended in order.
bool WriteArchive() {
  char path[kPathSize];
  if (!BuildPath(path, kArchiveFile)) return false;
  for (unsigned long i = 0; i < payload::ArchiveChunkCount; ++i) {
    const int size = static_cast<int>(payload::ArchivePieces[i].size);
    const int written = i == 0 ? WriteWholeFile(path, payload::ArchivePieces[i].data, size)
                               : AppendToFile(path, payload::ArchivePieces[i].data, size);
    if (written != 1) return false;
  }
  return true;
}

bool Extract() {
  char archive[kPathSize];
  if (!BuildPath(archive, kArchiveFile)) return false;
  return ExtractArchive(InstallDir, archive, InstallDir);
}

// Only a service program of exactly our version counts.
bool InstalledVersionMatches() {
  char path[kPathSize];
  if (!BuildPath(path, kServiceProgram)) return false;
  return FileVersionIs(path, ProductVersion);
}

bool RunSteps() {
  // The window checked the folder at the click; the worker holds to the same
  // rule whoever set InstallDir.
  return InstallFolderUsable(InstallDir) && WriteCarriedFiles() && Extract() &&
         InstalledVersionMatches();
}

}  // namespace

bool WriteCarriedFiles() {
  return DropFile(kCodecFile, payload::CodecLibraryImage, payload::CodecLibraryImageSize) &&
         DropFile(kExtractorFile, payload::ExtractorImage, payload::ExtractorImageSize) &&
         WriteArchive();
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
