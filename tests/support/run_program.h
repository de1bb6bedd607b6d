#pragma once
// Runs a program as a user or the installer would and answers its message
// boxes: an installer, the extractor, a helper. A run gives its exit code,
// the boxes answered and their texts, whether the setup window showed and its
// time. New suites that start a program use this.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "tests/support/win_test_support.h"

namespace test_support {

// One started program; killed, if it still runs, when this goes, and waited
// for, so that its files are let go before the scratch folders are removed.
struct Process {
  HANDLE handle = nullptr;
  DWORD pid = 0;

  Process() = default;
  ~Process() {
    if (!handle) return;
    if (WaitForSingleObject(handle, 0) == WAIT_TIMEOUT) {
      TerminateProcess(handle, 99);
      WaitForSingleObject(handle, 5000);
    }
    CloseHandle(handle);
  }
  Process(const Process &) = delete;
  Process &operator=(const Process &) = delete;

  // commandLine begins with the program, quoted; cwd null keeps ours.
  bool Start(std::wstring commandLine, const wchar_t *cwd = nullptr, DWORD flags = 0) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr, cwd, &si,
                        &pi)) {
      return false;
    }
    CloseHandle(pi.hThread);
    handle = pi.hProcess;
    pid = pi.dwProcessId;
    return true;
  }
  // The exit code, or -1 when it still runs after ms.
  long Wait(DWORD ms) {
    if (WaitForSingleObject(handle, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(handle, &code);
    return static_cast<long>(code);
  }
};

inline std::wstring Quoted(const std::wstring &path) {
  return L"\"" + path + L"\"";
}

// The setup window ("TovraForm") of the process pid, null while it has none.
inline HWND SetupWindowOf(DWORD pid) {
  for (HWND w = FindWindowExW(nullptr, nullptr, L"TovraForm", nullptr); w;
       w = FindWindowExW(nullptr, w, L"TovraForm", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid) return w;
  }
  return nullptr;
}

struct RunResult {
  bool exited = false;  // within the bound; a run past it was killed
  DWORD exitCode = 0;
  int boxes = 0;                     // message boxes answered with OK
  std::wstring boxText, boxCaption;  // of the last one
  bool windowShown = false;          // its setup window was seen visible
  ULONGLONG ms = 0;
};

struct RunOptions {
  const wchar_t *cwd = nullptr;
  DWORD flags = 0;  // CreateProcess flags
  // Runs every 50 ms while the program runs, with its process id.
  std::function<void(DWORD pid)> onTick;
};

// A program started with its message boxes answered from its start; Wait
// takes its end.
class ProgramRun {
 public:
  explicit ProgramRun(const std::wstring &commandLine, const RunOptions &options = {})
      : onTick_(options.onTick) {
    if (!process_.Start(commandLine, options.cwd, options.flags)) {
      ADD_FAILURE() << "cannot start " << ToAnsi(commandLine);
      return;
    }
    start_ = GetTickCount64();
    boxes_ = std::make_unique<BoxDismisser>(process_.pid);
  }
  HANDLE Process() const { return process_.handle; }
  DWORD ProcessId() const { return process_.pid; }

  // Waits up to boundMs for the end, looking for the setup window and
  // ticking meanwhile.
  RunResult Wait(DWORD boundMs) {
    RunResult r;
    if (!process_.handle) return r;
    const ULONGLONG until = GetTickCount64() + boundMs;
    while (!r.exited && GetTickCount64() < until) {
      r.exited = WaitForSingleObject(process_.handle, 50) == WAIT_OBJECT_0;
      if (r.exited) break;
      const HWND form = SetupWindowOf(process_.pid);
      r.windowShown = r.windowShown || (form && IsWindowVisible(form));
      if (onTick_) onTick_(process_.pid);
    }
    r.ms = GetTickCount64() - start_;
    if (r.exited) {
      GetExitCodeProcess(process_.handle, &r.exitCode);
    } else {
      TerminateProcess(process_.handle, 99);
      WaitForSingleObject(process_.handle, 5000);
    }
    r.boxes = boxes_->Count();
    r.boxText = boxes_->Text();
    r.boxCaption = boxes_->Caption();
    boxes_.reset();
    return r;
  }

 private:
  test_support::Process process_;
  std::function<void(DWORD)> onTick_;
  ULONGLONG start_ = 0;
  std::unique_ptr<BoxDismisser> boxes_;
};

inline RunResult RunProgram(const std::wstring &commandLine, DWORD boundMs,
                            const RunOptions &options = {}) {
  return ProgramRun(commandLine, options).Wait(boundMs);
}

// An installer's command line for an unattended install into folder.
inline std::wstring UnattendedLine(const std::wstring &exe, const std::wstring &folder) {
  return Quoted(exe) + L" -auto_setup -target_dir " + Quoted(folder);
}

inline RunResult RunUnattended(const std::wstring &exe, const std::wstring &folder, DWORD boundMs) {
  return RunProgram(UnattendedLine(exe, folder), boundMs);
}

}  // namespace test_support
