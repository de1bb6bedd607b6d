// A stand-in for the extractor's progress dialog, for the watcher tests.
//   watch_dialog.exe <log> <dialog|plain> <title> <button text>...
// Shows one top-level window: a real dialog ("#32770") or a window of a
// private class, with the given title and push buttons in child order. Every
// button press, release and click is appended to <log> as "down N", "up N",
// "click N" (N counts from 1), so a test sees exactly what reached the buttons.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const char *g_log = nullptr;
constexpr int kFirstButtonId = 101;
WNDPROC g_buttonProc = nullptr;

void Log(const char *what, int button) {
  char line[32];
  const int length = std::snprintf(line, sizeof line, "%s %d\n", what, button);
  HANDLE file = CreateFileA(g_log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
}

LRESULT CALLBACK ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
  const int number = GetDlgCtrlID(button) - kFirstButtonId + 1;
  if (message == WM_LBUTTONDOWN) Log("down", number);
  if (message == WM_LBUTTONUP) Log("up", number);
  return CallWindowProcA(g_buttonProc, button, message, wParam, lParam);
}

void AddButtons(HWND window, int count, char **texts) {
  for (int i = 0; i < count; ++i) {
    HWND button = CreateWindowExA(0, "Button", texts[i], WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                  10 + 90 * i, 60, 80, 24, window,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + i)),
                                  nullptr, nullptr);
    // New children must follow the earlier ones in child order, as in a
    // dialog built from a template.
    SetWindowPos(button, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    g_buttonProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ButtonProc)));
  }
}

void OnCommand(WPARAM wParam) {
  if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) >= kFirstButtonId) {
    Log("click", LOWORD(wParam) - kFirstButtonId + 1);
  }
}

INT_PTR CALLBACK DialogProc(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) {
    OnCommand(wParam);
    return TRUE;
  }
  return message == WM_INITDIALOG;
}

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) OnCommand(wParam);
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateDialogWindow() {
  // An empty dialog template; the buttons are added afterwards.
  alignas(4) static WORD templ[32] = {};
  auto *dlg = reinterpret_cast<DLGTEMPLATE *>(templ);
  dlg->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  dlg->cx = 200;
  dlg->cy = 60;
  return CreateDialogIndirectParamA(nullptr, dlg, nullptr, DialogProc, 0);
}

HWND CreatePlainWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TovraPlainTestWindow";
  RegisterClassA(&wc);
  return CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 50, 50, 320, 140, nullptr,
                         nullptr, wc.hInstance, nullptr);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 4) return 3;
  g_log = argv[1];
  HWND window = std::strcmp(argv[2], "plain") == 0 ? CreatePlainWindow() : CreateDialogWindow();
  if (window == nullptr) return 4;
  AddButtons(window, argc - 4, argv + 4);
  // The title last: a test that finds the window by it finds it complete.
  SetWindowTextA(window, argv[3]);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
