#include "widgets/Myspeed2.h"

#include <algorithm>

bool MySpeed2::PaintBusy = false;

namespace {
constexpr ui::Color kDownFrameColor = 6052956;  // #5C5C5C
constexpr int kCornerEllipse = 3;
constexpr int kGlyphGap = 3;
}  // namespace

MySpeed2::MySpeed2(ui::WinControl *owner) : ui::SpeedButton(owner) {
  NeedsMeasure = true;
  SetBounds(Left(), Top(), 60, 24);
  TextWidth = 0;
  TextHeight = 14;
  MousePressed = false;
  MouseOver = false;
  OverColor = 15784428;        // #ECD9F0
  DownColor = 16307128;        // #B8D3F8
  BorderColor = 9011433;       // #E98089
  BorderOverColor = 16744576;  // #8080FF
  CycleColor = 16307128;       // #B8D3F8
  color_ = 16307128;           // #B8D3F8
  ParentColor = color_;
  SavedWindowProc = WindowProc;
  WindowProc = [this](ui::Message &m) { MyProc(m); };
}

ui::Color DisabledCaptionColor(ui::Color font, ui::Color face) {
  ui::Color out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const ui::Color a = (font >> shift) & 0xFF, b = (face >> shift) & 0xFF;
    out |= ((a + b) >> 1) << shift;
  }
  return out;
}

void MySpeed2::PassOn(ui::Message &m) {
  if (SavedWindowProc) SavedWindowProc(m);
}

// The two state flags are kept here and drawn at once, outside the paint
// cycle. Enter and leave stop here; presses and releases go through the base
// press/click logic first, so OnClick runs while MousePressed is still set.
void MySpeed2::MyProc(ui::Message &m) {
  switch (m.Msg) {
    case ui::CM_MOUSEENTER:
      MouseOver = true;
      Paint();
      break;
    case ui::CM_MOUSELEAVE:
      MouseOver = false;
      Paint();
      break;
    case WM_LBUTTONDOWN:
      PassOn(m);
      MousePressed = true;
      Paint();
      break;
    case WM_LBUTTONUP:
      PassOn(m);
      MousePressed = false;
      InvalidateParent();
      Paint();
      break;
    case WM_CAPTURECHANGED:
      // The press lost its capture (the parent routes the loss here): the
      // base cancels it without a click, and the look goes back to Normal or
      // Over as after a release.
      PassOn(m);
      MousePressed = false;
      InvalidateParent();
      Paint();
      break;
    default:
      PassOn(m);
      break;
  }
}

void MySpeed2::Paint() {
  ui::Canvas &c = GetCanvas();
  // The paint cycle holds one lock; more means another paint of this surface
  // is under way.
  if (c.LockCount() > 1) return;
  if (PaintBusy) return;
  PaintBusy = true;
  c.Lock();

  const int w = Width();
  const int h = Height();

  bool measure = false;
  if (NeedsMeasure) {
    NeedsMeasure = false;
    measure = true;
  } else if (TextWidth == 0) {
    measure = true;
  }
  if (measure) {
    c.font.name = GetFont().name;
    c.font.height = GetFont().height;
    c.font.color = GetFont().color;
    TextWidth = c.TextWidth(Caption());
  }

  c.brush.style = ui::BrushStyle::Solid;
  c.pen.style = ui::PenStyle::Solid;
  c.pen.width = 1;

  // Every rounded fill takes its outline in the face colour: the outline
  // lies on the outermost ring, which the frame and the corner pixels cover.
  if (!MouseOver) {
    c.brush.SetColor(ParentColor);
    c.FillRect({0, 0, w, h});
    if (color_ != ParentColor) {
      c.brush.SetColor(color_);
      c.pen.color = color_;
      c.RoundRect(0, 0, w, h, kCornerEllipse, kCornerEllipse);
    }
    c.pen.color = BorderColor;
    DrawFrame(h);
  } else if (MousePressed) {
    c.brush.SetColor(DownColor);
    c.pen.color = DownColor;
    c.RoundRect(0, 0, w, h, kCornerEllipse, kCornerEllipse);
    c.pen.color = kDownFrameColor;
    DrawFrame(h);
  } else if (Enabled()) {
    c.brush.SetColor(OverColor);
    c.pen.color = OverColor;
    c.RoundRect(0, 0, w, h, kCornerEllipse, kCornerEllipse);
    c.pen.color = BorderOverColor;
    DrawFrame(h);
  }

  c.brush.SetColor(CycleColor);
  c.pen.style = ui::PenStyle::Clear;

  int x;
  HBITMAP glyph = Glyph();
  BITMAP bm = {};
  if (glyph) GetObjectW(glyph, sizeof bm, &bm);
  if (bm.bmWidth <= 0) {
    x = CentringOffset(w - TextWidth);
  } else {
    int g = bm.bmWidth;
    if (TextWidth > 0) g += TextWidth + kGlyphGap;
    const int gx = CentringOffset(w - g);
    const int gy = CentringOffset(h - bm.bmHeight);
    c.DrawTransparent(gx, gy, glyph);
    x = gx + bm.bmWidth + kGlyphGap;
  }
  const int y = (h - TextHeight) / 2;

  c.font.color = Enabled() ? GetFont().color : DisabledCaptionColor(GetFont().color, color_);
  c.brush.style = ui::BrushStyle::Clear;

  const int l = Margins.Left, r = Margins.Right;
  if (l > r) {
    x = std::max(x, l);
  } else if (l < r && w - r < x + TextWidth) {
    x = w - r - TextWidth;
  }

  captionOrigin_ = {x, MousePressed ? y + 1 : y};
  c.TextOut(captionOrigin_.x, captionOrigin_.y, Caption());

  c.Unlock();
  PaintBusy = false;
}

// A closed path of one-pixel lines, each without its end point, so every
// diagonal sets one pixel besides its start; then the 12 corner pixels take
// the colour behind the button.
void MySpeed2::DrawFrame(int h) {
  ui::Canvas &c = GetCanvas();
  const int w = Width();
  c.MoveTo(w - 3, 0);
  c.LineTo(2, 0);
  c.LineTo(0, 2);
  c.LineTo(0, h - 3);
  c.LineTo(2, h - 1);
  c.LineTo(w - 3, h - 1);
  c.LineTo(w - 1, h - 3);
  c.LineTo(w - 1, 2);
  c.LineTo(w - 3, 0);
  const POINT corners[12] = {{0, 0},     {0, 1},         {1, 0},         {w - 1, 0},
                             {w - 1, 1}, {w - 2, 0},     {0, h - 1},     {0, h - 2},
                             {1, h - 1}, {w - 1, h - 1}, {w - 1, h - 2}, {w - 2, h - 1}};
  for (const POINT &p : corners) c.SetPixel(p.x, p.y, ParentColor);
}

// Fills the inner rectangle with the colour behind the button. The outline
// is still off from the last paint, and without one the rectangle leaves out
// its last column and row. The parent is not asked to repaint.
void MySpeed2::InvalidateParent() {
  if (!Parent()) return;
  ui::Canvas &c = GetCanvas();
  c.brush.SetColor(ParentColor);
  c.Rectangle(2, 2, Width() - 4, Height() - 4);
}
