// 7ZG.EXE: our extractor's GUI front end. Command line:
//   7ZG.EXE x "<archive>" -o"<folder>" -y
// Exit codes: 0 all extracted, 1 an entry failed, 7 bad command line,
// 8 out of memory, 255 cancelled. Never 2.
#include <windows.h>

#include <memory>

#include "extractor/gui/command_line.h"
#include "extractor/gui/extract_job.h"
#include "extractor/gui/progress_dialog.h"

namespace tovra::extractor {
namespace {

// Run hidden (as the installer runs us), the progress dialog shows up once
// the work has run this long, or at once when there is something to report;
// a shorter clean run ends without any window. Nobody could see the dialog,
// and making the first window (user32, display driver, theme, input method)
// costs more than the installer's whole extraction. The product's archive
// unpacks in about 200 ms on an idle machine but took 600 ms and more on one
// busy with other work, and a dialog made then, beside the two workers, added
// some 300 ms to the install: so the limit leaves room for a slow machine.
// Run visibly, the dialog shows at once.
constexpr DWORD kHiddenDialogAfterMs = 2000;

int ExtractorMain(HINSTANCE instance, int show) {
  ExtractCommand command;
  // A bad command line ends quietly: we run hidden, nobody could answer a box.
  if (!ParseExtractCommand(GetCommandLineW(), &command)) return kExitBadCommandLine;

  // The work starts before any window exists.
  Codec codec;
  std::wstring error;
  std::unique_ptr<ExtractJob> job;
  if (codec.Load(&error)) {
    job.reset(new ExtractJob(codec, command));
    if (!job->Start()) {
      job.reset();
      error = L"无法启动解压线程";
    }
  }
  const DWORD wait = show == SW_HIDE ? kHiddenDialogAfterMs : 0;
  if (job && WaitForSingleObject(job->done(), wait) == WAIT_OBJECT_0) {
    JobSnapshot s;
    job->Read(&s);
    if (s.messages.empty() || s.exit_code == kExitCancelled) return s.exit_code;
    job->Unread();
  }

  ProgressDialog dialog;
  if (!dialog.Create(instance, show)) return kExitEntryFailed;
  if (job) {
    dialog.Follow(job.get());
  } else {
    dialog.FailAtOnce(error, kExitEntryFailed);
  }
  return dialog.Run(job.get());
}

}  // namespace
}  // namespace tovra::extractor

// The pair is built without exceptions (util/runtime/no_exceptions.cpp): a failed
// allocation ends the process with exit code 8 wherever it happens.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  return tovra::extractor::ExtractorMain(instance, show);
}
