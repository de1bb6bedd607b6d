// The sample control program. The installer starts it after a successful
// install; it records each start in TovraControl.launch.txt beside itself and
// ends. One line per start, UTF-8 without a BOM:
//   <working directory> TAB <full command line> LF
// A tab cannot occur in a Windows path, so the first tab splits the record;
// line breaks inside the command line are written as blanks.
#include <windows.h>

namespace {

// Windows limits a command line to 32,767 characters, a path too.
constexpr DWORD kMax = 32768;
// On the heap: MinGW's linker keeps zeroed globals in the file with
// -fdata-sections, which would add half a megabyte to the program.
struct Buffers {
  wchar_t line[2 * kMax + 2];
  char utf8[4 * (2 * kMax + 2)];
  wchar_t log[kMax + 32];
};

// The log's path: this program's folder plus the log's name.
bool LogPath(wchar_t *log) {
  DWORD n = GetModuleFileNameW(nullptr, log, kMax);
  if (n == 0 || n >= kMax) return false;
  // Wine names a program started from \\server\share "UNC\server\share\..."
  // (its NT path without the "\??\" in front): made a UNC path again.
  if (n > 4 && log[0] == L'U' && log[1] == L'N' && log[2] == L'C' && log[3] == L'\\') {
    MoveMemory(log, log + 2, (n - 1) * sizeof *log);  // "C\server..." and its terminator
    log[0] = L'\\';
    n -= 2;
  }
  while (n > 0 && log[n - 1] != L'\\' && log[n - 1] != L'/') --n;
  lstrcpyW(log + n, L"TovraControl.launch.txt");
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Buffers *b = static_cast<Buffers *>(HeapAlloc(GetProcessHeap(), 0, sizeof(Buffers)));
  if (!b) return 1;
  wchar_t *line = b->line;
  char *utf8 = b->utf8;
  DWORD len = GetCurrentDirectoryW(kMax, line);
  if (len >= kMax) len = 0;
  line[len++] = L'\t';
  for (const wchar_t *p = GetCommandLineW(); *p && len < 2 * kMax; ++p)
    line[len++] = (*p == L'\r' || *p == L'\n') ? L' ' : *p;
  line[len++] = L'\n';
  int bytes =
      WideCharToMultiByte(CP_UTF8, 0, line, int(len), utf8, int(sizeof b->utf8), nullptr, nullptr);
  if (bytes <= 0 || !LogPath(b->log)) return 1;
  // FILE_APPEND_DATA keeps each record whole even when two starts overlap.
  HANDLE f = CreateFileW(b->log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  BOOL ok = WriteFile(f, utf8, DWORD(bytes), &written, nullptr);
  CloseHandle(f);
  return ok && written == DWORD(bytes) ? 0 : 1;
}
