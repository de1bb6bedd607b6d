#include "ui/controls.h"

namespace ui {

// ------------------------------------------------------------------ Panel

Panel::Panel(WinControl *parent, const PanelArgs &args)
    : WinControl(parent, args), bevel_(args.bevelOuter) {}

WinControl::CreateParams Panel::GetCreateParams() const {
  return {L"TovraPanel", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, false};
}

// A raised outer bevel: one line of highlight on the top and left, one of
// shadow on the bottom and right.
void Panel::PaintWindow(HDC dc) {
  WinControl::PaintWindow(dc);
  if (bevel_ != Bevel::Raised) return;
  HBRUSH light = GetSysColorBrush(COLOR_BTNHIGHLIGHT);
  HBRUSH shadow = GetSysColorBrush(COLOR_BTNSHADOW);
  const RECT top = {0, 0, width_ - 1, 1};
  const RECT left = {0, 0, 1, height_ - 1};
  const RECT bottom = {0, height_ - 1, width_, height_};
  const RECT right = {width_ - 1, 0, width_, height_};
  FillRect(dc, &top, light);
  FillRect(dc, &left, light);
  FillRect(dc, &bottom, shadow);
  FillRect(dc, &right, shadow);
}

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

CheckBox::CheckBox(WinControl *parent, const ControlArgs &args) : WinControl(parent, args) {}

WinControl::CreateParams CheckBox::GetCreateParams() const {
  return {L"BUTTON", WS_CHILD | WS_TABSTOP | BS_AUTOCHECKBOX, 0, true};
}

bool CheckBox::Checked() const {
  return hwnd_ && SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CheckBox::SetChecked(bool on) {
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
    : GraphicControl(parent, args), flat_(args.flat) {}

SpeedButton::~SpeedButton() {
  if (glyph_) DeleteObject(glyph_);
}

void SpeedButton::SetGlyph(HBITMAP bitmap) {
  if (glyph_) DeleteObject(glyph_);
  glyph_ = bitmap;
  Invalidate();
}

void SpeedButton::OnLButtonDown(Message &m) {
  GraphicControl::OnLButtonDown(m);
  down_ = true;
  Invalidate();
}

// Dragged off while pressed, the button shows up again; back on, down.
void SpeedButton::OnMouseMove(Message &m) {
  if (!Pressed()) return;
  const bool inside = Contains(m.LParam);
  if (inside != down_) {
    down_ = inside;
    Invalidate();
  }
}

void SpeedButton::OnLButtonUp(Message &m) {
  GraphicControl::OnLButtonUp(m);
  Invalidate();
}

void SpeedButton::OnCaptureChanged(Message &m) {
  GraphicControl::OnCaptureChanged(m);
  Invalidate();
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
  const bool pressed = Pressed() && down_;
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

}  // namespace ui
