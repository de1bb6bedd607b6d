#pragma once
// MySpeed2: the owner-drawn push button of the setup window.
#include "ui/controls.h"

class MySpeed2 : public ui::SpeedButton {
 public:
  explicit MySpeed2(ui::WinControl *owner);

  void Paint() override;
  void DrawFrame(int h);
  void MyProc(ui::Message &m);
  void InvalidateParent();

  // The base colour, written directly: no change notice, no repaint.
  void SetColor(ui::Color c) { color_ = c; }

  // Plain stored values: writing one repaints nothing.
  ui::Color OverColor;
  ui::Color DownColor;
  ui::Color BorderColor;
  ui::Color BorderOverColor;
  ui::Color CycleColor;
  ui::Color ParentColor;
  int TextHeight;
  int TextWidth;

  ui::WndMethod SavedWindowProc;
  bool MouseOver;
  bool MousePressed;
  bool NeedsMeasure;

  // True while any MySpeed2 paint runs, shared by all instances.
  static bool PaintBusy;

  // Where the last paint drew the caption's top-left corner.
  POINT CaptionOrigin() const { return captionOrigin_; }

 private:
  void PassOn(ui::Message &m);
  POINT captionOrigin_ = {0, 0};
};

// The centring offset of a difference: half of it, truncated toward zero,
// plus the remainder, so an odd difference leaves the spare pixel on the left.
inline int CentringOffset(int d) {
  return d / 2 + d % 2;
}

// The disabled caption colour: the channel-wise mean of the two stored
// values, system-colour references unresolved, top byte 0.
ui::Color DisabledCaptionColor(ui::Color font, ui::Color face);
