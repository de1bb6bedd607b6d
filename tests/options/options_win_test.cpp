// ParseCommandLine through the system's own report of the running module.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/options.h"

static std::string ModulePath() {
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, MAX_PATH);
  return path;
}

TEST(OptionsWindows, SkipsTheRunningProgramsPath) {
  OptionTable *table = NewOptionTable(20);
  ASSERT_NE(nullptr, table);
  std::string path = ModulePath();
  CharUpperA(&path[0]);  // the file name is found case-blind
  std::string line = "\"" + path + "\" -auto_setup -Target_Dir \"C:\\a b\"";
  ASSERT_EQ(2, ParseCommandLine(line.c_str(), true, table, 20));
  EXPECT_STREQ("C:\\a b", FindOption("target_dir", table, 2));
  EXPECT_STREQ("Target_Dir", table[1].name);
  EXPECT_EQ(1, ParseCommandLine("-auto_setup", false, table, 20));
  FreeOptionTable(table);
}

TEST(OptionsWindows, AProgramNamedWithoutItsExtensionGivesNothing) {
  OptionTable *table = NewOptionTable(20);
  ASSERT_NE(nullptr, table);
  std::string path = ModulePath();
  std::string line = path.substr(0, path.size() - 4) + " -auto_setup";
  EXPECT_EQ(0, ParseCommandLine(line.c_str(), true, table, 20));
  FreeOptionTable(table);
}
