#include "ui/form.h"

#include "ui/application.h"

namespace ui {

Form::Form(const ControlArgs &args) : WinControl(nullptr, args) {
  left_ = (GetSystemMetrics(SM_CXSCREEN) - width_) / 2;
  top_ = (GetSystemMetrics(SM_CYSCREEN) - height_) / 2;
}

// Borderless: no caption bar, no sizing frame, so the window rectangle is
// the client rectangle. WS_EX_APPWINDOW keeps a task-bar button.
WinControl::CreateParams Form::GetCreateParams() const {
  return {L"TovraForm", WS_POPUP | WS_CLIPCHILDREN, WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, false};
}

void Form::Show() {
  if (!hwnd_) return;
  visible_ = true;
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  UpdateWindow(hwnd_);
}

// Posted, so a click handler that closes the form finishes before the
// windows go away.
void Form::Close() {
  if (hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void Form::DoCreate() {
  if (OnCreate) OnCreate();
}

void Form::WndProc(Message &m) {
  switch (m.Msg) {
    case WM_DESTROY:
      if (App().MainForm() == this) PostQuitMessage(0);
      DefaultHandler(m);
      break;
    default:
      WinControl::WndProc(m);
      break;
  }
}

Panel::Panel(WinControl *parent, const PanelArgs &args)
    : WinControl(parent, args), bevel_(args.bevelOuter) {
  Padding = args.padding;
}

WinControl::CreateParams Panel::GetCreateParams() const {
  return {L"TovraPanel", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, false};
}

// A raised outer bevel: one line of highlight on the top and left, one of
// shadow on the bottom and right.
void Panel::PaintWindow(HDC dc) {
  WinControl::PaintWindow(dc);
  if (bevel_ != Bevel::Raised) return;
  RECT r = {0, 0, width_, height_};
  HBRUSH light = GetSysColorBrush(COLOR_BTNHIGHLIGHT);
  HBRUSH shadow = GetSysColorBrush(COLOR_BTNSHADOW);
  RECT top = {r.left, r.top, r.right - 1, r.top + 1};
  RECT left = {r.left, r.top, r.left + 1, r.bottom - 1};
  RECT bottom = {r.left, r.bottom - 1, r.right, r.bottom};
  RECT right = {r.right - 1, r.top, r.right, r.bottom};
  FillRect(dc, &top, light);
  FillRect(dc, &left, light);
  FillRect(dc, &bottom, shadow);
  FillRect(dc, &right, shadow);
}

}  // namespace ui
