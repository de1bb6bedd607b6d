// Process entry: application object, title, the setup window, message loop.
#include <windows.h>

#include <cstdlib>

#include "app/Usetup.h"
#include "ui/application.h"

namespace {

// 1 when an install was attempted in this run and failed, else 0: a script
// that runs the installer unattended can tell a failed install from a good one.
int RunSetup(HINSTANCE instance) {
  ui::Application &app = ui::App();
  app.Initialize(instance);
  app.SetTitle("安装Tovra");
  TSetupForm *form = app.CreateForm<TSetupForm>();
  if (form == nullptr) {
    app.HandleError(app.LastError());
    return 0;
  }
  app.Run();
  return form->InstallFailed() ? 1 : 0;
}

}  // namespace

// The runtime's verbose handler for an uncaught exception pulls in the C++
// demangler (about 45 KB of the image). No exception escapes WinMain, so the
// plain abort is all that can ever run here.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx

// Any failure of start-up ends in the application's error dialog; no
// exception leaves WinMain.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  try {
    return RunSetup(instance);
  } catch (...) {
    ui::App().HandleError("");
  }
  return 0;
}
