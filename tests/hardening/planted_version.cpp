// version.dll as an attacker would drop it beside a downloaded installer: the
// system's version functions (forwarded to kernelbase, where Wine and Windows
// 10 keep them: planted_version.def), the three the installer calls passing
// through here first. The load and each of those calls append a line to
// version.dll.log beside the DLL: "loaded by <program>" or the function's
// name.
#include <windows.h>

namespace {

HINSTANCE self;

void Log(const wchar_t *line) {
  wchar_t path[MAX_PATH + 8];
  const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  lstrcpyW(path + n, L".log");
  HANDLE f = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  char utf8[3 * (MAX_PATH + 64)];
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof utf8 - 1, nullptr, nullptr);
  if (bytes > 0) {
    utf8[bytes - 1] = '\n';  // in place of the terminator
    DWORD put = 0;
    WriteFile(f, utf8, bytes, &put, nullptr);
  }
  CloseHandle(f);
}

template <typename Fn>
Fn Real(const char *name) {
  // Through void*: GCC warns about casting FARPROC to another function type.
  return reinterpret_cast<Fn>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), name)));
}

}  // namespace

extern "C" DWORD WINAPI PlantedInfoSizeA(LPCSTR file, LPDWORD handle) {
  Log(L"GetFileVersionInfoSizeA");
  return Real<decltype(&PlantedInfoSizeA)>("GetFileVersionInfoSizeA")(file, handle);
}

extern "C" BOOL WINAPI PlantedInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data) {
  Log(L"GetFileVersionInfoA");
  return Real<decltype(&PlantedInfoA)>("GetFileVersionInfoA")(file, handle, size, data);
}

extern "C" BOOL WINAPI PlantedQueryValueA(LPCVOID block, LPCSTR sub, LPVOID *buffer, PUINT size) {
  Log(L"VerQueryValueA");
  return Real<decltype(&PlantedQueryValueA)>("VerQueryValueA")(block, sub, buffer, size);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    self = instance;
    DisableThreadLibraryCalls(instance);
    wchar_t line[MAX_PATH + 16] = L"loaded by ";
    GetModuleFileNameW(nullptr, line + 10, MAX_PATH);
    Log(line);
  }
  return TRUE;
}
