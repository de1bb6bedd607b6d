#pragma once
// The leaf controls: panel, label, single-line edit, check box, speed button.
#include "ui/control.h"

namespace ui {

enum class Bevel { None, Raised };

struct PanelArgs : ControlArgs {
  Bevel bevelOuter = Bevel::None;
};

class Panel : public WinControl {
 public:
  Panel(WinControl *parent, const PanelArgs &args);
  Bevel BevelOuter() const { return bevel_; }

 protected:
  CreateParams GetCreateParams() const override;
  void PaintWindow(HDC dc) override;

 private:
  Bevel bevel_;
};

struct LabelArgs : ControlArgs {
  bool transparent = true;
};

class Label : public GraphicControl {
 public:
  Label(WinControl *parent, const LabelArgs &args);
  void Paint() override;

 private:
  bool transparent_;
};

class Edit : public WinControl {
 public:
  Edit(WinControl *parent, const ControlArgs &args);
  std::string Text() const;
  void SetText(const std::string &cp936) { SetCaption(cp936); }

 protected:
  CreateParams GetCreateParams() const override;
};

// Unchecked when made; the state lives in the window.
class CheckBox : public WinControl {
 public:
  CheckBox(WinControl *parent, const ControlArgs &args);
  bool Checked() const;
  void SetChecked(bool on);

 protected:
  CreateParams GetCreateParams() const override;
  HBRUSH CtlColor(HDC dc) override;
};

struct SpeedButtonArgs : ControlArgs {
  bool flat = false;
};

// A windowless push button: a press captures the mouse and shows the button
// down while the pointer stays on it; a release on it clicks.
class SpeedButton : public GraphicControl {
 public:
  explicit SpeedButton(WinControl *parent, const SpeedButtonArgs &args = SpeedButtonArgs());
  ~SpeedButton() override;
  bool Flat() const { return flat_; }
  HBITMAP Glyph() const { return glyph_; }
  void SetGlyph(HBITMAP bitmap);  // takes ownership
  void Paint() override;

 protected:
  void OnLButtonDown(Message &m) override;
  void OnLButtonUp(Message &m) override;
  void OnMouseMove(Message &m) override;
  void OnMouseEnter(Message &m) override;
  void OnMouseLeave(Message &m) override;
  void OnCaptureChanged(Message &m) override;

 private:
  bool flat_;
  HBITMAP glyph_ = nullptr;
  bool down_ = false;  // while pressed: the pointer is on the button
  bool mouseIn_ = false;
};

}  // namespace ui
