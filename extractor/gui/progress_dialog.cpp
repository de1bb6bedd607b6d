#include "extractor/gui/progress_dialog.h"

#include <commctrl.h>

#include <cstdlib>

#include "extractor/gui/resource.h"
#include "util/system_win.h"

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

// user32 and comctl32, loaded when the dialog is made instead of imported:
// a process that loads user32 starts tens of milliseconds later under Wine
// (display driver, input method, theme), and a short run never shows the
// dialog. Both from the system folder, by full path. Every window call of
// 7ZG.EXE goes through this table; PeCheck makes sure nothing imports user32.
struct WindowApi {
  decltype(&::CreateDialogParamW) CreateDialogParamW;
  decltype(&::DestroyWindow) DestroyWindow;
  decltype(&::DispatchMessageW) DispatchMessageW;
  decltype(&::EnableWindow) EnableWindow;
  decltype(&::GetDlgItem) GetDlgItem;
  decltype(&::GetWindowLongPtrW) GetWindowLongPtrW;
  decltype(&::IsDialogMessageW) IsDialogMessageW;
  decltype(&::KillTimer) KillTimer;
  decltype(&::MsgWaitForMultipleObjectsEx) MsgWaitForMultipleObjectsEx;
  decltype(&::PeekMessageW) PeekMessageW;
  decltype(&::PostQuitMessage) PostQuitMessage;
  decltype(&::SendDlgItemMessageW) SendDlgItemMessageW;
  decltype(&::SendMessageW) SendMessageW;
  decltype(&::SetDlgItemTextW) SetDlgItemTextW;
  decltype(&::SetTimer) SetTimer;
  decltype(&::SetWindowLongPtrW) SetWindowLongPtrW;
  decltype(&::SetWindowTextW) SetWindowTextW;
  decltype(&::ShowWindow) ShowWindow;
  decltype(&::TranslateMessage) TranslateMessage;
};
WindowApi ui;

// On 32-bit Windows the ...LongPtr functions are macros for the plain ones.
#ifdef _WIN64
constexpr char kGetWindowLongPtr[] = "GetWindowLongPtrW";
constexpr char kSetWindowLongPtr[] = "SetWindowLongPtrW";
#else
constexpr char kGetWindowLongPtr[] = "GetWindowLongW";
constexpr char kSetWindowLongPtr[] = "SetWindowLongW";
#endif

bool LoadWindowApi() {
  HMODULE u = LoadSystemLibrary(L"user32.dll");
  if (!u) return false;
  const bool all = FindExport(u, "CreateDialogParamW", &ui.CreateDialogParamW) &&
                   FindExport(u, "DestroyWindow", &ui.DestroyWindow) &&
                   FindExport(u, "DispatchMessageW", &ui.DispatchMessageW) &&
                   FindExport(u, "EnableWindow", &ui.EnableWindow) &&
                   FindExport(u, "GetDlgItem", &ui.GetDlgItem) &&
                   FindExport(u, kGetWindowLongPtr, &ui.GetWindowLongPtrW) &&
                   FindExport(u, "IsDialogMessageW", &ui.IsDialogMessageW) &&
                   FindExport(u, "KillTimer", &ui.KillTimer) &&
                   FindExport(u, "MsgWaitForMultipleObjectsEx", &ui.MsgWaitForMultipleObjectsEx) &&
                   FindExport(u, "PeekMessageW", &ui.PeekMessageW) &&
                   FindExport(u, "PostQuitMessage", &ui.PostQuitMessage) &&
                   FindExport(u, "SendDlgItemMessageW", &ui.SendDlgItemMessageW) &&
                   FindExport(u, "SendMessageW", &ui.SendMessageW) &&
                   FindExport(u, "SetDlgItemTextW", &ui.SetDlgItemTextW) &&
                   FindExport(u, "SetTimer", &ui.SetTimer) &&
                   FindExport(u, kSetWindowLongPtr, &ui.SetWindowLongPtrW) &&
                   FindExport(u, "SetWindowTextW", &ui.SetWindowTextW) &&
                   FindExport(u, "ShowWindow", &ui.ShowWindow) &&
                   FindExport(u, "TranslateMessage", &ui.TranslateMessage);
  if (!all) return false;
  // The progress bar's class; without it the dialog cannot be made.
  HMODULE comctl = LoadSystemLibrary(L"comctl32.dll");
  BOOL(WINAPI * init)(const INITCOMMONCONTROLSEX *) = nullptr;
  if (!comctl || !FindExport(comctl, "InitCommonControlsEx", &init)) return false;
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  return init(&icc) != FALSE;
}

}  // namespace

bool ProgressDialog::Create(HINSTANCE instance, int show) {
  if (!LoadWindowApi()) return false;
  hwnd_ = ui.CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, DialogProc,
                                reinterpret_cast<LPARAM>(this));
  if (!hwnd_) return false;
  ui.SendDlgItemMessageW(hwnd_, IDC_BAR, PBM_SETRANGE32, 0, kBarRange);
  // The installer starts us hidden; the first ShowWindow takes its choice.
  ui.ShowWindow(hwnd_, show);
  return true;
}

