// 7ZG.EXE: our extractor's GUI front end. Command line:
//   7ZG.EXE x "<archive>" -o"<folder>" -y
// Exit codes: 0 all extracted, 1 an entry failed, 7 bad command line,
// 8 out of memory, 255 cancelled. Never 2.
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <memory>

#include "extractor/gui/command_line.h"
#include "extractor/gui/extract_job.h"
#include "extractor/gui/progress_dialog.h"

namespace tovra::extractor {
namespace {

int RunExtractor(HINSTANCE instance, int show) {
  ExtractCommand command;
  // A bad command line ends quietly: we run hidden, nobody could answer a box.
  if (!ParseExtractCommand(GetCommandLineW(), &command)) return kExitBadCommandLine;

  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  ProgressDialog dialog;
  if (!dialog.Create(instance, show)) return kExitEntryFailed;
  Codec codec;
  std::wstring error;
  std::unique_ptr<ExtractJob> job;
  if (!codec.Load(&error)) {
    dialog.FailAtOnce(error, kExitEntryFailed);
  } else {
    job.reset(new ExtractJob(codec, command, dialog.hwnd(), ProgressDialog::kJobDone));
    if (job->Start()) {
      dialog.Follow(job.get());
    } else {
      dialog.FailAtOnce(L"无法启动解压线程", kExitEntryFailed);
    }
  }
  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!dialog.hwnd() || !IsDialogMessageW(dialog.hwnd(), &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace
}  // namespace tovra::extractor

// The pair is built without exceptions (util/runtime/no_exceptions.cpp): a failed
// allocation ends the process with exit code 8 wherever it happens.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  return tovra::extractor::RunExtractor(instance, show);
}
