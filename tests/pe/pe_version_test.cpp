#include "payload/tools/pe_version.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/pe/pe_builder.h"
#include "tests/support/host_files.h"
#include "tovra_version.h"

namespace {

void Put32(std::vector<uint8_t> &v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

PeStatus Version(const std::vector<uint8_t> &img, std::string *text = nullptr) {
  uint32_t ms = 0, ls = 0;
  PeStatus st = ReadPeFileVersion(img.data(), img.size(), &ms, &ls);
  if (text) *text = st == PeStatus::kOk ? FormatFileVersion(ms, ls) : "";
  return st;
}

TEST(PeVersion, ReadsPe32AndPe32Plus) {
  for (bool plus : {false, true}) {
    PeBuild b;
    b.pe32_plus = plus;
    b.machine = plus ? 0x8664 : 0x14C;
    b.subsystem = plus ? 3 : 2;
    std::vector<uint8_t> img = BuildPe(b);
    PeImageInfo info;
    ASSERT_EQ(PeStatus::kOk, ReadPeImage(img.data(), img.size(), &info)) << plus;
    EXPECT_EQ(plus, info.pe32_plus);
    EXPECT_EQ(b.machine, info.machine);
    EXPECT_EQ(b.subsystem, info.subsystem);
    EXPECT_EQ(std::vector<std::string>{".data"}, info.sections);
    EXPECT_EQ(std::vector<std::string>{"KERNEL32.dll"}, info.imported_dlls);
    EXPECT_TRUE(info.has_version);
    EXPECT_EQ("3.0.26.203", FormatFileVersion(info.file_version_ms, info.file_version_ls));
    std::string text;
    EXPECT_EQ(PeStatus::kOk, Version(img, &text));
    EXPECT_EQ("3.0.26.203", text);
  }
}

TEST(PeVersion, FormatsEachPartAsDecimal) {
  EXPECT_EQ("65535.0.1.65535", FormatFileVersion(0xFFFF0000u, 0x0001FFFFu));
  EXPECT_EQ("0.0.0.0", FormatFileVersion(0, 0));
}

TEST(PeVersion, ImageWithoutVersionResource) {
  PeBuild b;
  b.version = false;
  std::vector<uint8_t> img = BuildPe(b);
  PeImageInfo info;
  EXPECT_EQ(PeStatus::kOk, ReadPeImage(img.data(), img.size(), &info));
  EXPECT_FALSE(info.has_version);
  EXPECT_EQ(PeStatus::kNoVersion, Version(img));
}

TEST(PeVersion, RefusesWhatIsNotPe) {
  std::vector<uint8_t> img = BuildPe(PeBuild());
  EXPECT_EQ(PeStatus::kNotPe, Version({}));
  EXPECT_EQ(PeStatus::kNotPe, Version({'M', 'Z'}));
  std::vector<uint8_t> bad = img;
  bad[0] = 'X';
  EXPECT_EQ(PeStatus::kNotPe, Version(bad));
  bad = img;
  Put32(bad, 0x3C, 0xFFFFFFF0u);  // e_lfanew far outside
  EXPECT_EQ(PeStatus::kNotPe, Version(bad));
  bad = img;
  bad[PeLayout::kLfanew + 24] = 0x07;  // optional header magic 0x107 (ROM image)
  EXPECT_EQ(PeStatus::kNotPe, Version(bad));
}

constexpr uint32_t kMs = 3u << 16, kLs = (26u << 16) | 203;  // 3.0.26.203

PeBuild WithLanguages(std::vector<PeLanguage> languages) {
  PeBuild b;
  b.languages = std::move(languages);
  return b;
}

// GetFileVersionInfo takes the record of the user's language: the languages
// must agree for the version to be the same on every system.
TEST(PeVersion, LanguagesThatAgreeGiveTheirVersion) {
  std::vector<uint8_t> img = BuildPe(WithLanguages({{0x409, kMs, kLs}, {0x804, kMs, kLs}}));
  std::string text;
  EXPECT_EQ(PeStatus::kOk, Version(img, &text));
  EXPECT_EQ("3.0.26.203", text);
  PeImageInfo info;
  ASSERT_EQ(PeStatus::kOk, ReadPeImage(img.data(), img.size(), &info));
  EXPECT_TRUE(info.has_version);
  ASSERT_EQ(2u, info.version_records.size());
  EXPECT_EQ(0x409, info.version_records[0].language);
  EXPECT_EQ(0x804, info.version_records[1].language);
}

TEST(PeVersion, LanguagesThatDisagreeAreRefused) {
  const uint32_t other_ms = (1u << 16) | 1, other_ls = (1u << 16) | 1;  // 1.1.1.1
  for (const PeBuild &b :
       {WithLanguages({{0x409, kMs, kLs}, {0x804, other_ms, other_ls}}),
        WithLanguages({{0x804, other_ms, other_ls}, {0x409, kMs, kLs}}),
        WithLanguages({{0, kMs, kLs}, {0x409, kMs, kLs}, {0x804, kMs, kLs + 1}})}) {
    std::vector<uint8_t> img = BuildPe(b);
    uint32_t ms = 0, ls = 0;
    std::vector<PeVersionRecord> records;
    EXPECT_EQ(PeStatus::kVersionsDisagree,
              ReadPeFileVersion(img.data(), img.size(), &ms, &ls, &records));
    ASSERT_EQ(b.languages.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(b.languages[i].id, records[i].language);
      EXPECT_EQ(b.languages[i].file_ms, records[i].file_version_ms);
      EXPECT_EQ(b.languages[i].file_ls, records[i].file_version_ls);
    }
    // The image itself is sound; it just has no one version.
    PeImageInfo info;
    EXPECT_EQ(PeStatus::kOk, ReadPeImage(img.data(), img.size(), &info));
    EXPECT_FALSE(info.has_version);
    EXPECT_EQ(b.languages.size(), info.version_records.size());
  }
}

// A damaged record in any language is as bad as none: a system of that
// language could not read the version.
TEST(PeVersion, ADamagedSecondLanguageIsRefused) {
  std::vector<uint8_t> img = BuildPe(WithLanguages({{0x409, kMs, kLs}, {0x804, kMs, kLs}}));
  std::vector<uint8_t> bad = img;
  size_t second_key = 0;
  for (size_t at = img.size() - 2; at > PeLayout::kResources; --at) {
    if (img[at] == 'V' && img[at + 2] == 'S' && img[at + 4] == '_') {
      second_key = at;
      break;
    }
  }
  ASSERT_GT(second_key, PeLayout::kVersionInfo);
  bad[second_key] = 'X';
  EXPECT_EQ(PeStatus::kNoVersion, Version(bad));
}

// GetFileVersionInfo loads ID 1 (VS_VERSION_INFO); a record under another ID
// is never read.
TEST(PeVersion, OnlyTheRecordUnderIdOneCounts) {
  PeBuild b;
  b.version_id = 2;
  std::vector<uint8_t> img = BuildPe(b);
  EXPECT_EQ(PeStatus::kNoVersion, Version(img));
  PeImageInfo info;
  EXPECT_EQ(PeStatus::kOk, ReadPeImage(img.data(), img.size(), &info));
  EXPECT_FALSE(info.has_version);
  b.version_id = 1;
  EXPECT_EQ(PeStatus::kOk, Version(BuildPe(b)));
}

// Every prefix of a good image: an error or, once the version record is
// whole, the right version; never anything else.
TEST(PeVersion, EveryTruncationFailsCleanly) {
  std::vector<uint8_t> img = BuildPe(PeBuild());
  for (size_t n = 0; n < img.size(); ++n) {
    std::vector<uint8_t> part(img.begin(), img.begin() + n);
    std::string text;
    PeStatus st = Version(part, &text);
    if (n < PeLayout::kVersionEnd)
      EXPECT_NE(PeStatus::kOk, st) << n;
    else
      EXPECT_EQ("3.0.26.203", text) << n;
  }
}

TEST(PeVersion, DamagedTablesAreRefused) {
  const std::vector<uint8_t> img = BuildPe(PeBuild());
  struct Case {
    const char *what;
    size_t at;
    uint32_t value;
    PeStatus expect;
  } cases[] = {
      {"section count beyond the file", PeLayout::kLfanew + 6, 0xFFFF, PeStatus::kMalformed},
      {"section raw data beyond the file", 0x40 + 24 + 224 + 20, 0x7FFFFFF0u, PeStatus::kMalformed},
      {"resource entry count huge", PeLayout::kResources + 12, 0xFFFFFFFFu, PeStatus::kMalformed},
      {"type entry is not a directory", PeLayout::kResources + 20, 0x18, PeStatus::kMalformed},
      {"subdirectory outside the tree", PeLayout::kResources + 20, 0x8000FFF0u,
       PeStatus::kMalformed},
      {"data entry outside the section", PeLayout::kDataEntry, 0x00FF0000u, PeStatus::kMalformed},
      {"data size beyond the section", PeLayout::kDataEntry + 4, 0x10000, PeStatus::kMalformed},
      {"wrong key", PeLayout::kVersionInfo + 6, 'X', PeStatus::kNoVersion},
      {"fixed info signature", PeLayout::kFixedInfo, 0x12345678u, PeStatus::kNoVersion},
      {"value shorter than the fixed info", PeLayout::kVersionInfo + 2, 0x5C0010,
       PeStatus::kNoVersion},
      {"block length cuts the fixed info", PeLayout::kVersionInfo, 0x340050, PeStatus::kNoVersion},
  };
  for (const Case &c : cases) {
    std::vector<uint8_t> bad = img;
    Put32(bad, c.at, c.value);
    EXPECT_EQ(c.expect, Version(bad)) << c.what;
  }
}

TEST(PeVersion, ImportNameWithoutEndIsRefused) {
  std::vector<uint8_t> img = BuildPe(PeBuild());
  // The DLL name runs to the section's end without a terminator.
  for (size_t i = PeLayout::kSection + 0x40; i < PeLayout::kSize; ++i) img[i] = 'A';
  PeImageInfo info;
  EXPECT_EQ(PeStatus::kMalformed, ReadPeImage(img.data(), img.size(), &info));
}

#ifdef TOVRA_I686_BIN
// The sample product's programs carry the project's one version.
TEST(PeVersion, OurBuiltProgramsCarryTheProductVersion) {
  int seen = 0;
  for (const char *dir : {TOVRA_I686_BIN, TOVRA_X64_BIN}) {
    for (const char *exe : {"/TovraClientService.exe", "/TovraControl.exe"}) {
      const std::string img = test_support::HostFile(std::string(dir) + exe);
      if (img.empty()) continue;
      ++seen;
      PeImageInfo info;
      ASSERT_EQ(PeStatus::kOk,
                ReadPeImage(reinterpret_cast<const uint8_t *>(img.data()), img.size(), &info))
          << dir << exe;
      bool i686 = std::string(dir) == TOVRA_I686_BIN;
      EXPECT_EQ(i686 ? 0x14C : 0x8664, info.machine);
      EXPECT_EQ(!i686, info.pe32_plus);
      EXPECT_EQ(2, info.subsystem);  // GUI
      ASSERT_TRUE(info.has_version);
      EXPECT_EQ(TOVRA_PRODUCT_VERSION_STR,
                FormatFileVersion(info.file_version_ms, info.file_version_ls));
      EXPECT_EQ(TOVRA_PRODUCT_VERSION_STR,
                FormatFileVersion(info.product_version_ms, info.product_version_ls));
      bool kernel32 = false;
      for (const std::string &dll : info.imported_dlls) kernel32 |= dll == "KERNEL32.dll";
      EXPECT_TRUE(kernel32);
    }
  }
  if (seen == 0) GTEST_SKIP() << "the cross builds have not run yet";
}
#endif

}  // namespace
