// install_bench <runs> <ours.exe> <peer.exe> <scratch folder> [base.exe]:
// runs our installer unattended (-auto_setup -target_dir <folder>) and the
// NSIS peer silently (/S /D=<folder>), interleaved, each into a fresh folder
// below <scratch>, and prints every run and the medians. base.exe, another
// build of ours, joins the rounds as a third. bench/install_bench.sh builds
// the peer and runs this under 32-bit Wine.
//
// What is timed: each installer as a process, from CreateProcess to its exit
// (the system's own process creation and exit times). Ours waits on its 6 s
// one-shot timer before it installs; exactly 6000 ms are taken off its time,
// so its figure still holds process start, window creation and whatever the
// timer fires late. A cross-check that needs no trust in the timer: the
// moment the install folder appears (both create it as their first step of
// the install), seen through a change notification on <scratch>; "before"
// is start to folder (less 6000 ms for ours), "after" is folder to exit.
//
// Each run's folder is removed after it (the first counted round's are kept
// for bench/install_bench.sh to compare), and the next run waits until the
// machine's pending writes are down to 16 MB, so that a big product's
// write-back does not fall on whichever run comes next.
//
// One run of each comes first and is not counted: it fills the page cache
// with both programs and Wine's libraries. This driver also opens the
// desktop before the first run and holds it: under Wine the desktop process
// (explorer.exe) starts with the first program that needs it and ends a
// second after the last one, and the installer that happened to start it
// would pay for that. On Windows it is always there.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kTimerMs = 6000.0;
// Large products (bench/make_product.sh) take minutes on a loaded machine.
constexpr DWORD kRunTimeoutMs = 900000;
constexpr DWORD kLaunchRecordWaitMs = 10000;

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double FileTimeMs(const FILETIME &t) {
  ULARGE_INTEGER u;
  u.LowPart = t.dwLowDateTime;
  u.HighPart = t.dwHighDateTime;
  return static_cast<double>(u.QuadPart) / 10000.0;
}

