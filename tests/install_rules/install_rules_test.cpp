// The rules the installer follows that need no window: the install folder's
// and the extractor's command. Natively and under Wine alike.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "install/extract_command.h"
#include "install/install_folder.h"
#include "install/install_state.h"

namespace {

TEST(InstallFolderRule, TakesAbsoluteFoldersUpToTheLimit) {
  EXPECT_TRUE(InstallFolderUsable("C:\\Tovra\\"));
  EXPECT_TRUE(InstallFolderUsable("d:\\"));
  EXPECT_TRUE(InstallFolderUsable("\\\\server\\share\\Tovra\\"));
  EXPECT_TRUE(InstallFolderUsable("\\\\server\\share\\"));
  // 誠 (D5 5C) as a server name: its second byte is no separator.
  EXPECT_TRUE(InstallFolderUsable("\\\\\xD5\x5C\\share\\"));
  // 亅 (81 7C): its second byte is no "|".
  EXPECT_TRUE(InstallFolderUsable("C:\\\x81\x7C\\"));
  // Near the device names, and a share that happens to be called so.
  for (const char *taken : {"C:\\CONSOLE\\", "C:\\con1\\", "C:\\COM10\\", "C:\\.con\\",
                            "C:\\a b\\aux-1\\", "\\\\server\\nul\\Tovra\\"}) {
    EXPECT_TRUE(InstallFolderUsable(taken)) << taken;
  }
  const std::string at = "C:\\" + std::string(kMaxInstallDirLength - 4, 'a') + "\\";
  EXPECT_TRUE(InstallFolderUsable(at.c_str()));
  const std::string past = "C:\\" + std::string(kMaxInstallDirLength - 3, 'a') + "\\";
  EXPECT_FALSE(InstallFolderUsable(past.c_str()));

  for (const char *refused :
       {"", "Tovra\\", "\\Tovra\\", "C:Tovra\\", "C:\\%WINDIR%\\", "C:\\100%\\", "\\\\server\\",
        "\\\\server\\share", "\\\\\\share\\", "\\\\?\\C:\\Tovra\\", "\\\\.\\C:\\", "1:\\Tovra\\",
        // What no file name may hold; "?" is also what a character CP936
        // cannot spell becomes.
        "C:\\a?b\\", "C:\\a*\\", "C:\\a|b\\", "C:\\<a>\\", "C:\\\"a\"\\", "C:\\a\tb\\", "C:\\a:b\\",
        "C:\\\xD5\x5C?\\",
        // Device names, in any case, with an extension or blanks before it.
        "C:\\CON\\", "C:\\Tovra\\nul\\", "C:\\a\\Aux.txt\\", "C:\\PRN .log\\", "C:\\lpt1\\",
        "C:\\COM9\\x\\", "\\\\server\\share\\con\\", "C:\\\xD0\xC2\xBD\xA8\\CON"}) {
    EXPECT_FALSE(InstallFolderUsable(refused)) << refused;
  }
  char unterminated[kInstallDirSize];
  std::memset(unterminated, 'a', sizeof unterminated);
  EXPECT_FALSE(InstallFolderUsable(unterminated));
}

// The names the extractor refuses in an archive and the folder rule once let
// pass: the console's and DOS's device names, components Windows strips a
// blank or a full stop from, and "/" as the separator it is to Windows.
TEST(InstallFolderRule, RefusesTheNamesTheExtractorRefuses) {
  for (const char *refused :
       {"C:\\CONIN$\\", "C:\\a\\conout$.txt\\", "C:\\Clock$ \\", "\\\\server\\share\\CONIN$\\",
        "C:\\Tovra \\", "C:\\Tovra.\\", "C:\\a.\\b\\", "C:\\a/con\\", "C:\\a\\...\\"}) {
    EXPECT_FALSE(InstallFolderUsable(refused)) << refused;
  }
  for (const char *taken :
       {"C:\\CONIN\\", "C:\\a.b\\", "C:\\ a\\", "C:\\.\\a\\..\\", "\\\\server\\share/Tovra\\"}) {
    EXPECT_TRUE(InstallFolderUsable(taken)) << taken;
  }
}

TEST(ExtractCommand, QuotesBothPathsAndFitsItsBuffer) {
  char command[kExtractCommandSize];
  ASSERT_TRUE(BuildExtractCommand(command, sizeof command, "D:\\a b\\setup.zip", "D:\\a b\\"));
  EXPECT_STREQ("x \"D:\\a b\\setup.zip\" -o\"D:\\a b\\\" -y", command);
  // Paths of 587 characters together fit the 600 bytes; 588 do not.
  const std::string folder(300, 'f');
  EXPECT_TRUE(
      BuildExtractCommand(command, sizeof command, std::string(287, 'a').c_str(), folder.c_str()));
  EXPECT_FALSE(
      BuildExtractCommand(command, sizeof command, std::string(288, 'a').c_str(), folder.c_str()));
  EXPECT_STREQ("", command);
}

}  // namespace
