#pragma once
// Helpers the Windows suites share: the sample control program's launch
// records, host shell commands under Wine (a D: drive, a UNC share), waiting
// while pumping messages, and dismissing message boxes from another thread.
// Scratch folders and file helpers: scratch.h and files.h.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scratch.h"

namespace test_support {

// One start of the sample control program: its working folder and its whole
// command line, from TovraControl.launch.txt beside it.
struct LaunchRecord {
  std::wstring folder;
  std::wstring commandLine;
};

inline std::vector<LaunchRecord> ReadLaunchRecords(const std::wstring &installFolder) {
  std::vector<LaunchRecord> records;
  std::string text;
  if (!ReadFileBytes(installFolder + L"\\TovraControl.launch.txt", &text)) return records;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    size_t tab = line.find('\t');
    if (tab != std::string::npos)
      records.push_back({Widen(line.substr(0, tab)), Widen(line.substr(tab + 1))});
    start = end + 1;
  }
  return records;
}

inline bool EndsWith(const std::wstring &s, const std::wstring &tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

inline bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// The host's path of a Windows path under Wine (UTF-8), "" when there is none.
inline std::string HostPath(const std::wstring &windowsPath) {
  using Fn = char *(CDECL *)(const wchar_t *);
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void *>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!fn) return "";
  char *path = fn(windowsPath.c_str());
  if (!path) return "";
  std::string out = path;
  HeapFree(GetProcessHeap(), 0, path);
  return out;
}

// Runs command in the host's shell and waits for it: Wine starts host
// programs, and the prefix is $WINEPREFIX there. True when it exited with 0.
// The command goes to the shell in a script file (no quoting through a
// command line); Wine hands back no process to wait for, so the shell writes
// its exit code into a file that is polled for.
inline bool HostShell(const std::string &command) {
  if (!RunningUnderWine()) return false;
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring done = std::wstring(temp) + L"tovra-host-" +
                            std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(counter++) + L".done";
  const std::string hostTemp = HostPath(temp);
  if (hostTemp.empty()) return false;
  const std::string hostDone = hostTemp + ToAnsi(done.substr(done.rfind(L'\\') + 1));
  DeleteFileW(done.c_str());
  const std::wstring script = done + L".sh";
  if (!WriteFileBytes(script, "(" + command + "); echo $? > '" + hostDone + ".part' && mv '" +
                                  hostDone + ".part' '" + hostDone + "'\n")) {
    return false;
  }
  std::wstring line = L"Z:\\bin\\sh \"" + Widen(HostPath(script)) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  std::string code;
  for (int i = 0; i < 3000 && !ReadFileBytes(done, &code); ++i) Sleep(10);
  DeleteFileW(done.c_str());
  DeleteFileW(script.c_str());
  return code == "0\n";
}

// What D: is in this Wine prefix while the object lives: none, or a fixed
// drive on a folder of its own ($WINEPREFIX/tovra-drive-d); the prefix's own
// mapping comes back afterwards. Drives are the prefix's dosdevices links.
class DriveD {
 public:
  enum Kind { kNone, kFixed };
  explicit DriveD(Kind kind) {
    saved_ = ".tovra-d-saved-" + std::to_string(GetCurrentProcessId());
    ok_ = HostShell("cd \"$WINEPREFIX/dosdevices\" && rm -f " + saved_ +
                    " && { [ ! -L d: ] || mv d: " + saved_ + "; }");
    if (ok_ && kind == kFixed) {
      ok_ = HostShell(
          "mkdir -p \"$WINEPREFIX/tovra-drive-d\" && ln -s ../tovra-drive-d "
          "\"$WINEPREFIX/dosdevices/d:\"");
    }
    ok_ = ok_ && GetDriveTypeW(L"D:\\") == (kind == kFixed ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR);
  }
  ~DriveD() {
    HostShell(
        "cd \"$WINEPREFIX/dosdevices\" && rm -f d: && rm -rf ../tovra-drive-d && "
        "{ [ ! -L " +
        saved_ + " ] || mv " + saved_ + " d:; }");
  }
  DriveD(const DriveD &) = delete;
  DriveD &operator=(const DriveD &) = delete;
  // False when D: could not be set as asked (not under Wine, say).
  bool Ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_ = false;
};

