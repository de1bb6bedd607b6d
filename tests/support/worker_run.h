#pragma once
// The install worker run in this process as the window runs it, its results
// counted by a message-only window. Link tovra_worker.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "install/install_state.h"
#include "install/worker.h"
#include "install/worker_messages.h"
#include "tests/support/win_test_support.h"

namespace test_support {

struct WorkerResult {
  int ok = 0;
  int failed = 0;
  int otherParams = 0;  // result messages whose parameters were not both 0
  int boxes = 0;        // message boxes of this process, answered with OK
  std::wstring boxText;
  ULONGLONG ms = 0;  // from the start to its result (or its end, without one)
};

inline LRESULT CALLBACK CountWorkerResults(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  auto *r = reinterpret_cast<WorkerResult *>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (r && (message == UM_INSTALL_OK || message == UM_INSTALL_FAILED)) {
    ++(message == UM_INSTALL_OK ? r->ok : r->failed);
    if (wParam != 0 || lParam != 0) ++r->otherParams;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Installs into folder (narrow, with its backslash) on the worker's own
// stack and counts every result it posts until its thread has ended (it posts
// nothing later), within boundMs. A box would stop the worker until somebody
// answers it: it is answered, so the run stays bounded, and reported.
inline WorkerResult RunWorker(const std::string &folder, DWORD boundMs = 120000) {
  WorkerResult r;
  std::snprintf(InstallDir, sizeof InstallDir, "%s", folder.c_str());
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountWorkerResults;
  wc.lpszClassName = L"TovraTestWorkerResults";
  RegisterClassW(&wc);  // fails harmlessly from the second run on
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                nullptr, nullptr);
  EXPECT_NE(nullptr, window);
  if (!window) return r;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&r));
  {
    BoxDismisser boxes(GetCurrentProcessId());
    const ULONGLONG start = GetTickCount64();
    ULONGLONG resultAt = 0;
    HANDLE thread =
        CreateThread(nullptr, kInstallWorkerStackSize, InstallWorker, window, 0, nullptr);
    EXPECT_NE(nullptr, thread);
    if (thread) {
      PumpUntil(
          [&] {
            if (!resultAt && r.ok + r.failed > 0) resultAt = GetTickCount64();
            return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
          },
          boundMs);
      PumpUntil([] { return true; }, 0);  // what it posted just before its end
      CloseHandle(thread);
    }
    r.ms = (resultAt ? resultAt : GetTickCount64()) - start;
    r.boxes = boxes.Count();
    r.boxText = boxes.Text();
  }
  DestroyWindow(window);
  return r;
}

}  // namespace test_support
