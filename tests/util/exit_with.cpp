// Test helper for the process runner: exit_with <code> [record-file]
// Exits with <code> (decimal or 0x...); with a record file it first writes
// how it was asked to show its window and the folder it was started in.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
  if (argc < 2) return 100;
  unsigned long code = std::strtoul(argv[1], nullptr, 0);
  if (argc > 2) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwd);
    FILE *record = std::fopen(argv[2], "wb");
    if (!record) return 101;
    std::fprintf(record, "%d %d\n%s", (startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0,
                 startup.wShowWindow, cwd);
    std::fclose(record);
  }
  ExitProcess(static_cast<UINT>(code));
}
