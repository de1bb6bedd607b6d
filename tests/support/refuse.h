#pragma once
// Resources refused while an object lives, as a lack of them (or a security
// tool) would refuse them: SetTimer fails in this program (RefuseTimers: the
// import table entry the statically linked code calls through points at a
// stand-in that returns 0), and windows of one class are not made on this
// thread (RefuseWindows: a CBT hook, so CreateWindowEx returns NULL).
#include <windows.h>

#include "tests/support/import_patch.h"

namespace test_support {

class RefuseTimers {
 public:
  RefuseTimers()
      : real_(PatchImport("user32.dll", "SetTimer", reinterpret_cast<void *>(&Refuse))) {}
  ~RefuseTimers() {
    if (real_) PatchImport("user32.dll", "SetTimer", real_);
  }
  RefuseTimers(const RefuseTimers &) = delete;
  RefuseTimers &operator=(const RefuseTimers &) = delete;
  bool Active() const { return real_ != nullptr; }

 private:
  static UINT_PTR WINAPI Refuse(HWND, UINT_PTR, UINT, TIMERPROC) { return 0; }
  void *real_;
};

class RefuseWindows {
 public:
  explicit RefuseWindows(const wchar_t *className) {
    refused_ = className;
    hook_ = SetWindowsHookExW(WH_CBT, Proc, nullptr, GetCurrentThreadId());
  }
  ~RefuseWindows() {
    if (hook_) UnhookWindowsHookEx(hook_);
    refused_ = nullptr;
  }
  RefuseWindows(const RefuseWindows &) = delete;
  RefuseWindows &operator=(const RefuseWindows &) = delete;
  bool Active() const { return hook_ != nullptr; }

 private:
  static LRESULT CALLBACK Proc(int code, WPARAM w, LPARAM l) {
    if (code == HCBT_CREATEWND && refused_) {
      const wchar_t *cls = reinterpret_cast<CBT_CREATEWNDW *>(l)->lpcs->lpszClass;
      if (!IS_INTRESOURCE(cls) && lstrcmpiW(cls, refused_) == 0) return 1;
    }
    return CallNextHookEx(nullptr, code, w, l);
  }
  static inline const wchar_t *refused_ = nullptr;
  HHOOK hook_ = nullptr;
};

}  // namespace test_support
