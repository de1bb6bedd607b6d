// Another program's dialog, for the watcher tests (test_dialog.h).
//   watch_dialog.exe <log> <dialog|plain> <title> <button text>...
#include <cstring>

#include "tests/watcher/test_dialog.h"

int main(int argc, char **argv) {
  if (argc < 4) return 3;
  test_dialog::LogPath = argv[1];
  if (!test_dialog::Show(std::strcmp(argv[2], "plain") != 0, argv[3], argc - 4, argv + 4)) return 4;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
