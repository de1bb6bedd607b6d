#pragma once
// The leaf controls: label, single-line edit, check box, speed button, and
// the timer.
#include "ui/control.h"

namespace ui {

struct LabelArgs : ControlArgs {
  bool transparent = true;
};

class Label : public GraphicControl {
 public:
  Label(WinControl *parent, const LabelArgs &args);
  bool Transparent() const { return transparent_; }
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

struct CheckBoxArgs : ControlArgs {
  bool checked = false;
};

class CheckBox : public WinControl {
 public:
  CheckBox(WinControl *parent, const CheckBoxArgs &args);
  bool Checked() const;
  void SetChecked(bool on);

 protected:
  CreateParams GetCreateParams() const override;
  void HandleCreated() override;
  HBRUSH CtlColor(HDC dc) override;

 private:
  bool checked_;
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
  void MouseDown(int x, int y) override;
  void MouseMove(int x, int y) override;
  void MouseUp(int x, int y) override;
  void MouseCancel() override;
  void OnMouseEnter(Message &m) override;
  void OnMouseLeave(Message &m) override;

 private:
  bool flat_;
  HBITMAP glyph_ = nullptr;
  bool dragging_ = false;
  bool down_ = false;
  bool mouseIn_ = false;
};

struct TimerArgs {
  UINT interval = 1000;
  bool enabled = true;
};

// Fires OnTimer every interval while enabled; a one-shot use disables it in
// its handler. Runs on a message-only window of its own.
class Timer {
 public:
  explicit Timer(const TimerArgs &args);
  ~Timer();
  Timer(const Timer &) = delete;
  Timer &operator=(const Timer &) = delete;
  UINT Interval() const { return interval_; }
  // False when the timer should run and cannot (the error is raised).
  bool SetInterval(UINT ms);
  bool Enabled() const { return enabled_; }
  bool SetEnabled(bool on);
  std::function<void()> OnTimer;

 private:
  bool Update();
  static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
  HWND hwnd_ = nullptr;
  UINT interval_;
  bool enabled_;
};

}  // namespace ui
