// install_vs_extractor <TovraSetup.exe> <7ZG.exe> <archive> <scratch> [rounds]:
// the unattended install's own time against our extractor alone, started
// hidden as the installer starts it, on the same archive: interleaved rounds
// (default 3), each into a fresh folder below <scratch>, medians compared.
// bench/install_vs_extractor.sh runs it under a build tree's Wine.
//
// A run is the process's life as the system records it (creation to exit);
// exactly 6000 ms of the installer's one-shot timer are taken off its figure.
// Exit 1 when a run fails, or when the install takes more than three times
// the extractor's time and a second: the install writes 8 MB and checks a
// version besides extracting, and far more than that points at a stall (a
// watcher that never lets go, say).
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kTimerSeconds = 6.0;
constexpr DWORD kRunTimeoutMs = 150000;

double FileTimeSeconds(const FILETIME &t) {
  ULARGE_INTEGER u;
  u.LowPart = t.dwLowDateTime;
  u.HighPart = t.dwHighDateTime;
  return static_cast<double>(u.QuadPart) / 1e7;
}

// Runs line to its end; its life in seconds, or a negative value when it
// could not start, outran the bound or did not exit with 0.
double TimedRun(std::wstring line, bool hidden) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  if (hidden) {
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return -1;
  }
  double seconds = -1;
  if (WaitForSingleObject(pi.hProcess, kRunTimeoutMs) == WAIT_OBJECT_0) {
    DWORD code = 1;
    FILETIME created, ended, kernel, user;
    if (GetExitCodeProcess(pi.hProcess, &code) && code == 0 &&
        GetProcessTimes(pi.hProcess, &created, &ended, &kernel, &user)) {
      seconds = FileTimeSeconds(ended) - FileTimeSeconds(created);
    }
  } else {
    TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, 5000);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return seconds;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 5 || argc > 6) {
    std::fprintf(stderr,
                 "usage: install_vs_extractor <TovraSetup.exe> <7ZG.exe> <archive> <scratch> "
                 "[rounds]\n");
    return 2;
  }
  const std::wstring setup = argv[1], extractor = argv[2], archive = argv[3], scratch = argv[4];
  const int rounds = argc == 6 ? std::max(1, _wtoi(argv[5])) : 3;
  CreateDirectoryW(scratch.c_str(), nullptr);
  // Wine's desktop process starts with the first program that needs it: not
  // inside a timed run.
  GetDesktopWindow();

  std::vector<double> install, alone;
  for (int round = 1; round <= rounds; ++round) {
    // Blanks and Chinese in both folders, as a user's folder may have them.
    const std::wstring into = scratch + L"\\install-" + std::to_wstring(round) + L" 安装 目录";
    const std::wstring out = scratch + L"\\alone-" + std::to_wstring(round) + L" 安装 目录";
    CreateDirectoryW(into.c_str(), nullptr);
    CreateDirectoryW(out.c_str(), nullptr);
    const double i =
        TimedRun(L"\"" + setup + L"\" -auto_setup -target_dir \"" + into + L"\"", false);
    const double x =
        TimedRun(L"\"" + extractor + L"\" x \"" + archive + L"\" -o\"" + out + L"\\\" -y", true);
    if (i < 0 || x < 0) {
      std::printf("round %d: %s failed\n", round, i < 0 ? "the install" : "the extractor");
      return 1;
    }
    install.push_back(i - kTimerSeconds);
    alone.push_back(x);
    std::printf("round %d: install %.2f s (timer excluded), extractor alone %.2f s\n", round,
                i - kTimerSeconds, x);
    std::fflush(stdout);
  }
  const double ours = Median(install), base = Median(alone);
  std::printf(
      "unattended install %.2f s (timer excluded), extractor alone %.2f s, ratio %.2f "
      "(medians of %d)\n",
      ours, base, ours / base, rounds);
  LocalFree(argv);
  return ours < base * 3 + 1.0 ? 0 : 1;
}
