#pragma once
// What the hardening cases share: the results file every case appends its
// row to and a run of a real installer process with its message box
// dismissed. Folder listings: test_support::TreeDigest (tests/support/files.h).
#include <windows.h>

#include <memory>
#include <string>

#include "tests/support/win_test_support.h"

namespace hardening {

// How long one installer may take before a case calls it hung.
constexpr DWORD kBoundMs = 120000;

// A path the build gave with forward slashes, as Windows spells it.
inline std::wstring Slashes(std::wstring p) {
  for (wchar_t &c : p) c = c == L'/' ? L'\\' : c;
  return p;
}

// One row of the reliability table: "<id>\t<case>\t<expected>\t<observed>"
// in UTF-8, appended to the results file of the build tree. The table script
// keeps the last row of each id, so reruns replace rows instead of adding.
inline void Record(const std::wstring &id, const std::wstring &what, const std::wstring &expected,
                   const std::wstring &observed) {
  // Box texts may hold line breaks; a row is one line of four cells.
  std::wstring line = id + L"\t" + what + L"\t" + expected + L"\t" + observed;
  for (wchar_t &c : line) c = c == L'\r' || c == L'\n' ? L' ' : c;
  line += L"\n";
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, line.data(), int(line.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(n > 0 ? n : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), int(line.size()), &utf8[0], n, nullptr, nullptr);
  HANDLE f = CreateFileW(test_support::Widen(TOVRA_RESULTS_FILE).c_str(), FILE_APPEND_DATA,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD put = 0;
  WriteFile(f, utf8.data(), DWORD(utf8.size()), &put, nullptr);
  CloseHandle(f);
}

// A box text on one line: breaks become blanks, none at the end.
inline std::wstring OneLine(std::wstring text) {
  for (wchar_t &c : text) c = c == L'\r' || c == L'\n' ? L' ' : c;
  while (!text.empty() && text.back() == L' ') text.pop_back();
  return text;
}

// A file written with bytes and held open without sharing while this lives
// (or until Release), as another program holding it would.
class HeldFile {
 public:
  HeldFile(const std::wstring &path, const std::string &bytes) {
    if (test_support::WriteFileBytes(path, bytes)) {
      handle_ = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
  }
  ~HeldFile() { Release(); }
  HeldFile(const HeldFile &) = delete;
  HeldFile &operator=(const HeldFile &) = delete;
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release() {
    if (Held()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

struct RunResult {
  bool exited = false;
  DWORD exitCode = 0;
  int boxes = 0;
  std::wstring boxText;
  ULONGLONG ms = 0;
};

// Starts a program with the command line; false when it could not start.
inline bool StartProgram(std::wstring line, PROCESS_INFORMATION *pi) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  *pi = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, pi)) {
    return false;
  }
  CloseHandle(pi->hThread);
  return true;
}

// An installer started unattended into folder, its message boxes answered
// with OK from its start; Wait takes its end.
class UnattendedRun {
 public:
  UnattendedRun(const std::wstring &exe, const std::wstring &folder) {
    if (!StartProgram(L"\"" + exe + L"\" -auto_setup -target_dir \"" + folder + L"\"", &pi_))
      return;
    start_ = GetTickCount64();
    dismisser_ = std::make_unique<test_support::BoxDismisser>(pi_.dwProcessId);
  }
  ~UnattendedRun() {
    if (pi_.hProcess != nullptr) CloseHandle(pi_.hProcess);
  }
  UnattendedRun(const UnattendedRun &) = delete;
  UnattendedRun &operator=(const UnattendedRun &) = delete;
  HANDLE Process() const { return pi_.hProcess; }
  DWORD ProcessId() const { return pi_.dwProcessId; }

  // Waits up to boundMs for the end; a run past the bound is killed and
  // reported as not exited.
  RunResult Wait(DWORD boundMs) {
    RunResult r;
    if (pi_.hProcess == nullptr) return r;
    r.exited = WaitForSingleObject(pi_.hProcess, boundMs) == WAIT_OBJECT_0;
    r.ms = GetTickCount64() - start_;
    if (r.exited) {
      GetExitCodeProcess(pi_.hProcess, &r.exitCode);
    } else {
      TerminateProcess(pi_.hProcess, 99);
      WaitForSingleObject(pi_.hProcess, 5000);
    }
    r.boxes = dismisser_->Count();
    r.boxText = dismisser_->Text();
    dismisser_.reset();
    return r;
  }

 private:
  PROCESS_INFORMATION pi_ = {};
  ULONGLONG start_ = 0;
  std::unique_ptr<test_support::BoxDismisser> dismisser_;
};

// Starts an installer unattended into folder and waits up to boundMs for its
// end, pressing OK on any message box it shows.
inline RunResult RunUnattended(const std::wstring &exe, const std::wstring &folder, DWORD boundMs) {
  return UnattendedRun(exe, folder).Wait(boundMs);
}

// "exit 1, box "未能安装"" and the like, from what happened, for the table.
inline std::wstring Describe(const RunResult &r, DWORD boundMs) {
  if (!r.exited) return L"no exit within " + std::to_wstring(boundMs / 1000) + L" s (killed)";
  std::wstring s = L"exit " + std::to_wstring(r.exitCode);
  if (r.boxes == 0) return s + L", no box";
  s += L", box \"" + OneLine(r.boxText) + L"\"";
  if (r.boxes > 1) s += L" x" + std::to_wstring(r.boxes);
  return s;
}

}  // namespace hardening