bool IsFolder(const std::wstring &path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::wstring &path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Removes a run's folder and all below it, so that the next run does not
// meet its pages still on their way to the disk, and big products do not
// fill it. Best effort: what cannot go stays.
void RemoveTree(const std::wstring &path) {
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName, child = path + L"\\" + name;
      if (name == L"." || name == L"..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  RemoveDirectoryW(path.c_str());
}

// The kB of file data the machine has yet to write (Dirty + Writeback of
// /proc/meminfo, which Wine shows as Z:\proc\meminfo), or -1.
long PendingWritesKb() {
  const HANDLE h = CreateFileW(L"Z:\\proc\\meminfo", GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  char text[8192];
  DWORD got = 0;
  const bool read = ReadFile(h, text, sizeof text - 1, &got, nullptr) != 0;
  CloseHandle(h);
  if (!read) return -1;
  text[got] = 0;
  long total = 0;
  int seen = 0;
  for (const char *key : {"\nDirty:", "\nWriteback:"}) {
    const char *at = std::strstr(text, key);
    if (at) total += std::strtol(at + std::strlen(key), nullptr, 10), ++seen;
  }
  return seen == 2 ? total : -1;
}

// Waits, a minute at most, until the last run's writes have mostly reached
// the disk: a run that starts while hundreds of MB are still being written
// took up to twice as long as one that starts clean.
void SettleWrites() {
  constexpr long kSettledKb = 16 * 1024;
  Sleep(300);
  for (int waited = 0; waited < 600; ++waited) {
    const long pending = PendingWritesKb();
    if (pending < 0 || pending < kSettledKb) return;
    Sleep(100);
  }
}

struct Run {
  bool ok = false;
  DWORD exit_code = 0;
  double total_ms = 0;   // process creation to exit
  double before_ms = 0;  // start to the folder's appearance
  double after_ms = 0;   // the folder's appearance to exit
};

// Starts `line`, waits for it and for the folder's appearance below `scratch`.
Run RunOnce(std::wstring line, const std::wstring &scratch, const std::wstring &folder) {
  Run r;
  HANDLE change = FindFirstChangeNotificationW(scratch.c_str(), FALSE, FILE_NOTIFY_CHANGE_DIR_NAME);
  if (change == INVALID_HANDLE_VALUE) return r;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const double start = NowMs();
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    FindCloseChangeNotification(change);
    return r;
  }
  double seen = -1, exited = -1;
  const HANDLE handles[2] = {change, pi.hProcess};
  while (exited < 0) {
    const DWORD w = WaitForMultipleObjects(2, handles, FALSE, kRunTimeoutMs);
    const double now = NowMs();
    if (w == WAIT_OBJECT_0) {
      if (seen < 0 && IsFolder(folder)) seen = now;
      FindNextChangeNotification(change);
    } else if (w == WAIT_OBJECT_0 + 1) {
      exited = now;
    } else {
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, INFINITE);
      break;
    }
  }
  FindCloseChangeNotification(change);
  // The system's own times of the process, free of this loop's wake-ups.
  FILETIME created, ended, kernel, user;
  double total = exited - start;
  if (GetProcessTimes(pi.hProcess, &created, &ended, &kernel, &user)) {
    const double t = FileTimeMs(ended) - FileTimeMs(created);
    if (t > 0) total = t;
  }
  GetExitCodeProcess(pi.hProcess, &r.exit_code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  if (exited < 0) return r;
  r.ok = r.exit_code == 0;
  r.total_ms = total;
  if (seen >= 0) {
    r.before_ms = seen - start;
    r.after_ms = exited - seen;
  }
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Series {
  const char *name;
  std::vector<double> total, before, after;
};

void PrintSeries(const Series &s) {
  std::printf("%-24s median %7.1f ms (min %7.1f); before the folder %6.1f ms, after %6.1f ms\n",
              s.name, Median(s.total), *std::min_element(s.total.begin(), s.total.end()),
              Median(s.before), Median(s.after));
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || (argc != 5 && argc != 6)) {
    std::fprintf(stderr,
                 "usage: install_bench <runs> <ours.exe> <peer.exe> <scratch folder> [base.exe]\n");
    return 2;
  }
  const int runs = std::max(1, _wtoi(argv[1]));
  const std::wstring scratch = argv[4];
  if (!IsFolder(scratch)) CreateDirectoryW(scratch.c_str(), nullptr);
  GetDesktopWindow();

  // Ours, the peer and, when given, another build of ours (an older one, to
  // compare before and after in the same run). Each round starts with a
  // different one, so that drift in the machine's load and in the page cache
  // hits all alike.
  struct Installer {
    const wchar_t *exe;
    const wchar_t *tag;
    bool ours;
    Series series;
  };
  std::vector<Installer> all = {{argv[2], L"ours", true, {"ours (timer excluded)", {}, {}, {}}},
                                {argv[3], L"peer", false, {"NSIS peer", {}, {}, {}}}};
  if (argc == 6) all.push_back({argv[5], L"base", true, {"base (timer excluded)", {}, {}, {}}});
  const size_t n = all.size();
  for (int round = 0; round <= runs; ++round) {
    for (size_t k = 0; k < n; ++k) {
      Installer &who = all[(k + static_cast<size_t>(round)) % n];
      const std::wstring folder =
          scratch + L"\\" + who.tag + L"-" + (round == 0 ? L"warm" : std::to_wstring(round));
      const std::wstring line =
          who.ours
              ? L"\"" + std::wstring(who.exe) + L"\" -auto_setup -target_dir \"" + folder + L"\""
              : L"\"" + std::wstring(who.exe) + L"\" /S /D=" + folder;  // /D= last, unquoted
      Run r = RunOnce(line, scratch, folder);
      if (!r.ok) {
        std::printf("run %d: %ls failed (exit code %lu)\n", round, who.tag, r.exit_code);
        return 1;
      }
      if (who.ours) {
        // The control program starts as ours ends; let it finish before the
        // next run, and check that it was started at all.
        const std::wstring record = folder + L"\\TovraControl.launch.txt";
        const double wait_from = NowMs();
        while (!IsFile(record) && NowMs() - wait_from < kLaunchRecordWaitMs) Sleep(20);
        if (!IsFile(record)) {
          std::printf("run %d: %ls did not start the control program\n", round, who.tag);
          return 1;
        }
        r.total_ms -= kTimerMs;
        r.before_ms -= kTimerMs;
      }
      std::printf("%s %d: %-4ls %7.1f ms (before the folder %6.1f, after %6.1f)\n",
                  round == 0 ? "warm-up" : "run", round, who.tag, r.total_ms, r.before_ms,
                  r.after_ms);
      std::fflush(stdout);
      // The first counted round stays, for the script to compare the installs.
      if (round != 1) RemoveTree(folder);
      SettleWrites();
      if (round == 0) continue;
      who.series.total.push_back(r.total_ms);
      who.series.before.push_back(r.before_ms);
      who.series.after.push_back(r.after_ms);
    }
  }
  for (const Installer &who : all) PrintSeries(who.series);
  const double peer = Median(all[1].series.total);
  std::printf("ratio ours/NSIS (medians of %d runs each): %.2f\n", runs,
              Median(all[0].series.total) / peer);
  if (n == 3) std::printf("ratio base/NSIS: %.2f\n", Median(all[2].series.total) / peer);
  LocalFree(argv);
  return 0;
}