// A UNC share \\<server>\<share> on a folder, while the object lives: Wine
// reaches \\server\share through $WINEPREFIX/dosdevices/unc/server/share.
class UncShare {
 public:
  UncShare(const std::string &server, const std::string &share, const std::wstring &folder)
      : server_("\"$WINEPREFIX/dosdevices/unc/" + server + "\""),
        link_("\"$WINEPREFIX/dosdevices/unc/" + server + "/" + share + "\"") {
    const std::string target = HostPath(folder);
    ok_ = !target.empty() && HostShell("mkdir -p \"$WINEPREFIX/dosdevices/unc/" + server +
                                       "\" && ln -sfn '" + target + "' " + link_);
  }
  ~UncShare() { HostShell("rm -f " + link_ + "; rmdir " + server_ + " 2>/dev/null; true"); }
  UncShare(const UncShare &) = delete;
  UncShare &operator=(const UncShare &) = delete;
  bool Ok() const { return ok_; }

 private:
  std::string server_;
  std::string link_;
  bool ok_ = false;
};

// While the object lives, a program of that file name takes a DLL of that
// name (without ".dll") found along the search before Wine's own, as Windows
// does for any DLL that is not a KnownDLL: Wine's per-program DllOverrides
// (WINEDLLOVERRIDES set here would not reach the programs this process
// starts: Wine takes it from the host's environment). The program's key goes
// with the object: give the program a name of its own.
class NativeDllFirst {
 public:
  NativeDllFirst(const std::wstring &program, const std::wstring &dll)
      : key_(L"Software\\Wine\\AppDefaults\\" + program) {
    HKEY overrides = nullptr;
    ok_ = RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &overrides, nullptr) == ERROR_SUCCESS;
    if (!ok_) return;
    static const wchar_t kOrder[] = L"native,builtin";
    ok_ = RegSetValueExW(overrides, dll.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(kOrder),
                         sizeof kOrder) == ERROR_SUCCESS;
    RegCloseKey(overrides);
  }
  ~NativeDllFirst() { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }
  NativeDllFirst(const NativeDllFirst &) = delete;
  NativeDllFirst &operator=(const NativeDllFirst &) = delete;
  bool Ok() const { return ok_; }

 private:
  std::wstring key_;
  bool ok_ = false;
};

// Polls cond every 20 ms, pumping this thread's messages, for up to ms.
inline bool PumpUntil(const std::function<bool()> &cond, DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (cond()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}

// Watches, on a thread of its own, for a message box ("#32770") of the given
// process (0: any) and presses its OK button. Records the box's caption and
// text (UTF-16) so a test can check them.
class BoxDismisser {
 public:
  explicit BoxDismisser(DWORD processId = 0) : pid_(processId) {
    thread_ = std::thread([this] { Run(); });
  }
  ~BoxDismisser() {
    stop_ = true;
    thread_.join();
  }
  BoxDismisser(const BoxDismisser &) = delete;
  BoxDismisser &operator=(const BoxDismisser &) = delete;

  int Count() const { return count_; }
  std::wstring Caption() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return caption_;
  }
  std::wstring Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

 private:
  struct Search {
    DWORD pid;
    HWND found;
  };
  static BOOL CALLBACK Visit(HWND hwnd, LPARAM param) {
    auto *s = reinterpret_cast<Search *>(param);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(hwnd) && (s->pid == 0 || s->pid == pid)) {
      s->found = hwnd;
      return FALSE;
    }
    return TRUE;
  }
  static BOOL CALLBACK ReadStatic(HWND child, LPARAM param) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Static") == 0) {
      wchar_t text[256] = {};
      GetWindowTextW(child, text, 256);
      if (text[0]) *reinterpret_cast<std::wstring *>(param) = text;
    }
    return TRUE;
  }
  void Run() {
    while (!stop_) {
      Search s{pid_, nullptr};
      EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
      if (s.found) {
        wchar_t caption[256] = {};
        GetWindowTextW(s.found, caption, 256);
        std::wstring text;
        EnumChildWindows(s.found, ReadStatic, reinterpret_cast<LPARAM>(&text));
        {
          std::lock_guard<std::mutex> lock(mutex_);
          caption_ = caption;
          text_ = text;
        }
        PostMessageW(s.found, WM_COMMAND, IDOK, 0);
        ++count_;
        Sleep(300);  // let the box go away before looking again
      }
      Sleep(50);
    }
  }

  DWORD pid_;
  std::atomic<bool> stop_{false};
  std::atomic<int> count_{0};
  mutable std::mutex mutex_;
  std::wstring caption_, text_;
  std::thread thread_;
};

}  // namespace test_support
