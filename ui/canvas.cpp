#include "ui/canvas.h"

namespace ui {
namespace {

// Selects a freshly made GDI object for one call and deletes it afterwards:
// a paint makes a few dozen calls, and nothing is left selected in a device
// context that another owner will release.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ obj, bool owned) : dc_(dc), obj_(obj), owned_(owned) {
    old_ = SelectObject(dc, obj);
  }
  ~Selected() {
    SelectObject(dc_, old_);
    if (owned_) DeleteObject(obj_);
  }
  Selected(const Selected &) = delete;
  Selected &operator=(const Selected &) = delete;

 private:
  HDC dc_;
  HGDIOBJ obj_;
  HGDIOBJ old_;
  bool owned_;
};

HGDIOBJ MakeBrush(const Brush &b) {
  if (b.style == BrushStyle::Clear) return GetStockObject(NULL_BRUSH);
  return CreateSolidBrush(ColorToRgb(b.color));
}

HGDIOBJ MakePen(const Pen &p) {
  if (p.style == PenStyle::Clear) return GetStockObject(NULL_PEN);
  return CreatePen(PS_SOLID, p.width, ColorToRgb(p.color));
}

}  // namespace

HDC Canvas::Handle() {
  if (attached_) return attached_;
  if (!acquired_ && owner_) acquired_ = owner_->AcquireCanvasDC();
  return acquired_;
}

// The paint cycle attaches its own context for the length of one Paint and
// restores the previous one afterwards, so the call nests.
HDC Canvas::Attach(HDC dc) {
  HDC prev = attached_;
  attached_ = dc;
  return prev;
}

void Canvas::FreeHandle() {
  if (acquired_ && owner_) owner_->ReleaseCanvasDC(acquired_);
  acquired_ = nullptr;
}

void Canvas::FillRect(const RECT &r) {
  HDC dc = Handle();
  if (!dc || brush.style == BrushStyle::Clear) return;
  HBRUSH b = CreateSolidBrush(ColorToRgb(brush.color));
  ::FillRect(dc, &r, b);
  DeleteObject(b);
}

void Canvas::Rectangle(int x1, int y1, int x2, int y2) {
  HDC dc = Handle();
  if (!dc) return;
  Selected p(dc, MakePen(pen), pen.style == PenStyle::Solid);
  Selected b(dc, MakeBrush(brush), brush.style == BrushStyle::Solid);
  ::Rectangle(dc, x1, y1, x2, y2);
}

void Canvas::RoundRect(int x1, int y1, int x2, int y2, int cw, int ch) {
  HDC dc = Handle();
  if (!dc) return;
  Selected p(dc, MakePen(pen), pen.style == PenStyle::Solid);
  Selected b(dc, MakeBrush(brush), brush.style == BrushStyle::Solid);
  ::RoundRect(dc, x1, y1, x2, y2, cw, ch);
}

void Canvas::MoveTo(int x, int y) {
  penPos_ = {x, y};
}

void Canvas::LineTo(int x, int y) {
  HDC dc = Handle();
  if (dc) {
    Selected p(dc, MakePen(pen), pen.style == PenStyle::Solid);
    MoveToEx(dc, penPos_.x, penPos_.y, nullptr);
    ::LineTo(dc, x, y);
  }
  penPos_ = {x, y};
}

void Canvas::SetPixel(int x, int y, Color c) {
  HDC dc = Handle();
  if (dc) SetPixelV(dc, x, y, ColorToRgb(c));
}

// Text takes the font's colour, on the brush's colour unless the brush is
// clear.
void Canvas::SetTextColors(HDC dc) {
  SetTextColor(dc, ColorToRgb(font.color));
  SetBkMode(dc, brush.style == BrushStyle::Clear ? TRANSPARENT : OPAQUE);
  SetBkColor(dc, ColorToRgb(brush.color));
}

void Canvas::TextOut(int x, int y, const std::string &text) {
  HDC dc = Handle();
  if (!dc) return;
  std::wstring w = Widen(text);
  Selected f(dc, CreateFontHandle(font), true);
  SetTextColors(dc);
  SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  ExtTextOutW(dc, x, y, 0, nullptr, w.c_str(), static_cast<UINT>(w.size()), nullptr);
}

// Measures with the screen when no surface is at hand (a control whose
// parent has no window yet), which gives the same widths.
int Canvas::TextWidth(const std::string &text) {
  HDC dc = Handle();
  HDC screen = nullptr;
  if (!dc) dc = screen = GetDC(nullptr);
  std::wstring w = Widen(text);
  SIZE size = {0, 0};
  {
    Selected f(dc, CreateFontHandle(font), true);
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
  }
  if (screen) ReleaseDC(nullptr, screen);
  return size.cx;
}

void Canvas::TextRect(RECT r, const std::string &text, UINT format) {
  HDC dc = Handle();
  if (!dc) return;
  std::wstring w = Widen(text);
  Selected f(dc, CreateFontHandle(font), true);
  SetTextColors(dc);
  DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, format);
}

// The bitmap's bottom-left pixel names its transparent colour. A monochrome
// mask and two XOR passes keep the surface under it, without msimg32.
void Canvas::DrawTransparent(int x, int y, HBITMAP bitmap) {
  HDC dc = Handle();
  BITMAP bm = {};
  if (!dc || !bitmap || !GetObjectW(bitmap, sizeof bm, &bm)) return;
  HDC src = CreateCompatibleDC(dc);
  HDC mask = CreateCompatibleDC(dc);
  HBITMAP maskBits = CreateBitmap(bm.bmWidth, bm.bmHeight, 1, 1, nullptr);
  HGDIOBJ oldSrc = SelectObject(src, bitmap);
  HGDIOBJ oldMask = SelectObject(mask, maskBits);
  SetBkColor(src, ::GetPixel(src, 0, bm.bmHeight - 1));
  BitBlt(mask, 0, 0, bm.bmWidth, bm.bmHeight, src, 0, 0, SRCCOPY);
  const COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
  const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  BitBlt(dc, x, y, bm.bmWidth, bm.bmHeight, src, 0, 0, SRCINVERT);
  BitBlt(dc, x, y, bm.bmWidth, bm.bmHeight, mask, 0, 0, SRCAND);
  BitBlt(dc, x, y, bm.bmWidth, bm.bmHeight, src, 0, 0, SRCINVERT);
  SetBkColor(dc, oldBk);
  SetTextColor(dc, oldText);
  SelectObject(mask, oldMask);
  SelectObject(src, oldSrc);
  DeleteObject(maskBits);
  DeleteDC(mask);
  DeleteDC(src);
}

}  // namespace ui
