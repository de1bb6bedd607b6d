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

// The worker's own decision on the fixture, not a comparison of the test's.
bool Passes(const char *name) {
  return FileVersionIs(Fixture(name).c_str(), ProductVersion);
}

TEST(VersionCheck, OwnVersionPasses) {
  EXPECT_EQ("3.0.26.203", Read("verfix_match"));
  EXPECT_TRUE(Passes("verfix_match"));
}

TEST(VersionCheck, OtherVersionsFailWholeStringComparison) {
  EXPECT_EQ("3.0.26.202", Read("verfix_202"));
  EXPECT_FALSE(Passes("verfix_202"));
  // Begins with the product version but is not it.
  EXPECT_EQ("3.0.26.2030", Read("verfix_2030"));
  EXPECT_FALSE(Passes("verfix_2030"));
}

TEST(VersionCheck, PartsAreUnsigned16Bit) {
  EXPECT_EQ("65535.65535.65535.65535", Read("verfix_max"));
  EXPECT_FALSE(Passes("verfix_max"));
}

TEST(VersionCheck, OnlyTheFixedFileVersionCounts) {
  EXPECT_EQ("3.0.26.204", Read("verfix_texts_only"));
  EXPECT_FALSE(Passes("verfix_texts_only"));
}

TEST(VersionCheck, MissingRecordOrFileFails) {
  EXPECT_EQ("<none>", Read("verfix_none"));
  EXPECT_EQ("<none>", Read("no_such_fixture"));
  EXPECT_FALSE(Passes("verfix_none"));
  EXPECT_FALSE(Passes("no_such_fixture"));
}

TEST(VersionCheck, RecordLargerThanTheStackBufferIsReadWhole) {
  DWORD unused = 0;
  const std::string path = Fixture("verfix_large");
  ASSERT_GT(GetFileVersionInfoSizeA(path.c_str(), &unused), 5000u);
  EXPECT_EQ("3.0.26.203", Read("verfix_large"));
  EXPECT_TRUE(Passes("verfix_large"));
}

}  // namespace
