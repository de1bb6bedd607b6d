// Where the shipped programs take DLLs from, and their error mode
// (util/system_win.h). The search rule is watched in helper processes
// (dll_search_probe.exe, built beside this test): once narrowed, a process
// stays so.
#include <cstring>
#include <string>
#include <thread>

#include "tests/support/run_program.h"
#include "tests/support/scratch.h"
#include "util/system_win.h"

namespace {

// Runs the probe from exe with its current folder cwd, loading dll; its exit
// code, or -1 when it could not be started or did not end.
long Probe(const std::string &exe, const char *mode, const std::string &cwd,
           const char *dll = "tovra_search_probe.dll") {
  using test_support::FromAnsi;
  test_support::Process probe;
  if (!probe.Start(FromAnsi("\"" + exe + "\" " + mode + " " + dll), FromAnsi(cwd).c_str())) {
    return -1;
  }
  return probe.Wait(30000);
}

class DllSearch : public test_support::ScratchTest {
 protected:
  void SetUp() override {
    test_support::ScratchTest::SetUp();
    ASSERT_TRUE(CreateDirectoryA(At("program").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(At("current").c_str(), nullptr));
    exe_ = At("program\\dll_search_probe.exe");
    ASSERT_TRUE(CopyFileA((test_support::ProgramFolder() + "dll_search_probe.exe").c_str(),
                          exe_.c_str(), FALSE));
  }
  void Plant(const char *folder) {
    ASSERT_TRUE(CopyFileA((test_support::ProgramFolder() + "tovra_search_probe.dll").c_str(),
                          At(std::string(folder) + "\\tovra_search_probe.dll").c_str(), FALSE));
  }
  std::string exe_;
};

// A DLL named without a path: found beside the program until the search is
// narrowed to the system folder.
TEST_F(DllSearch, NarrowedSearchSkipsTheProgramsFolder) {
  Plant("program");
  EXPECT_EQ(0, Probe(exe_, "plain", At("current")));
  EXPECT_EQ(1, Probe(exe_, "narrow", At("current")));
}

TEST_F(DllSearch, NarrowedSearchSkipsTheCurrentFolder) {
  Plant("current");
  EXPECT_EQ(0, Probe(exe_, "plain", At("current")));
  EXPECT_EQ(1, Probe(exe_, "narrow", At("current")));
}

// The system's own DLLs are still found by name.
TEST_F(DllSearch, NarrowedSearchStillFindsSystemDlls) {
  EXPECT_EQ(0, Probe(exe_, "narrow", At("current"), "version.dll"));
}

std::wstring Lower(std::wstring s) {
  CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
  return s;
}

TEST(LoadSystemLibrary, LoadsTheSystemFoldersCopyByFullPath) {
  HMODULE m = LoadSystemLibrary(L"version.dll");
  ASSERT_NE(nullptr, m);
  wchar_t loaded[MAX_PATH] = {};
  ASSERT_NE(0u, GetModuleFileNameW(m, loaded, MAX_PATH));
  wchar_t system[MAX_PATH] = {};
  ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
  EXPECT_EQ(Lower(std::wstring(system) + L"\\version.dll"), Lower(loaded));
  EXPECT_NE(nullptr, GetProcAddress(m, "GetFileVersionInfoSizeA"));
}

TEST(LoadSystemLibrary, RefusesEmptyAndOverlongNames) {
  EXPECT_EQ(nullptr, LoadSystemLibrary(L""));
  EXPECT_EQ(nullptr, LoadSystemLibrary(std::wstring(40, L'a').c_str()));
  EXPECT_EQ(nullptr, LoadSystemLibrary(L"no-such-library-here.dll"));
}

// The calling thread gets the mode; the process's (what the programs it
// starts begin with) stays as it was.
TEST(FailCriticalErrors, SetsTheThreadsModeOnly) {
  const UINT processMode = GetErrorMode();
  DWORD before = 0, after = 0;
  UINT processAfter = 0;
  std::thread thread([&] {
    before = GetThreadErrorMode();
    FailCriticalErrorsOnThisThread();
    after = GetThreadErrorMode();
    processAfter = GetErrorMode();
  });
  thread.join();
  EXPECT_EQ(0u, before & SEM_FAILCRITICALERRORS);
  EXPECT_NE(0u, after & SEM_FAILCRITICALERRORS);
  EXPECT_EQ(processMode, processAfter);
  EXPECT_EQ(processMode, GetErrorMode());
}

}  // namespace