void ProgressDialog::Follow(ExtractJob *job) {
  job_ = job;
  ui.SetTimer(hwnd_, kRefreshTimer, kRefreshMs, nullptr);
}

int ProgressDialog::Run(ExtractJob *job) {
  HANDLE done = job ? job->done() : nullptr;
  for (;;) {
    const DWORD w = ui.MsgWaitForMultipleObjectsEx(done ? 1 : 0, &done, INFINITE, QS_ALLINPUT,
                                                   MWMO_INPUTAVAILABLE);
    if (done && w == WAIT_OBJECT_0) {
      done = nullptr;
      JobEnded();
    }
    MSG msg;
    while (ui.PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
      if (!hwnd_ || !ui.IsDialogMessageW(hwnd_, &msg)) {
        ui.TranslateMessage(&msg);
        ui.DispatchMessageW(&msg);
      }
    }
  }
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
    ui.SetWindowLongPtrW(hwnd, DWLP_USER, lp);
  } else {
    self = reinterpret_cast<ProgressDialog *>(ui.GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  return self ? self->HandleMessage(msg, wp, lp) : FALSE;
}

INT_PTR ProgressDialog::HandleMessage(UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      // No focus yet: the dialog may stay hidden, and focusing a control
      // wakes the input method machinery for nothing. Showing the dialog
      // activates it, and activation focuses the first button.
      return FALSE;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED) OnCommand(LOWORD(wp));
      return TRUE;
    case WM_TIMER:
      OnTimer(wp);
      return TRUE;
    case WM_CLOSE:
      OnCommand(IDCANCEL);
      return TRUE;
    case WM_DESTROY:
      ui.PostQuitMessage(exit_code_);
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
      ui.SetDlgItemTextW(hwnd_, IDC_BACKGROUND, background_ ? L"前台(&F)" : L"后台(&B)");
      if (background_) ui.ShowWindow(hwnd_, SW_MINIMIZE);
      break;
    case IDC_PAUSE:
      if (!job_ || cancelling_) break;
      paused_ = !paused_;
      job_->SetPaused(paused_);
      ui.SetDlgItemTextW(hwnd_, IDC_PAUSE, paused_ ? L"继续(&P)" : L"暂停(&P)");
      break;
    case IDCANCEL:
      if (!job_ || cancelling_) break;
      // The workers stop at their next piece of output and the job ends.
      cancelling_ = true;
      job_->Cancel();
      ui.EnableWindow(ui.GetDlgItem(hwnd_, IDC_PAUSE), FALSE);
      ui.EnableWindow(ui.GetDlgItem(hwnd_, IDCANCEL), FALSE);
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
  ui.SetDlgItemTextW(hwnd_, IDC_FILE, s.current.c_str());
  const int permille = s.total ? static_cast<int>(s.done * kBarRange / s.total) : 0;
  ui.SendDlgItemMessageW(hwnd_, IDC_BAR, PBM_SETPOS, permille, 0);
  ui.SetDlgItemTextW(hwnd_, IDC_STATS, (Kilobytes(s.done) + L" / " + Kilobytes(s.total)).c_str());
  if (permille / 10 != shown_percent_) {
    shown_percent_ = permille / 10;
    ui.SetWindowTextW(hwnd_, (Decimal(shown_percent_) + L"% 解压文件...").c_str());
  }
  for (const std::wstring &m : s.messages) AddMessage(m);
}

void ProgressDialog::AddMessage(const std::wstring &text) {
  const LRESULT at = ui.SendDlgItemMessageW(hwnd_, IDC_MESSAGES, LB_ADDSTRING, 0,
                                            reinterpret_cast<LPARAM>(text.c_str()));
  if (at >= 0) ui.SendDlgItemMessageW(hwnd_, IDC_MESSAGES, LB_SETTOPINDEX, at, 0);
}

void ProgressDialog::JobEnded() {
  ui.KillTimer(hwnd_, kRefreshTimer);
  Refresh();
  JobSnapshot s;
  job_->Read(&s);
  const LRESULT messages = ui.SendDlgItemMessageW(hwnd_, IDC_MESSAGES, LB_GETCOUNT, 0, 0);
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
  ui.EnableWindow(ui.GetDlgItem(hwnd_, IDC_BACKGROUND), FALSE);
  ui.EnableWindow(ui.GetDlgItem(hwnd_, IDC_PAUSE), FALSE);
  HWND close = ui.GetDlgItem(hwnd_, IDCANCEL);
  ui.SetWindowTextW(close, L"关闭(&C)");
  ui.EnableWindow(close, TRUE);
  ui.SendMessageW(hwnd_, DM_SETDEFID, IDCANCEL, 0);
  ui.SetTimer(hwnd_, kAutoCloseTimer, kAutoCloseMs, nullptr);
}

void ProgressDialog::Close() {
  if (!hwnd_) return;
  ui.KillTimer(hwnd_, kRefreshTimer);
  ui.KillTimer(hwnd_, kAutoCloseTimer);
  HWND h = hwnd_;
  ui.DestroyWindow(h);  // WM_DESTROY posts the quit message with exit_code_
  hwnd_ = nullptr;
}

}  // namespace tovra::extractor
