#pragma once
// Makes SetTimer fail in this program while the object lives, as a lack of
// resources would: the import table entry the statically linked code calls
// through points at a stand-in that returns 0.
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

}  // namespace test_support
