// The sample service program. The installer never runs it; it only reads its
// fixed file version, so the program itself does nothing and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return 0;
}
