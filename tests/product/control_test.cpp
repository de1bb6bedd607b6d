// The sample product's programs under Wine: the control program records
// each start as the end-to-end tests read it, and both programs carry the
// product version where the installer's version check looks.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/run_program.h"
#include "tovra_version.h"

namespace {

std::string ReadAll(const std::wstring &path) {
  std::string data;
  test_support::ReadFileBytes(path, &data);
  return data;
}

// The exit code, 0xFFFFFFFF when it did not start or end within 30 s.
DWORD RunAndWait(const std::wstring &command, const std::wstring &cwd) {
  test_support::Process process;
  if (!process.Start(command, cwd.c_str())) return 0xFFFFFFFF;
  return static_cast<DWORD>(process.Wait(30000));
}

class SampleProduct : public testing::Test {
 protected:
  // A folder with a blank and Chinese characters, removed when the case ends.
  void SetUp() override {
    dir_ = test_support::MakeScratchFolder(L"产品 tovra") + L"\\";
    work_ = dir_ + L"工作\\";
    ASSERT_TRUE(CreateDirectoryW(work_.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(TOVRA_TEST_BIN L"\\TovraControl.exe",
                          (dir_ + L"TovraControl.exe").c_str(), FALSE));
  }
  std::wstring dir_, work_;
};

TEST_F(SampleProduct, ControlRecordsEachStartBesideItself) {
  std::wstring first = L"\"" + dir_ + L"TovraControl.exe\" -create_sm_shortcut -wizard -setup";
  std::wstring second = L"\"" + dir_ +
                        L"TovraControl.exe\" -create_sm_shortcut -wizard -setup "
                        L"-create_desktop_shortcut -autorun";
  ASSERT_EQ(0u, RunAndWait(first, work_));
  ASSERT_EQ(0u, RunAndWait(second, dir_));
  // One UTF-8 line per start: working folder, tab, full command line.
  std::wstring cwd_work = work_.substr(0, work_.size() - 1),
               cwd_dir = dir_.substr(0, dir_.size() - 1);
  std::wstring log = test_support::Widen(ReadAll(dir_ + L"TovraControl.launch.txt"));
  EXPECT_EQ(cwd_work + L"\t" + first + L"\n" + cwd_dir + L"\t" + second + L"\n", log);
}

TEST(SampleProductVersion, ProgramsCarryTheProductVersion) {
  for (const wchar_t *exe :
       {TOVRA_TEST_BIN L"\\TovraClientService.exe", TOVRA_TEST_BIN L"\\TovraControl.exe"}) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(exe, &handle);
    ASSERT_NE(0u, size) << exe;
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(exe, 0, size, &block[0]));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(&block[0], L"\\", reinterpret_cast<void **>(&fixed), &len));
    std::string text = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                       std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                       std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                       std::to_string(LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(TOVRA_PRODUCT_VERSION_STR, text);
  }
}

}  // namespace
