#include "ui/application.h"

#include <commctrl.h>

namespace ui {

Application &App() {
  static Application app;
  return app;
}

void Application::Initialize(HINSTANCE instance) {
  instance_ = instance ? instance : GetModuleHandleW(nullptr);
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
}

bool Application::SetMainForm(std::unique_ptr<Form> form) {
  main_ = std::move(form);
  // The task-bar button of the borderless main form shows the title.
  if (main_->Caption().empty()) main_->SetCaption(title_);
  creating_ = true;
  const bool created = main_->CreateHandle();
  if (created) main_->DoCreate();
  creating_ = false;
  if (!created) main_.reset();
  return created;
}

// Errors after start-up (a timer that cannot be set, a control added later
// whose window cannot be made) would otherwise go unseen.
void Application::RaiseError(const std::string &message) {
  lastError_ = message;
  if (!creating_) HandleError(message);
}

// IsDialogMessage gives the form Tab navigation between its edit and check box.
void Application::Run() {
  Form *main = MainForm();
  if (!main) return;
  if (ShowMainForm) main->Show();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (main->Handle() && IsDialogMessageW(main->Handle(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Application::HandleError(const std::string &message) {
  if (ErrorSink) {
    ErrorSink(message);
    return;
  }
  Form *main = MainForm();
  std::wstring text = Widen(message);
  std::wstring caption = Widen(title_);
  MessageBoxW(main ? main->Handle() : nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace ui
