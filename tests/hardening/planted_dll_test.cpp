// A DLL planted where the installer is downloaded to: the folder any web page
// can drop files into, and the first place Windows looks for a DLL outside
// KnownDLLs. The installer must install and run none of the planted code.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/hardening/hardening_support.h"

using namespace hardening;
using namespace test_support;

namespace {

// The lines the planted DLL logged beside itself (planted_version.cpp).
std::vector<std::wstring> LogLines(const std::wstring &dll) {
  std::vector<std::wstring> lines;
  std::string text;
  if (!ReadFileBytes(dll + L".log", &text)) return lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(Widen(text.substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

// version.dll beside a copy of the installer, taken before Wine's own. The
// installer calls the version functions of the system folder's version.dll,
// loaded by its full path: none of them may pass through the planted one.
// Wine's own user32 imports version.dll and maps the planted DLL at start-up
// all the same (on Windows user32 is a KnownDLL, its imports the system's):
// its load is recorded, not counted.
TEST(HardeningPlanted, VersionDllBesideTheInstallerIsNotCalled) {
  const std::wstring downloads = MakeScratchFolder(L"hard-plant", L"Downloads");
  // A name of its own, for the override below to apply to this copy alone.
  const std::wstring setup = downloads + L"\\TovraSetupDownloaded.exe";
  const std::wstring planted = downloads + L"\\version.dll";
  ASSERT_TRUE(CopyFileW(Slashes(Widen(TOVRA_SETUP_EXE)).c_str(), setup.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(Slashes(Widen(TOVRA_PLANTED_VERSION_DLL)).c_str(), planted.c_str(), FALSE));
  const std::wstring folder = MakeScratchFolder(L"hard-plant", L"install");

  RunResult r;
  {
    NativeDllFirst nativeVersion(L"TovraSetupDownloaded.exe", L"version");
    ASSERT_TRUE(nativeVersion.Ok());
    r = RunUnattended(setup, folder, kBoundMs);
  }
  const bool installed = Exists(folder + L"\\TovraClientService.exe");
  // The control program writes its record after the installer ended.
  PumpUntil([&] { return !ReadLaunchRecords(folder).empty(); }, 10000);

  std::wstring calls;
  bool loaded = false;
  for (const std::wstring &line : LogLines(planted)) {
    if (line.compare(0, 10, L"loaded by ") == 0) {
      loaded = true;
    } else if (!line.empty()) {
      calls += (calls.empty() ? L"" : L" ") + line;
    }
  }
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(0u, r.exitCode);
  EXPECT_EQ(0, r.boxes) << ToAnsi(r.boxText);
  EXPECT_TRUE(installed);
  EXPECT_TRUE(calls.empty()) << "called through the planted DLL: " << ToAnsi(calls);
  Record(L"P1",
         L"version.dll planted beside a copy of the installer, found before the system's "
         L"(Wine's DllOverrides version=native,builtin)",
         L"exit 0, no box, installed, no version function called through it",
         Describe(r, kBoundMs) + (installed ? L", installed" : L", not installed") +
             (calls.empty() ? L", no version function called through it"
                            : L", called through it: " + calls) +
             (loaded ? L", the DLL loaded (Wine's user32 imports version.dll)" : L""));
}

}  // namespace
