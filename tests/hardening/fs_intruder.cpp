// Another program at work in an install folder, as the hardening cases need it:
//   fs_intruder scan <folder> <seconds>
//     a virus scanner: every file created or written anywhere below folder is
//     opened (read access, read sharing only) as soon as it can be, and held
//     for 200-800 ms;
//   fs_intruder swap <file> <replacement> <seconds>
//     copies replacement over file, whenever it exists, again and again.
// Both stop after the given seconds.
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <cwchar>
#include <set>
#include <string>

namespace {

std::wstring g_folder;
CRITICAL_SECTION g_lock;
std::set<std::wstring> g_busy;  // paths a holder thread is at

// Tries to open the file without pause while its writer still has it (as a
// scanner woken by each write would), for up to 3 s, then holds it.
DWORD WINAPI HoldOne(LPVOID param) {
  std::wstring *path = static_cast<std::wstring *>(param);
  HANDLE file = INVALID_HANDLE_VALUE;
  const DWORD start = GetTickCount();
  while (file == INVALID_HANDLE_VALUE && GetTickCount() - start < 3000) {
    file = CreateFileW(path->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) SwitchToThread();
  }
  if (file != INVALID_HANDLE_VALUE) {
    Sleep(200 + (GetTickCount() * 2654435761u >> 8) % 601);
    CloseHandle(file);
  }
  EnterCriticalSection(&g_lock);
  g_busy.erase(*path);
  LeaveCriticalSection(&g_lock);
  delete path;
  return 0;
}

void StartHolder(const std::wstring &path) {
  EnterCriticalSection(&g_lock);
  const bool fresh = g_busy.insert(path).second;
  LeaveCriticalSection(&g_lock);
  if (!fresh) return;
  HANDLE thread = CreateThread(nullptr, 0, HoldOne, new std::wstring(path), 0, nullptr);
  if (thread != nullptr) CloseHandle(thread);
}

int Scan(const wchar_t *folder, DWORD seconds) {
  g_folder = folder;
  InitializeCriticalSection(&g_lock);
  HANDLE dir = CreateFileW(
      folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  if (dir == INVALID_HANDLE_VALUE) return 2;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  alignas(DWORD) static char buffer[64 * 1024];
  const DWORD end = GetTickCount() + seconds * 1000;
  const DWORD filter =
      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE;
  for (;;) {
    ResetEvent(overlapped.hEvent);
    if (!ReadDirectoryChangesW(dir, buffer, sizeof buffer, TRUE, filter, nullptr, &overlapped,
                               nullptr)) {
      return 3;
    }
    const LONG left = static_cast<LONG>(end - GetTickCount());
    if (left <= 0 || WaitForSingleObject(overlapped.hEvent, left) != WAIT_OBJECT_0) break;
    DWORD got = 0;
    if (!GetOverlappedResult(dir, &overlapped, &got, FALSE) || got == 0) continue;
    for (char *p = buffer;;) {
      const auto *info = reinterpret_cast<const FILE_NOTIFY_INFORMATION *>(p);
      if (info->Action != FILE_ACTION_REMOVED && info->Action != FILE_ACTION_RENAMED_OLD_NAME) {
        StartHolder(g_folder + L"\\" + std::wstring(info->FileName, info->FileNameLength / 2));
      }
      if (info->NextEntryOffset == 0) break;
      p += info->NextEntryOffset;
    }
  }
  CancelIo(dir);
  Sleep(900);  // the last holds end
  return 0;
}

int Swap(const wchar_t *file, const wchar_t *replacement, DWORD seconds) {
  const DWORD end = GetTickCount() + seconds * 1000;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    if (GetFileAttributesW(file) != INVALID_FILE_ATTRIBUTES) CopyFileW(replacement, file, FALSE);
    Sleep(1);
  }
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) return 2;
  if (argc == 4 && std::wcscmp(argv[1], L"scan") == 0)
    return Scan(argv[2], std::wcstoul(argv[3], nullptr, 10));
  if (argc == 5 && std::wcscmp(argv[1], L"swap") == 0) {
    return Swap(argv[2], argv[3], std::wcstoul(argv[4], nullptr, 10));
  }
  return 2;
}
