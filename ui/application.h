#pragma once
// The application object: title, main form, message loop, and the one place
// where toolkit errors are shown.
#include <memory>
#include <string>

#include "ui/form.h"

namespace ui {

class Application {
 public:
  void Initialize(HINSTANCE instance);
  HINSTANCE Instance() const { return instance_ ? instance_ : GetModuleHandleW(nullptr); }
  void SetTitle(const std::string &cp936) { title_ = cp936; }
  const std::string &Title() const { return title_; }

  // False keeps the main form hidden for the whole run.
  bool ShowMainForm = true;

  // Builds the main form, creates its windows and runs its creation handler.
  // Null on a toolkit error (LastError).
  template <class T>
  T *CreateForm() {
    auto form = std::make_unique<T>();
    T *raw = form.get();
    return SetMainForm(std::move(form)) ? raw : nullptr;
  }
  Form *MainForm() const { return main_.get(); }
  void Run();

  // A toolkit error. While CreateForm runs it is only recorded: a form that
  // cannot be made fails CreateForm, and start-up shows LastError. At any
  // other time it goes to HandleError at once.
  void RaiseError(const std::string &message);
  const std::string &LastError() const { return lastError_; }
  // The framework's error dialog (or ErrorSink).
  void HandleError(const std::string &message);
  // Replaces the error dialog (tests).
  std::function<void(const std::string &)> ErrorSink;

 private:
  bool SetMainForm(std::unique_ptr<Form> form);

  HINSTANCE instance_ = nullptr;
  bool creating_ = false;
  std::string title_;
  std::string lastError_;
  std::unique_ptr<Form> main_;
};

Application &App();

}  // namespace ui
