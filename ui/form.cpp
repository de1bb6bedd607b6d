#include "ui/form.h"

#include "ui/application.h"

namespace ui {

// The timer's address is its id on the window: WM_TIMER names it, and the
// form looks it up among its own, so a stray id reaches nobody.
bool Timer::SetEnabled(bool on) {
  enabled_ = on;
  HWND window = form_->Handle();
  const UINT_PTR id = reinterpret_cast<UINT_PTR>(this);
  if (!on) {
    if (window) KillTimer(window, id);
    return true;
  }
  if (window && SetTimer(window, id, interval_, nullptr) != 0) return true;
  App().RaiseError("Not enough timers available");
  return false;
}

Form::Form(const ControlArgs &args) : WinControl(nullptr, args) {
  left_ = (GetSystemMetrics(SM_CXSCREEN) - width_) / 2;
  top_ = (GetSystemMetrics(SM_CYSCREEN) - height_) / 2;
}

Timer *Form::AddTimer(UINT interval) {
  timers_.push_back(std::make_unique<Timer>(this, interval));
  return timers_.back().get();
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

void Form::WndProc(Message &m) {
  switch (m.Msg) {
    case WM_TIMER:
      OnTimer(m);
      break;
    case WM_DESTROY:
      OnDestroy(m);
      break;
    default:
      WinControl::WndProc(m);
      break;
  }
}

void Form::OnTimer(Message &m) {
  for (auto &t : timers_) {
    if (reinterpret_cast<UINT_PTR>(t.get()) != m.WParam) continue;
    if (t->OnTimer) t->OnTimer();
    return;
  }
  DefaultHandler(m);
}

void Form::OnDestroy(Message &m) {
  if (App().MainForm() == this) PostQuitMessage(0);
  DefaultHandler(m);
}

}  // namespace ui
