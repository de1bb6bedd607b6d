#pragma once
// The top-level borderless form and the timers that run on its window.
#include "ui/control.h"

namespace ui {

class Form;

// Fires OnTimer every interval while enabled; a one-shot use disables it in
// its handler. A timer of the form's window, which needs the window made.
class Timer {
 public:
  Timer(Form *form, UINT interval) : form_(form), interval_(interval) {}
  Timer(const Timer &) = delete;
  Timer &operator=(const Timer &) = delete;
  UINT Interval() const { return interval_; }
  bool Enabled() const { return enabled_; }
  // False when the timer should run and cannot (the error is raised).
  bool SetEnabled(bool on);
  std::function<void()> OnTimer;

 private:
  Form *form_;
  UINT interval_;
  bool enabled_ = false;
};

class Form : public WinControl {
 public:
  // The bounds give the client size; the form is centred on the screen.
  explicit Form(const ControlArgs &args);
  void Show();
  void Close();
  // The creation handler, run once the windows are made.
  virtual void DoCreate() {}
  // A disabled timer with the given interval, owned by the form.
  Timer *AddTimer(UINT interval);

 protected:
  CreateParams GetCreateParams() const override;
  void WndProc(Message &m) override;
  void OnTimer(Message &m);
  void OnDestroy(Message &m);

 private:
  std::vector<std::unique_ptr<Timer>> timers_;
};

}  // namespace ui
