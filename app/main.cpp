// Process entry: application object, title, the setup window, message loop.
#include <windows.h>

#include <cstdlib>

#include "app/Usetup.h"
#include "ui/application.h"

namespace {

// The process exit code; the window's outcome does not change it.
constexpr int kExitCode = 0;

void RunSetup(HINSTANCE instance) {
  ui::Application &app = ui::App();
  app.Initialize(instance);
  app.SetTitle("安装Tovra");
  if (!app.CreateForm<TSetupForm>()) {
    app.HandleError(app.LastError());
    return;
  }
  app.Run();
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
    RunSetup(instance);
  } catch (...) {
    ui::App().HandleError("");
  }
  return kExitCode;
}
