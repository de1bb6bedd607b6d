#include "extractor/gui/progress_dialog.h"

#include <commctrl.h>

#include <cstdlib>

#include "extractor/gui/resource.h"

namespace tovra::extractor {
namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 100;
constexpr UINT_PTR kAutoCloseTimer = 2;
// A finished dialog with messages waits this long for "关闭(&C)" and then
// closes itself. The installer's watcher clicks within about 0.1 s, so the
// wait only matters when nobody watches: a person gets a minute to read the
// list, and an unattended install whose watcher failed stalls for no longer.
constexpr UINT kAutoCloseMs = 60 * 1000;
constexpr int kBarRange = 1000;

// _ui64tow from msvcrt: std::to_wstring would link MinGW's whole printf.
std::wstring Decimal(uint64_t n) {
  wchar_t digits[24];
  _ui64tow(n, digits, 10);
  return digits;
}

std::wstring Kilobytes(uint64_t bytes) {
  return Decimal((bytes + 1023) / 1024) + L" KB";
}

}  // namespace

bool ProgressDialog::Create(HINSTANCE instance, int show) {
  hwnd_ = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, DialogProc,
                             reinterpret_cast<LPARAM>(this));
  if (!hwnd_) return false;
  SendDlgItemMessageW(hwnd_, IDC_BAR, PBM_SETRANGE32, 0, kBarRange);
  // The installer starts us hidden; the first ShowWindow takes its choice.
  ShowWindow(hwnd_, show);
  return true;
}

void ProgressDialog::Follow(ExtractJob *job) {
  job_ = job;
  SetTimer(hwnd_, kRefreshTimer, kRefreshMs, nullptr);
}

void ProgressDialog::FailAtOnce(const std::wstring &message, int code) {
  AddMessage(message);
  WaitForClose(code);
}

INT_PTR CALLBACK ProgressDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  ProgressDialog *self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<ProgressDialog *>(lp);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, lp);
  } else {
    self = reinterpret_cast<ProgressDialog *>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  return self ? self->HandleMessage(msg, wp, lp) : FALSE;
}

INT_PTR ProgressDialog::HandleMessage(UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED) OnCommand(LOWORD(wp));
      return TRUE;
    case WM_TIMER:
      OnTimer(wp);
      return TRUE;
    case WM_CLOSE:
      OnCommand(IDCANCEL);
      return TRUE;
    case kJobDone:
      OnJobDone();
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(exit_code_);
      return TRUE;
  }
  return FALSE;
}

void ProgressDialog::OnCommand(int id) {
  if (finished_) {
    if (id == IDCANCEL) Close();
    return;
  }
  switch (id) {
    case IDC_BACKGROUND:
      // Background: the whole process drops to idle priority (the worker
      // with it) and the dialog gets out of the way; a second click undoes it.
      background_ = !background_;
      SetPriorityClass(GetCurrentProcess(),
                       background_ ? IDLE_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS);
      SetDlgItemTextW(hwnd_, IDC_BACKGROUND, background_ ? L"前台(&F)" : L"后台(&B)");
      if (background_) ShowWindow(hwnd_, SW_MINIMIZE);
      break;
    case IDC_PAUSE:
      if (!job_ || cancelling_) break;
      paused_ = !paused_;
      job_->SetPaused(paused_);
      SetDlgItemTextW(hwnd_, IDC_PAUSE, paused_ ? L"继续(&P)" : L"暂停(&P)");
      break;
    case IDCANCEL:
      if (!job_ || cancelling_) break;
      // The worker stops at its next piece of output and posts kJobDone.
      cancelling_ = true;
      job_->Cancel();
      EnableWindow(GetDlgItem(hwnd_, IDC_PAUSE), FALSE);
      EnableWindow(GetDlgItem(hwnd_, IDCANCEL), FALSE);
      break;
  }
}

void ProgressDialog::OnTimer(UINT_PTR id) {
  if (id == kRefreshTimer) {
    Refresh();
  } else if (id == kAutoCloseTimer) {
    Close();
  }
}

void ProgressDialog::Refresh() {
  if (!job_) return;
  JobSnapshot s;
  job_->Read(&s);
  SetDlgItemTextW(hwnd_, IDC_FILE, s.current.c_str());
  const int permille = s.total ? static_cast<int>(s.done * kBarRange / s.total) : 0;
  SendDlgItemMessageW(hwnd_, IDC_BAR, PBM_SETPOS, permille, 0);
  SetDlgItemTextW(hwnd_, IDC_STATS, (Kilobytes(s.done) + L" / " + Kilobytes(s.total)).c_str());
  if (permille / 10 != shown_percent_) {
    shown_percent_ = permille / 10;
    SetWindowTextW(hwnd_, (Decimal(shown_percent_) + L"% 解压文件...").c_str());
  }
  for (const std::wstring &m : s.messages) AddMessage(m);
}

void ProgressDialog::AddMessage(const std::wstring &text) {
  const LRESULT at = SendDlgItemMessageW(hwnd_, IDC_MESSAGES, LB_ADDSTRING, 0,
                                         reinterpret_cast<LPARAM>(text.c_str()));
  if (at >= 0) SendDlgItemMessageW(hwnd_, IDC_MESSAGES, LB_SETTOPINDEX, at, 0);
}

void ProgressDialog::OnJobDone() {
  KillTimer(hwnd_, kRefreshTimer);
  Refresh();
  JobSnapshot s;
  job_->Read(&s);
  const LRESULT messages = SendDlgItemMessageW(hwnd_, IDC_MESSAGES, LB_GETCOUNT, 0, 0);
  // A cancelled run and a clean run close at once; messages wait to be read.
  if (s.exit_code == kExitCancelled || messages <= 0) {
    exit_code_ = s.exit_code;
    Close();
  } else {
    WaitForClose(s.exit_code);
  }
}

void ProgressDialog::WaitForClose(int code) {
  finished_ = true;
  exit_code_ = code;
  EnableWindow(GetDlgItem(hwnd_, IDC_BACKGROUND), FALSE);
  EnableWindow(GetDlgItem(hwnd_, IDC_PAUSE), FALSE);
  HWND close = GetDlgItem(hwnd_, IDCANCEL);
  SetWindowTextW(close, L"关闭(&C)");
  EnableWindow(close, TRUE);
  SendMessageW(hwnd_, DM_SETDEFID, IDCANCEL, 0);
  SetTimer(hwnd_, kAutoCloseTimer, kAutoCloseMs, nullptr);
}

void ProgressDialog::Close() {
  if (!hwnd_) return;
  KillTimer(hwnd_, kRefreshTimer);
  KillTimer(hwnd_, kAutoCloseTimer);
  HWND h = hwnd_;
  DestroyWindow(h);  // WM_DESTROY posts the quit message with exit_code_
  hwnd_ = nullptr;
}

}  // namespace tovra::extractor
