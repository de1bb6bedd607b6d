#include "payload/tools/archive_check.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "extractor/zip/zip_writer.h"
#include "tests/pe/pe_builder.h"
#include "tests/support/host_files.h"
#include "util/product_files.h"

namespace {

using tovra::zip::WriteEntry;
using tovra::zip::WriteZip;

std::string Pe(uint32_t ms, uint32_t ls, bool version = true) {
  PeBuild b;
  b.file_ms = ms;
  b.file_ls = ls;
  b.version = version;
  std::vector<uint8_t> v = BuildPe(b);
  return std::string(v.begin(), v.end());
}

WriteEntry E(const std::string &name, const std::string &data, uint16_t method = 8,
             uint32_t attributes = 0) {
  WriteEntry e;
  e.name = name;
  e.data = data;
  e.method = method;
  e.external_attributes = attributes;
  return e;
}

const std::string kGoodService = Pe(3u << 16, (26u << 16) | 203);

// A minimal archive the installer could carry: the three required files, a
// folder and a Chinese (CP936) name.
std::vector<WriteEntry> Good() {
  return {E("TovraClientService.exe", kGoodService),
          E("TovraControl.exe", Pe(3u << 16, (26u << 16) | 203)),
          E("TovraClient.dat", std::string(223, 'd')),
          E("\xB9\xEC\xBC\xA3/", "", 0, 0x10),  // 轨迹/
          E("\xB9\xEC\xBC\xA3/1.trk", "1,2\r\n")};
}

bool Check(const std::string &zip, std::string *message) {
  return CheckProductArchive(reinterpret_cast<const uint8_t *>(zip.data()), zip.size(),
                             "3.0.26.203", message);
}

std::string Refusal(const std::vector<WriteEntry> &entries) {
  std::string message;
  EXPECT_FALSE(Check(WriteZip(entries), &message));
  return message;
}

TEST(ArchiveCheck, AcceptsAGoodArchive) {
  std::string message;
  EXPECT_TRUE(Check(WriteZip(Good()), &message)) << message;
  // Names are compared as Windows does, without regard to case.
  std::vector<WriteEntry> e = Good();
  e[2].name = "tovraclient.DAT";
  EXPECT_TRUE(Check(WriteZip(e), &message)) << message;
}

TEST(ArchiveCheck, RefusesWhatIsNoReadableZip) {
  std::string message;
  EXPECT_FALSE(Check("", &message));
  EXPECT_NE(std::string::npos, message.find("not a readable ZIP"));
  EXPECT_FALSE(Check(std::string(5000, 'x'), &message));
  std::string zip = WriteZip(Good());
  EXPECT_FALSE(Check(zip.substr(0, zip.size() - 30), &message)) << "cut end record";
  std::string damaged = zip;
  damaged[60] ^= 0x55;  // inside the first entry's compressed data
  EXPECT_FALSE(Check(damaged, &message));
}

TEST(ArchiveCheck, RefusesUnsafeNames) {
  for (const char *name : {"../evil.txt", "a/../../evil.txt", "/etc/evil", "C:\\evil.txt", "CON",
                           "dir/NUL.txt", "x:stream", "\\\\server\\share\\f"}) {
    std::vector<WriteEntry> e = Good();
    e.push_back(E(name, "x"));
    EXPECT_NE(std::string::npos, Refusal(e).find("unsafe entry name")) << name;
  }
}

TEST(ArchiveCheck, RefusesAMissingRequiredFile) {
  for (size_t k = 0; k < 3; ++k) {
    std::vector<WriteEntry> e = Good();
    std::string name = e[k].name;
    e.erase(e.begin() + long(k));
    EXPECT_NE(std::string::npos, Refusal(e).find("no file " + name)) << name;
    // Inside a folder it does not count either.
    e.push_back(E("sub/" + name, "x"));
    EXPECT_NE(std::string::npos, Refusal(e).find("no file " + name)) << name;
  }
  std::vector<WriteEntry> e = Good();
  e[2] = E("TovraClient.dat/", "", 0);  // a folder of that name
  EXPECT_NE(std::string::npos, Refusal(e).find("no file TovraClient.dat"));
  // A folder by its MS-DOS attribute alone, as the extractor makes it.
  e[2] = E("TovraClient.dat", "", 0, 0x10);
  EXPECT_NE(std::string::npos, Refusal(e).find("no file TovraClient.dat"));
}

// CP936 names whose last byte is 0x5C (運 is DF 5C) are files, as the
// extractor writes them; only a real separator at the end makes a folder.
TEST(ArchiveCheck, ReadsCp936NamesByCharacters) {
  std::vector<WriteEntry> e = Good();
  e.push_back(E("\xCB\xB5\xC3\xF7\xDF\x5C", "read me"));  // 说明運
  e.push_back(E("\xDF\x5C\x5C", "", 0));                  // 運 and a backslash
  std::string message;
  EXPECT_TRUE(Check(WriteZip(e), &message)) << message;
}

// The extractor refuses a folder entry that holds data, so the build does too.
TEST(ArchiveCheck, RefusesAFolderEntryWithData) {
  std::vector<WriteEntry> e = Good();
  e[3].data = "x";  // 轨迹/
  EXPECT_NE(std::string::npos, Refusal(e).find("folder entry"));
  e = Good();
  e.push_back(E("docs", "x", 0, 0x10));  // a folder by its attribute
  EXPECT_NE(std::string::npos, Refusal(e).find("folder entry \"docs\" holds data"));
}

TEST(ArchiveCheck, RefusesAServiceProgramOfAnotherVersion) {
  std::vector<WriteEntry> e = Good();
  e[0].data = Pe(3u << 16, (26u << 16) | 204);
  EXPECT_NE(std::string::npos, Refusal(e).find("has file version 3.0.26.204"));
  e[0].data = Pe(3u << 16, (26u << 16) | 203, false);
  EXPECT_NE(std::string::npos, Refusal(e).find("no version resource"));
  e[0].data = "MZ not really a program";
  EXPECT_NE(std::string::npos, Refusal(e).find("not a Windows PE image"));
}

// Windows reads the version record of the user's language under ID 1: the
// build refuses a service program that would pass on one system and fail on
// another, and one whose only record sits under another ID.
TEST(ArchiveCheck, RefusesAServiceProgramWhoseLanguagesDisagree) {
  PeBuild b;
  b.languages = {{0x409, 3u << 16, (26u << 16) | 203}, {0x804, (1u << 16) | 1, (1u << 16) | 1}};
  std::vector<uint8_t> image = BuildPe(b);
  std::vector<WriteEntry> e = Good();
  e[0].data.assign(image.begin(), image.end());
  const std::string message = Refusal(e);
  EXPECT_NE(std::string::npos, message.find("disagree")) << message;
  EXPECT_NE(std::string::npos, message.find("language 0x0409 (English, United States) 3.0.26.203"))
      << message;
  EXPECT_NE(std::string::npos, message.find("language 0x0804 (Chinese, PRC) 1.1.1.1")) << message;

  b = PeBuild();
  b.version_id = 2;
  image = BuildPe(b);
  e[0].data.assign(image.begin(), image.end());
  EXPECT_NE(std::string::npos, Refusal(e).find("no version resource under ID 1"));
}

TEST(ArchiveCheck, RefusesEntriesTheExtractorCannotWrite) {
  std::vector<WriteEntry> e = Good();
  e[1].crc32 = 0x12345678;
  EXPECT_NE(std::string::npos, Refusal(e).find("cannot be extracted"));
  e = Good();
  e[4].flags = 0x0001;  // encrypted
  EXPECT_NE(std::string::npos, Refusal(e).find("cannot be extracted"));
  e = Good();
  e[4].method = 14;  // LZMA
  EXPECT_NE(std::string::npos, Refusal(e).find("cannot be extracted"));
}

// The limit holds to the byte, and the refusal names both sizes (the scale
// test builds and installs near it, and is refused past it, for real).
TEST(ArchiveCheck, RefusesAnArchivePastTheSizeLimit) {
  std::string message;
  EXPECT_TRUE(ArchiveSizeFits(kMaxArchiveSize, &message));
  EXPECT_FALSE(ArchiveSizeFits(kMaxArchiveSize + 1ull, &message));
  EXPECT_NE(std::string::npos, message.find("1,072,693,249 bytes (1023.0 MiB)")) << message;
  EXPECT_NE(std::string::npos, message.find("limit of 1,072,693,248 bytes (1023 MiB)")) << message;
  EXPECT_FALSE(ArchiveSizeFits(4294967295ull, &message));
  EXPECT_NE(std::string::npos, message.find("4,294,967,295 bytes (4096.0 MiB)")) << message;
}

#ifdef TOVRA_SAMPLE_ARCHIVE
TEST(ArchiveCheck, AcceptsTheSampleProduct) {
  const std::string data = test_support::HostFile(TOVRA_SAMPLE_ARCHIVE);
  if (data.empty()) GTEST_SKIP() << "the i686 build has not packed the sample yet";
  std::string message;
  EXPECT_TRUE(Check(data, &message)) << message;
}
#endif

// The command-line tool stops the build with the reason.
TEST(ArchiveCheck, ToolExitsWithTheReason) {
  std::string dir = testing::TempDir();
  std::string good = dir + "check_good.zip", bad = dir + "check_bad.zip";
  std::vector<WriteEntry> e = Good();
  ASSERT_TRUE(test_support::WriteHostFile(good, WriteZip(e)));
  e.erase(e.begin() + 1);
  ASSERT_TRUE(test_support::WriteHostFile(bad, WriteZip(e)));
  std::string tool = TOVRA_ARCHIVE_CHECK;
  std::string out = dir + "check_out.txt";
  // The exit code and what the tool wrote to stderr.
  auto run = [&](const std::string &args, std::string *text) {
    int status = system((tool + " " + args + " 2>" + out).c_str());
    *text = test_support::HostFile(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string text;
  EXPECT_EQ(0, run(good + " 3.0.26.203", &text)) << text;
  EXPECT_EQ(1, run(bad + " 3.0.26.203", &text));
  EXPECT_NE(std::string::npos, text.find("no file TovraControl.exe"));
  EXPECT_EQ(1, run(dir + "no_such.zip 3.0.26.203", &text));
  // The version is the building tree's, never the tool's own.
  EXPECT_EQ(1, run(good + " 4.1.0.7", &text));
  EXPECT_NE(std::string::npos,
            text.find("has file version 3.0.26.203, the installer requires 4.1.0.7"))
      << text;
  EXPECT_EQ(2, run(good, &text));
  for (const std::string &p : {good, bad, out}) remove(p.c_str());
}

}  // namespace
