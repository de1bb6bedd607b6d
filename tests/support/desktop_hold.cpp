// Holds the Wine desktop open for a whole test run. Under Wine the desktop
// process (explorer.exe) starts with the first program that needs a window
// and ends a second after the last one has gone. Started by a test, it
// inherits that test's output pipes, and ctest then waits for the desktop,
// not the test, to finish: with parallel window tests that took up to a
// minute; a holder started beside such a test joins that desktop and keeps
// the pipes open for good. wine-run.sh starts this program once, with every
// standard stream on /dev/null, and waits for the file named by its
// argument, which is written once the desktop is up: only then may the
// first test's program start.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Asking for the desktop window connects this process to the desktop and
  // returns once Wine has brought it up.
  if (!GetDesktopWindow()) return 1;
  int argc = 0;
  LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv && argc > 1) {
    HANDLE ready =
        CreateFileW(argv[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  }
  if (argv) LocalFree(argv);
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
