#pragma once
// A stand-in for the extractor's progress dialog, shared by watch_dialog.exe
// and standin_extractor.exe: a real dialog ("#32770") or a window of a private
// class, with push buttons in child order. Every press, release and click that
// reaches a button is appended to a log file as "down N", "up N", "click N"
// (N counts from 1), so a test sees exactly what reached the buttons.
#include <windows.h>

#include <cstdio>

namespace test_dialog {

constexpr int kFirstButtonId = 101;

inline const char *LogPath = nullptr;
inline WNDPROC ButtonBaseProc = nullptr;
// Called with the button number on every BN_CLICKED, after it is logged.
inline void (*OnClicked)(int) = nullptr;

inline void Log(const char *what, int button) {
  char line[32];
  const int length = std::snprintf(line, sizeof line, "%s %d\n", what, button);
  HANDLE file = CreateFileA(LogPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
}

inline LRESULT CALLBACK ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
  const int number = GetDlgCtrlID(button) - kFirstButtonId + 1;
  if (message == WM_LBUTTONDOWN) Log("down", number);
  if (message == WM_LBUTTONUP) Log("up", number);
  return CallWindowProcA(ButtonBaseProc, button, message, wParam, lParam);
}

inline void AddButtons(HWND window, int count, const char *const *texts) {
  for (int i = 0; i < count; ++i) {
    HWND button = CreateWindowExA(0, "Button", texts[i], WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                  10 + 90 * i, 60, 80, 24, window,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + i)),
                                  nullptr, nullptr);
    // New children must follow the earlier ones in child order, as in a
    // dialog built from a template.
    SetWindowPos(button, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ButtonBaseProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ButtonProc)));
  }
}

inline void OnCommand(WPARAM wParam) {
  if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) >= kFirstButtonId) {
    const int number = LOWORD(wParam) - kFirstButtonId + 1;
    Log("click", number);
    if (OnClicked) OnClicked(number);
  }
}

inline INT_PTR CALLBACK DialogProc(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) {
    OnCommand(wParam);
    return TRUE;
  }
  return message == WM_INITDIALOG;
}

inline LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) OnCommand(wParam);
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

inline HWND CreateDialogWindow() {
  // An empty dialog template; the buttons are added afterwards.
  alignas(4) static WORD templ[32] = {};
  auto *dlg = reinterpret_cast<DLGTEMPLATE *>(templ);
  dlg->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  dlg->cx = 200;
  dlg->cy = 60;
  return CreateDialogIndirectParamA(nullptr, dlg, nullptr, DialogProc, 0);
}

inline HWND CreatePlainWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TovraPlainTestWindow";
  RegisterClassA(&wc);
  return CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 50, 50, 320, 140, nullptr,
                         nullptr, wc.hInstance, nullptr);
}

// Creates the window, its buttons, then its title (a test that finds the
// window by its title finds it complete), and shows it without activating.
inline HWND Show(bool dialog, const char *title, int count, const char *const *buttons) {
  HWND window = dialog ? CreateDialogWindow() : CreatePlainWindow();
  if (window == nullptr) return nullptr;
  AddButtons(window, count, buttons);
  SetWindowTextA(window, title);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  return window;
}

}  // namespace test_dialog
