// The Windows name rules, natively and under Wine.
#include "util/win_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(WindowsNames, DeviceNamesInEitherTextWithExtensionsAndBlanks) {
  for (const char *device : {"CON", "prn", "Aux", "nul.txt", "NUL .tar.gz", "con.", "con  ", "COM0",
                             "com9", "LPT0.log", "lpt9", "CONIN$", "conout$.x", "Clock$"}) {
    EXPECT_TRUE(IsWindowsDeviceName(std::string_view(device))) << device;
    const std::string narrow(device);
    EXPECT_TRUE(IsWindowsDeviceName(std::u16string(narrow.begin(), narrow.end()))) << device;
  }
  for (const char *name : {"", "CONSOLE", "con1", "COM10", "COM", ".con", "a.con", "LPT", "CONIN",
                           "CON$", " con", "aux-1", "\xB0\xA1\xB0\xA1"}) {
    EXPECT_FALSE(IsWindowsDeviceName(std::string_view(name))) << name;
  }
  // Windows reads the Latin-1 superscripts as digits; in CP936 B9 is a lead byte.
  EXPECT_TRUE(IsWindowsDeviceName(u"COM\u00B9"));
  EXPECT_TRUE(IsWindowsDeviceName(u"lpt\u00B3.txt"));
  EXPECT_FALSE(IsWindowsDeviceName(u"COM\u2074"));
  EXPECT_FALSE(IsWindowsDeviceName(std::string_view("COM\xB9")));
}

TEST(WindowsNames, ForbiddenCharactersAndStrippedEnds) {
  for (char32_t c : {U'\0', U'\x1F', U'"', U'*', U':', U'<', U'>', U'?', U'|'}) {
    EXPECT_TRUE(IsCharForbiddenInNames(c)) << static_cast<int>(c);
  }
  for (char32_t c : {U' ', U'.', U'\\', U'/', U'%', U'\x7F', U'\u8BDA'}) {
    EXPECT_FALSE(IsCharForbiddenInNames(c)) << static_cast<int>(c);
  }
  EXPECT_TRUE(EndsInBlankOrDot(std::string_view("a ")));
  EXPECT_TRUE(EndsInBlankOrDot(u".."));
  EXPECT_FALSE(EndsInBlankOrDot(std::string_view("")));
  EXPECT_FALSE(EndsInBlankOrDot(u"a.b"));
}

TEST(WindowsNames, UncRootsNeedAServerAndAShare) {
  EXPECT_EQ(14u, UncRootLength(std::string_view("\\\\server\\share\\a")));
  EXPECT_EQ(14u, UncRootLength(u"//server/share"));
  // 誠 (D5 5C) as a server name: its second byte is no separator.
  EXPECT_EQ(10u, UncRootLength(std::string_view("\\\\\xD5\x5C\\share\\")));
  for (const char *none : {"", "\\\\", "\\\\server", "\\\\server\\", "\\\\\\share", "C:\\a",
                           "\\a\\b", "\\\\?\\C:\\", "\\\\.\\C:\\"}) {
    EXPECT_EQ(0u, UncRootLength(std::string_view(none))) << none;
  }
}

// The steps a chain takes, as "<prefix>" for a folder and "[<prefix>]" for a share.
template <typename Text>
std::vector<Text> Steps(const Text &path, bool lastIsFile) {
  struct Run {
    const Text *path;
    std::vector<Text> steps;
  } run{&path, {}};
  WalkFolderChain(
      path, lastIsFile,
      [](void *context, size_t length, ChainStep step) {
        auto *r = static_cast<Run *>(context);
        const Text prefix = r->path->substr(0, length);
        r->steps.push_back(step == ChainStep::kShare ? Text(1, '[') + prefix + Text(1, ']')
                                                     : prefix);
        return r->steps.size() < 3;  // a false answer ends the walk
      },
      &run);
  return run.steps;
}

TEST(WindowsNames, FolderChainsStartBelowWhatNoChainCanMake) {
  using V = std::vector<std::string>;
  EXPECT_EQ((V{"C:", "C:\\a", "C:\\a\\b"}), Steps<std::string>("C:\\a\\b\\", false));
  EXPECT_EQ((V{"C:", "C:\\a"}), Steps<std::string>("C:\\a\\f.dat", true));
  EXPECT_EQ((V{"[\\\\s\\sh]", "\\\\s\\sh\\a"}), Steps<std::string>("\\\\s\\sh\\a", false));
  EXPECT_EQ((V{"[\\\\s\\sh]"}), Steps<std::string>("\\\\s\\sh", false));
  EXPECT_EQ((V{"\\a"}), Steps<std::string>("\\a", false));  // on the current drive
  EXPECT_EQ((V{"x", "x\\", "x\\\\"}), Steps<std::string>("x\\\\", false));
  EXPECT_EQ((V{"\xD5\x5C"}), Steps<std::string>("\xD5\x5C", false));  // 誠, no cut in it
  EXPECT_EQ((V{"a", "a\\b", "a\\b\\c"}), Steps<std::string>("a\\b\\c\\d", false));  // stopped

  using W = std::vector<std::u16string>;
  EXPECT_EQ((W{u"\\\\?\\C:", u"\\\\?\\C:\\o"}), Steps<std::u16string>(u"\\\\?\\C:\\o", false));
  EXPECT_EQ((W{u"[\\\\?\\UNC\\s\\sh]", u"\\\\?\\UNC\\s\\sh\\o"}),
            Steps<std::u16string>(u"\\\\?\\UNC\\s\\sh\\o", false));
}

}  // namespace
