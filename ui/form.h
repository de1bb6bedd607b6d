#pragma once
// Top-level borderless form and panels.
#include "ui/control.h"

namespace ui {

class Form : public WinControl {
 public:
  // The bounds give the client size; the form is centred on the screen.
  explicit Form(const ControlArgs &args);
  void Show();
  void Close();
  std::function<void()> OnCreate;
  virtual void DoCreate();

 protected:
  CreateParams GetCreateParams() const override;
  void WndProc(Message &m) override;
};

enum class Bevel { None, Raised };

struct PanelArgs : ControlArgs {
  Bevel bevelOuter = Bevel::None;
  Spacing padding;
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

}  // namespace ui
