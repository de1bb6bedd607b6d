// Stands in for 7ZG.EXE in the extraction tests. Copied into a test folder as
// 7ZG.EXE next to a file "standin.cfg" that holds:
//   line 1: the exit code to end with
//   line 2: a pause in milliseconds before exiting
//   line 3 (optional): a dialog title. Then the stand-in shows its own
//     finished dialog under that title (test_dialog.h) with the buttons
//     "后台(&B)", "暂停(&P)" and "关闭(&C)", logged to "dialog.txt" beside it.
//     A click on "关闭(&C)" ends it with the exit code; otherwise it closes
//     by itself after the pause, as the extractor does, and exits with 1.
// It records its command line and working folder in "cmdline.txt" and
// "cwd.txt" beside itself.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/files.h"
#include "tests/watcher/test_dialog.h"

namespace {

using test_support::WriteText;

int g_code = 0;

void Closed(int button) {
  if (button == 3) PostQuitMessage(g_code);
}

// The finished dialog, waiting to be closed; the exit code of the run.
int ShowFinishedDialog(const char *title, int pause) {
  static std::string log;
  log = test_support::ProgramFolder() + "dialog.txt";
  test_dialog::LogPath = log.c_str();
  test_dialog::OnClicked = Closed;
  const char *const buttons[] = {"后台(&B)", "暂停(&P)", "关闭(&C)"};
  HWND dialog = test_dialog::Show(true, title, 3, buttons);
  if (dialog == nullptr) return 98;
  SetTimer(dialog, 1, static_cast<UINT>(pause), nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == dialog) return 1;  // closed by itself
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace

int main() {
  const std::string folder = test_support::ProgramFolder();
  WriteText(folder + "cmdline.txt", GetCommandLineA());
  char cwd[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, cwd);
  WriteText(folder + "cwd.txt", cwd);

  int pause = 0;
  char title[MAX_PATH] = {};
  if (FILE *cfg = std::fopen((folder + "standin.cfg").c_str(), "rb")) {
    if (std::fscanf(cfg, "%d %d ", &g_code, &pause) != 2) g_code = 99;
    if (std::fgets(title, sizeof title, cfg)) title[std::strcspn(title, "\r\n")] = 0;
    std::fclose(cfg);
  }
  if (title[0] != '\0') return ShowFinishedDialog(title, pause);
  Sleep(pause);
  return g_code;
}
