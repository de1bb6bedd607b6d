#pragma once
// The progress dialog of 7ZG.EXE (class "#32770", from the IDD_PROGRESS
// resource). It shows the job's progress, offers background, pause and
// cancel, and at the end either closes at once (nothing to report) or lists
// the messages and waits for "关闭(&C)" for a bounded time.
#include <windows.h>

#include <string>

#include "extractor/gui/extract_job.h"

namespace tovra::extractor {

class ProgressDialog {
 public:
  bool Create(HINSTANCE instance, int show);
  HWND hwnd() const { return hwnd_; }
  // Follows `job` until JobEnded; the job must outlive the dialog.
  void Follow(ExtractJob *job);
  // Handles the dialog's messages until it is closed and gives the exit
  // code; JobEnded runs when the thread of `job` (may be null) ends.
  int Run(ExtractJob *job);
  // Ends without a job: shows `message` and waits to be closed, then exits with `code`.
  void FailAtOnce(const std::wstring &message, int code);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void OnCommand(int id);
  void OnTimer(UINT_PTR id);
  // The followed job's work has ended: close, or list its messages and wait.
  void JobEnded();
  void Refresh();
  void AddMessage(const std::wstring &text);
  void WaitForClose(int code);
  void Close();

  HWND hwnd_ = nullptr;
  ExtractJob *job_ = nullptr;
  bool paused_ = false, background_ = false, cancelling_ = false, finished_ = false;
  int exit_code_ = kExitOk;
  int shown_percent_ = -1;
};

}  // namespace tovra::extractor
