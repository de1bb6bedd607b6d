#pragma once
// A drawing surface with Delphi-like state: brush, pen, font and pen position
// persist across the device contexts it is attached to.
#include "ui/types.h"

namespace ui {

// Supplies a device context on demand to a canvas that has none attached.
class CanvasOwner {
 public:
  virtual HDC AcquireCanvasDC() = 0;
  virtual void ReleaseCanvasDC(HDC dc) = 0;

 protected:
  ~CanvasOwner() = default;
};

enum class BrushStyle { Solid, Clear };
enum class PenStyle { Solid, Clear };

struct Brush {
  Color color = kWhite;
  BrushStyle style = BrushStyle::Solid;
  void SetColor(Color c) {
    color = c;
    style = BrushStyle::Solid;
  }
};

struct Pen {
  Color color = 0;
  int width = 1;
  PenStyle style = PenStyle::Solid;
};

class Canvas {
 public:
  explicit Canvas(CanvasOwner *owner = nullptr) : owner_(owner) {}
  ~Canvas() { FreeHandle(); }
  Canvas(const Canvas &) = delete;
  Canvas &operator=(const Canvas &) = delete;

  void Lock() { ++lockCount_; }
  void Unlock() { --lockCount_; }
  int LockCount() const { return lockCount_; }

  HDC Handle();
  HDC Attach(HDC dc);
  void FreeHandle();

  Brush brush;
  Pen pen;
  Font font;

  void FillRect(const RECT &r);
  void Rectangle(int x1, int y1, int x2, int y2);
  void RoundRect(int x1, int y1, int x2, int y2, int cw, int ch);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void SetPixel(int x, int y, Color c);
  void TextOut(int x, int y, const std::string &text);
  int TextWidth(const std::string &text);
  void TextRect(RECT r, const std::string &text, UINT format);
  void DrawTransparent(int x, int y, HBITMAP bitmap);

 private:
  void SetTextColors(HDC dc);
  CanvasOwner *owner_;
  HDC attached_ = nullptr;
  HDC acquired_ = nullptr;
  int lockCount_ = 0;
  POINT penPos_ = {0, 0};
};

}  // namespace ui
