#pragma once
// A fresh folder under the Windows temp folder for each test, removed after.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

class ScratchTest : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const auto *info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::string(temp) + "tovra_" + std::to_string(GetCurrentProcessId()) + "_" +
           info->test_suite_name() + "_" + info->name();
    std::filesystem::remove_all(dir_);
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), NULL));
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  // A path inside the scratch folder.
  std::string At(const std::string &name) const { return dir_ + "\\" + name; }

  std::string dir_;
};
