// Holds the Wine desktop open for a whole test run. Under Wine the desktop
// process (explorer.exe) starts with the first program that needs a window
// and ends a second after the last one has gone. Started by a test, it
// inherits that test's output pipes, and ctest then waits for the desktop,
// not the test, to finish: with parallel window tests that took up to a
// minute. wine-run.sh starts this program once, with every standard stream
// on /dev/null, so the desktop it brings up never holds a test's pipes.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Asking for the desktop window connects this process to the desktop.
  if (!GetDesktopWindow()) return 1;
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
