// The installed version check reads only the fixed file version and compares
// whole strings. The fixtures are programs built beside this test with
// version records of known content.
#include "install/version_check.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "util/product_version.h"

namespace {

std::string Fixture(const char *name) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self);
  return path.substr(0, path.find_last_of('\\') + 1) + name + ".exe";
}

// The text read, or "<none>" when GetFileVersionString refused; the buffer is
// pre-filled to show that a refusal leaves it untouched.
std::string Read(const char *name) {
  char text[100];
  std::memset(text, 'z', sizeof text);
  text[sizeof text - 1] = '\0';
  const std::string path = Fixture(name);
  if (!GetFileVersionString(path.c_str(), text)) {
    EXPECT_EQ(std::string(99, 'z'), text) << "a refusal must leave the text alone";
    return "<none>";
  }
  return text;
}

// The text and the worker's own decision on the fixture (not a comparison of
// the test's): "3.0.26.203 passes", "<none> fails".
std::string Verdict(const char *name) {
  const bool passes = FileVersionIs(Fixture(name).c_str(), ProductVersion);
  return Read(name) + (passes ? " passes" : " fails");
}

TEST(VersionCheck, OwnVersionPasses) {
  EXPECT_EQ("3.0.26.203 passes", Verdict("verfix_match"));
}

TEST(VersionCheck, OtherVersionsFailWholeStringComparison) {
  EXPECT_EQ("3.0.26.202 fails", Verdict("verfix_202"));
  // Begins with the product version but is not it.
  EXPECT_EQ("3.0.26.2030 fails", Verdict("verfix_2030"));
}

TEST(VersionCheck, PartsAreUnsigned16Bit) {
  EXPECT_EQ("65535.65535.65535.65535 fails", Verdict("verfix_max"));
}

TEST(VersionCheck, OnlyTheFixedFileVersionCounts) {
  EXPECT_EQ("3.0.26.204 fails", Verdict("verfix_texts_only"));
}

TEST(VersionCheck, MissingRecordOrFileFails) {
  for (const char *name : {"verfix_none", "no_such_fixture"}) {
    EXPECT_EQ("<none> fails", Verdict(name)) << name;
  }
}

TEST(VersionCheck, RecordLargerThanTheStackBufferIsReadWhole) {
  DWORD unused = 0;
  const std::string path = Fixture("verfix_large");
  ASSERT_GT(GetFileVersionInfoSizeA(path.c_str(), &unused), 5000u);
  EXPECT_EQ("3.0.26.203 passes", Verdict("verfix_large"));
}

}  // namespace
