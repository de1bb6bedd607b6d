#pragma once
// What the hardening cases share: the results file every case appends its
// row to and how a run reads in it. Runs: tests/support/run_program.h and
// worker_run.h; folder listings: test_support::TreeDigest (files.h).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/run_program.h"

namespace hardening {

using test_support::RunResult;

// How long one installer may take before a case calls it hung.
constexpr DWORD kBoundMs = 120000;

// A program the build made, by the path it gave.
inline std::wstring Built(const char *path) {
  return test_support::Slashes(test_support::Widen(path));
}
inline const std::wstring kSetup = Built(TOVRA_SETUP_EXE);
inline const std::wstring kBadVersion = Built(TOVRA_BADVERSION_EXE);

// The end of every failed install: exit 1 after the one "未能安装" box.
inline void ExpectFailedWithTheBox(const RunResult &r) {
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(1u, r.exitCode);
  EXPECT_EQ(1, r.boxes);
  EXPECT_EQ(L"未能安装", r.boxText);
}

// A box text on one line: breaks become blanks, none at the end.
inline std::wstring OneLine(std::wstring text) {
  for (wchar_t &c : text) c = c == L'\r' || c == L'\n' ? L' ' : c;
  while (!text.empty() && text.back() == L' ') text.pop_back();
  return text;
}

// One row of the reliability table: "<id>\t<case>\t<expected>\t<observed>"
// in UTF-8, appended to the results file of the build tree. The table script
// keeps the last row of each id, so reruns replace rows instead of adding.
// Box texts may hold line breaks; a row is one line of four cells.
inline void Record(const std::wstring &id, const std::wstring &what, const std::wstring &expected,
                   const std::wstring &observed) {
  const std::wstring line =
      OneLine(id + L"\t" + what + L"\t" + expected + L"\t" + observed) + L"\n";
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
