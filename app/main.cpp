// Process entry: application object, title, the setup window, message loop.
#include <windows.h>

#include "app/Usetup.h"
#include "ui/application.h"
#include "util/system_win.h"

namespace {

// 1 when an install was attempted in this run and failed, else 0: a script
// that runs the installer unattended can tell a failed install from a good one.
int RunSetup(HINSTANCE instance) {
  // No "no disk" box for an empty CD or card drive that a file operation
  // touches: the operation fails and the install reports it. On this thread
  // and the install worker's only: the programs we start keep the mode the
  // system gave us.
  FailCriticalErrorsOnThisThread();
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

// Any failure of start-up ends in the application's error dialog. The
// installer is built without exceptions (util/runtime/no_exceptions.cpp), so
// none can leave WinMain.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return RunSetup(instance);
}
