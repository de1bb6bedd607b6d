#include "product/tools/zip_pack.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "extractor/zip/zip_reader.h"
#include "tests/support/host_files.h"

namespace {

using tovra::zip::Archive;
using tovra::zip::Entry;
using tovra::zip::Status;

constexpr uint16_t kTime = 12 << 11, kDate = ((2025 - 1980) << 9) | (3 << 5) | 1;

using test_support::HostFile;
using test_support::WriteHostFile;

uint32_t U32(const std::string &s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 |
         uint32_t(uint8_t(s[at + 2])) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
}
uint16_t U16(const std::string &s, size_t at) {
  return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8);
}

class ZipPack : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::TempDir() + "zip_pack_" + std::to_string(getpid());
    mkdir(dir_.c_str(), 0755);
    mkdir((dir_ + "/轨迹").c_str(), 0755);
    ASSERT_TRUE(WriteHostFile(dir_ + "/TovraClient.dat", std::string(223, 'c')));
    ASSERT_TRUE(WriteHostFile(dir_ + "/背景01.bmp", std::string(100000, 'b') + "tail"));
    ASSERT_TRUE(WriteHostFile(dir_ + "/empty.bin", ""));
    ASSERT_TRUE(WriteHostFile(dir_ + "/轨迹/1.trk", "1,2,0.040\r\n"));
  }
  void TearDown() override { system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Pack(const std::string &name) {
    std::vector<PackEntry> entries;
    std::string error, out = dir_ + "/../" + name + std::to_string(getpid()) + ".zip";
    EXPECT_TRUE(ListFolder(dir_, &entries, &error)) << error;
    EXPECT_TRUE(PackZip(entries, out, kTime, kDate, &error)) << error;
    std::string zip = HostFile(out);
    remove(out.c_str());
    return zip;
  }

  std::string dir_;
};

TEST_F(ZipPack, WritesTheCarriedArchiveForm) {
  std::string zip = Pack("form");
  Archive a;
  ASSERT_EQ(Status::kOk, a.Open(reinterpret_cast<const uint8_t *>(zip.data()), zip.size()));
  const std::vector<Entry> &e = a.entries();
  // Sorted by UTF-8 bytes, the folder right before its contents; names CP936.
  std::vector<std::string> names;
  for (const Entry &x : e) names.push_back(x.name);
  EXPECT_EQ((std::vector<std::string>{"TovraClient.dat", "empty.bin",
                                      "\xB1\xB3\xBE\xB0"
                                      "01.bmp",
                                      "\xB9\xEC\xBC\xA3/", "\xB9\xEC\xBC\xA3/1.trk"}),
            names);
  for (size_t i = 0; i < e.size(); ++i) {
    const Entry &x = e[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(Status::kOk, a.Verify(i));
    EXPECT_EQ(20, x.version_made_by);  // MS-DOS, 2.0
    EXPECT_FALSE(x.utf8());
    EXPECT_EQ(kTime, x.dos_time);
    EXPECT_EQ(kDate, x.dos_date);
    if (x.is_directory()) {
      EXPECT_EQ(0, x.method);
      EXPECT_EQ(0, x.flags);
      EXPECT_EQ(0u, x.uncompressed_size);
      EXPECT_EQ(0x10u, x.external_attributes);
    } else {
      EXPECT_EQ(8, x.method);
      EXPECT_EQ(0x0002, x.flags);  // maximum compression, no data descriptor
    }
  }
  EXPECT_EQ(223u, e[0].uncompressed_size);
  EXPECT_LT(e[2].compressed_size, 1000u);
  // One end record, the archive's last 22 bytes: no comment, no ZIP64.
  size_t end = zip.size() - 22;
  EXPECT_EQ(0x06054B50u, U32(zip, end));
  EXPECT_EQ(0, U16(zip, end + 20));
  EXPECT_EQ(5, U16(zip, end + 10));
  EXPECT_EQ(std::string::npos, zip.find("PK\x06\x06"));
  EXPECT_EQ(std::string::npos, zip.find("PK\x07\x08"));
}

TEST_F(ZipPack, SameFolderGivesSameBytes) {
  EXPECT_EQ(Pack("a"), Pack("b"));
}

TEST_F(ZipPack, DebianUnzipReadsIt) {
  std::vector<PackEntry> entries;
  std::string error, out = dir_ + "/../unzip" + std::to_string(getpid()) + ".zip";
  ASSERT_TRUE(ListFolder(dir_, &entries, &error));
  ASSERT_TRUE(PackZip(entries, out, kTime, kDate, &error)) << error;
  EXPECT_EQ(0, system(("unzip -tqq '" + out + "' >/dev/null").c_str()));
  remove(out.c_str());
}

TEST(ZipPackNames, RefusesNamesWithoutACp936Form) {
  std::string cp936;
  EXPECT_TRUE(Utf8ToCp936("提示音.wav", &cp936));
  EXPECT_EQ("\xCC\xE1\xCA\xBE\xD2\xF4.wav", cp936);
  EXPECT_FALSE(Utf8ToCp936("\xF0\x9F\x98\x80.txt", &cp936));  // an emoji
  EXPECT_FALSE(Utf8ToCp936("\xFF\xFE", &cp936));              // not UTF-8
  std::string error;
  EXPECT_FALSE(PackZip({{"\xF0\x9F\x98\x80.txt", "/dev/null"}}, "/tmp/never.zip", 0, 0, &error));
  EXPECT_NE(std::string::npos, error.find("CP936"));
}

TEST(ZipPackNames, ReportsAnUnreadableSource) {
  std::string error;
  std::string out = testing::TempDir() + "unreadable.zip";
  EXPECT_FALSE(PackZip({{"a.txt", "/nonexistent/a.txt"}}, out, 0, 0, &error));
  EXPECT_NE(std::string::npos, error.find("cannot read"));
  FILE *f = fopen(out.c_str(), "rb");
  EXPECT_EQ(nullptr, f) << "no half-written archive is left";
  if (f) fclose(f);
}

}  // namespace
