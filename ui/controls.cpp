#include "ui/controls.h"

#include "ui/application.h"

namespace ui {

// ------------------------------------------------------------------ Label

Label::Label(WinControl *parent, const LabelArgs &args)
    : GraphicControl(parent, args), transparent_(args.transparent) {}

void Label::Paint() {
  Canvas &c = GetCanvas();
  c.font = font_;
  if (!transparent_) {
    c.brush.SetColor(color_);
    c.FillRect({0, 0, width_, height_});
  }
  c.brush.style = BrushStyle::Clear;
  if (!enabled_) c.font.color = 0xFF000000u | COLOR_GRAYTEXT;
  c.TextRect({0, 0, width_, height_}, caption_, DT_LEFT | DT_TOP | DT_NOPREFIX | DT_EXPANDTABS);
}

// ------------------------------------------------------------------- Edit

Edit::Edit(WinControl *parent, const ControlArgs &args) : WinControl(parent, args) {}

WinControl::CreateParams Edit::GetCreateParams() const {
  return {L"EDIT", WS_CHILD | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, true};
}

std::string Edit::Text() const {
  if (!hwnd_) return caption_;
  const int n = GetWindowTextLengthW(hwnd_);
  std::wstring w(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd_, &w[0], n + 1);
  w.resize(static_cast<size_t>(got > 0 ? got : 0));
  return Narrow(w);
}

// --------------------------------------------------------------- CheckBox

CheckBox::CheckBox(WinControl *parent, const CheckBoxArgs &args)
    : WinControl(parent, args), checked_(args.checked) {}

WinControl::CreateParams CheckBox::GetCreateParams() const {
  return {L"BUTTON", WS_CHILD | WS_TABSTOP | BS_AUTOCHECKBOX, 0, true};
}

void CheckBox::HandleCreated() {
  SendMessageW(hwnd_, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CheckBox::Checked() const {
  if (!hwnd_) return checked_;
  return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CheckBox::SetChecked(bool on) {
  checked_ = on;
  if (hwnd_) SendMessageW(hwnd_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The box sits on its parent's colour instead of the button face.
HBRUSH CheckBox::CtlColor(HDC dc) {
  if (!bgBrush_) bgBrush_ = CreateSolidBrush(ColorToRgb(color_));
  SetBkColor(dc, ColorToRgb(color_));
  SetTextColor(dc, ColorToRgb(font_.color));
  return bgBrush_;
}

// ------------------------------------------------------------ SpeedButton

SpeedButton::SpeedButton(WinControl *parent, const SpeedButtonArgs &args)
    : GraphicControl(parent, args), flat_(args.flat) {
  doubleClicks_ = true;
}

SpeedButton::~SpeedButton() {
  if (glyph_) DeleteObject(glyph_);
}

void SpeedButton::SetGlyph(HBITMAP bitmap) {
  if (glyph_) DeleteObject(glyph_);
  glyph_ = bitmap;
  Invalidate();
}

void SpeedButton::MouseDown(int, int) {
  dragging_ = true;
  down_ = true;
  Invalidate();
}

void SpeedButton::MouseMove(int x, int y) {
  if (!dragging_) return;
  const bool inside = x >= 0 && y >= 0 && x < width_ && y < height_;
  if (inside != down_) {
    down_ = inside;
    Invalidate();
  }
}

void SpeedButton::MouseUp(int, int) {
  dragging_ = false;
  down_ = false;
  Invalidate();
}

void SpeedButton::MouseCancel() {
  MouseUp(0, 0);
}

void SpeedButton::OnMouseEnter(Message &) {
  mouseIn_ = true;
  if (flat_ && enabled_) Invalidate();
}

void SpeedButton::OnMouseLeave(Message &) {
  mouseIn_ = false;
  if (flat_ && enabled_) Invalidate();
}

// Flat: no frame until the pointer is over it, then a thin raised edge, and
// a sunken one while held down.
void SpeedButton::Paint() {
  Canvas &c = GetCanvas();
  HDC dc = c.Handle();
  if (!dc) return;
  RECT r = {0, 0, width_, height_};
  const bool pressed = dragging_ && down_;
  if (!flat_) {
    c.brush.SetColor(kBtnFace);
    c.FillRect(r);
    DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  } else if (pressed) {
    DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
  } else if (mouseIn_ && enabled_) {
    DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
  }
  if (pressed) OffsetRect(&r, 1, 1);
  if (glyph_) {
    BITMAP bm = {};
    GetObjectW(glyph_, sizeof bm, &bm);
    c.DrawTransparent(r.left + (width_ - bm.bmWidth) / 2, r.top + (height_ - bm.bmHeight) / 2,
                      glyph_);
    return;
  }
  c.font = font_;
  if (!enabled_) c.font.color = 0xFF000000u | COLOR_GRAYTEXT;
  c.brush.style = BrushStyle::Clear;
  c.TextRect(r, caption_, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// ------------------------------------------------------------------ Timer

Timer::Timer(const TimerArgs &args) : interval_(args.interval), enabled_(args.enabled) {
  Update();
}

Timer::~Timer() {
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

bool Timer::SetInterval(UINT ms) {
  interval_ = ms;
  return Update();
}

bool Timer::SetEnabled(bool on) {
  enabled_ = on;
  return Update();
}

bool Timer::Update() {
  if (hwnd_) KillTimer(hwnd_, 1);
  if (!enabled_ || interval_ == 0) return true;
  if (!hwnd_) {
    HINSTANCE inst = App().Instance();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(inst, L"TovraTimer", &wc)) {
      wc.cbSize = sizeof wc;
      wc.lpfnWndProc = StaticWndProc;
      wc.hInstance = inst;
      wc.lpszClassName = L"TovraTimer";
      RegisterClassExW(&wc);
    }
    hwnd_ =
        CreateWindowExW(0, L"TovraTimer", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, inst, this);
    if (!hwnd_) {
      App().RaiseError("Not enough timers available");
      return false;
    }
  }
  if (SetTimer(hwnd_, 1, interval_, nullptr) == 0) {
    App().RaiseError("Not enough timers available");
    return false;
  }
  return true;
}

LRESULT CALLBACK Timer::StaticWndProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  auto *self = reinterpret_cast<Timer *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self && msg == WM_NCCREATE) {
    self = static_cast<Timer *>(reinterpret_cast<CREATESTRUCTW *>(l)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (self && msg == WM_TIMER) {
    if (self->OnTimer) self->OnTimer();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, w, l);
}

}  // namespace ui
