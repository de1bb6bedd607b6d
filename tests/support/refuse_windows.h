#pragma once
// Makes the creation of windows of one class fail on this thread while the
// object lives, through a CBT hook, as a security tool or a lack of
// resources would: CreateWindowEx then returns NULL.
#include <windows.h>

namespace test_support {

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
