// The ZIP reading core against archives written here, sound and hostile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "extractor/zip/zip_reader.h"
#include "extractor/zip/zip_writer.h"
#include "tests/support/host_files.h"
#include "tests/support/hostile_entries.h"

namespace tovra::zip {
namespace {

using test_support::ZipEntry;

#ifdef _WIN32
const std::string kSeeds = std::string("Z:") + TOVRA_ZIP_SEEDS;
#else
const std::string kSeeds = TOVRA_ZIP_SEEDS;
#endif

const uint8_t *Bytes(const std::string &s) {
  return reinterpret_cast<const uint8_t *>(s.data());
}

bool Append(void *ctx, const uint8_t *p, size_t n) {
  static_cast<std::string *>(ctx)->append(reinterpret_cast<const char *>(p), n);
  return true;
}

std::string Pattern(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = static_cast<char>(i % 7 == 0 ? (seed >> 16) : 'a' + (i / 13) % 26);
  }
  return s;
}

// An archive in memory that the core reads through ReadAt, as 7Z.DLL reads
// a file: every read must lie inside it; a read that covers `fail_at` fails.
struct Reader {
  const std::string *bytes;
  uint64_t fail_at = UINT64_MAX;
  size_t largest = 0;
  uint64_t total = 0;
  static bool Read(void *ctx, uint64_t offset, uint8_t *buffer, size_t size) {
    Reader *r = static_cast<Reader *>(ctx);
    EXPECT_LE(offset + size, r->bytes->size());
    if (offset + size > r->bytes->size() || (offset <= r->fail_at && r->fail_at < offset + size)) {
      return false;
    }
    std::memcpy(buffer, r->bytes->data() + offset, size);
    r->largest = std::max(r->largest, size);
    r->total += size;
    return true;
  }
};

// Opened both ways, in memory and read in pieces; both must agree.
struct Opened {
  std::string bytes;
  Archive archive, read;
  Reader reader{&bytes};
  Status status;
  explicit Opened(std::string b) : bytes(std::move(b)) {
    status = archive.Open(Bytes(bytes), bytes.size());
    EXPECT_EQ(status, read.Open(Reader::Read, &reader, bytes.size()));
  }
  Status Extract(size_t i, std::string *out) const {
    std::string again;
    const size_t before = out->size();
    const Status s = archive.Extract(i, Append, out);
    EXPECT_EQ(s, read.Extract(i, Append, &again)) << i;
    EXPECT_TRUE(out->compare(before, std::string::npos, again) == 0) << i;
    return s;
  }
};

TEST(ZipCore, ReadsStoredDeflatedEmptyAndFolderEntries) {
  const std::string big = Pattern(700 * 1024, 7);  // several output chunks
  std::vector<WriteEntry> in = {ZipEntry("dir/"), ZipEntry("dir/big.bin", big),
                                ZipEntry("stored.txt", "stored bytes"), ZipEntry("empty.txt"),
                                ZipEntry(u8"名字.txt", "utf8")};
  in[0].method = 0;
  in[2].method = 0;
  in[4].flags = 0x0800;
  Opened z(WriteZip(in, 6, "a comment with PK\x05\x06 inside"));
  ASSERT_EQ(Status::kOk, z.status);
  ASSERT_EQ(5u, z.archive.entries().size());
  EXPECT_EQ(big.size() + 12 + 4, z.archive.total_uncompressed());
  const Entry &dir = z.archive.entries()[0];
  EXPECT_TRUE(dir.is_directory());
  EXPECT_EQ(0x5A88, dir.dos_date);
  EXPECT_TRUE(z.archive.entries()[4].utf8());
  EXPECT_EQ(8, z.archive.entries()[1].method);
  EXPECT_LT(z.archive.entries()[1].compressed_size, big.size());
  for (size_t i = 0; i < in.size(); ++i) {
    std::string out;
    EXPECT_EQ(Status::kOk, z.Extract(i, &out)) << i;
    EXPECT_EQ(in[i].data, out) << i;
  }
}

// CP936 names end in 0x5C without ending in a backslash: 運 is DF 5C, 誠 D5 5C.
// UTF-8 names keep their byte-wise reading: no UTF-8 character holds 0x5C.
TEST(ZipCore, FolderNamesAreReadByCharacters) {
  struct Case {
    const char *name;
    uint16_t flags;
    bool folder;
  } cases[] = {
      {"\xCB\xB5\xC3\xF7\xDF\x5C", 0, false},  // 说明運
      {"\xD5\x5C", 0, false},                  // 誠
      {"dir/\xD5\x5C", 0, false},              // dir/誠
      {"\x81\x5C", 0, false},                  // lowest lead byte
      {"\xFE\x5C", 0, false},                  // highest lead byte
      {"\xD5\x5C/", 0, true},                  // 誠/
      {"\xD5\x5C\x5C", 0, true},               // 誠 and a backslash
      {"\xD5\x5C\xD5\x5C\x5C", 0, true},       // 誠誠 and a backslash
      {"a\xD5\x5C\x5C", 0, true},              // a誠 and a backslash
      {"\x80\x5C", 0, true},                   // 0x80 and 0xFF lead nothing
      {"\xFF\x5C", 0, true},
      {"dir\\", 0, true},
      {"\xE9\x81\x8B\x5C", 0x0800, true},  // UTF-8 運 and a backslash
      {"\xE9\x81\x8B", 0x0800, false},     // UTF-8 運
  };
  std::vector<WriteEntry> in;
  for (const Case &c : cases) {
    in.push_back(ZipEntry(c.name, c.folder ? "" : "file"));
    in.back().flags = c.flags;
  }
  Opened z(WriteZip(in));
  ASSERT_EQ(Status::kOk, z.status);
  for (size_t i = 0; i < in.size(); ++i) {
    const Entry &e = z.archive.entries()[i];
    EXPECT_EQ(cases[i].folder, e.is_directory()) << i;
    EXPECT_EQ(cases[i].folder, e.ends_in_separator()) << i;
    std::string out;
    EXPECT_EQ(Status::kOk, z.Extract(i, &out)) << i;
    EXPECT_EQ(in[i].data, out) << i;
  }
}

// Some archivers mark a folder by its MS-DOS attribute 0x10 alone.
TEST(ZipCore, TheDosFolderAttributeMarksAFolder) {
  struct Case {
    uint16_t made_by;
    uint32_t attributes;
    bool folder;
  } cases[] = {
      {20, 0x10, true},      // MS-DOS
      {0x0A14, 0x10, true},  // Windows NTFS
      {0x0E14, 0x12, true},  // VFAT, hidden folder
      {0x0614, 0x10, true},  // OS/2 HPFS
      {20, 0x20, false},     // archive bit only: a file
      {20, 0x01, false},     // read-only file
  };
  std::vector<WriteEntry> in;
  for (const Case &c : cases) {
    in.push_back(ZipEntry("\xCE\xC4\xB5\xB5"));  // 文档
    in.back().version_made_by = c.made_by;
    in.back().external_attributes = c.attributes;
    in.back().method = 0;
  }
  Opened z(WriteZip(in));
  ASSERT_EQ(Status::kOk, z.status);
  for (size_t i = 0; i < in.size(); ++i) {
    EXPECT_EQ(cases[i].folder, z.archive.entries()[i].is_directory()) << i;
    EXPECT_FALSE(z.archive.entries()[i].ends_in_separator()) << i;
  }
}

TEST(ZipCore, RefusesWhatIsNotAWholeArchive) {
  EXPECT_EQ(Status::kNotZip, Opened("").status);
  EXPECT_EQ(Status::kNotZip, Opened(std::string(5000, 'x')).status);
  const std::string zip = WriteZip({ZipEntry("a", "aaaa"), ZipEntry("b", "bbbb")});
  // The end record points past what is left once the front is cut away.
  EXPECT_EQ(Status::kBadArchive, Opened(zip.substr(40)).status);
  // A central directory one entry short of the count in the end record.
  std::string fewer = zip;
  fewer[fewer.size() - 12] = 3;
  fewer[fewer.size() - 14] = 3;
  EXPECT_EQ(Status::kBadArchive, Opened(fewer).status);
  // ZIP64 markers and multi-disk archives are not read.
  std::string zip64 = zip;
  zip64.replace(zip64.size() - 6, 4, "\xFF\xFF\xFF\xFF");
  EXPECT_EQ(Status::kUnsupportedArchive, Opened(zip64).status);
  std::string disk = zip;
  disk[disk.size() - 18] = 1;
  EXPECT_EQ(Status::kUnsupportedArchive, Opened(disk).status);
}

TEST(ZipCore, RefusesEntriesWhoseRecordsLie) {
  std::vector<WriteEntry> in;
  for (uint32_t i = 0; i < 7; ++i)
    in.push_back(ZipEntry("f" + std::to_string(i), Pattern(5000, i)));
  in[1].crc32 = 0x12345678;
  in[2].local_name = "other";
  in[3].flags = 0x0001;  // encrypted
  in[4].method = 14;     // LZMA
  in[5].method = 0;
  in[5].compressed_size = 4999;  // stored, but sizes disagree
  in[6].uncompressed_size = 5001;
  Opened z(WriteZip(in));
  ASSERT_EQ(Status::kOk, z.status);
  const Status want[] = {Status::kOk,          Status::kCrcMismatch,       Status::kBadLocalHeader,
                         Status::kEncrypted,   Status::kUnsupportedMethod, Status::kSizeMismatch,
                         Status::kSizeMismatch};
  for (size_t i = 0; i < in.size(); ++i) {
    std::string out;
    EXPECT_EQ(want[i], z.Extract(i, &out)) << i;
  }
}

TEST(ZipCore, StopsInflatingAtTheDeclaredSize) {
  std::vector<WriteEntry> in = {ZipEntry("bomb", std::string(50 * 1024 * 1024, '\0'))};
  in[0].uncompressed_size = 1000;
  Opened z(WriteZip(in, 9));
  ASSERT_EQ(Status::kOk, z.status);
  std::string out;
  EXPECT_EQ(Status::kSizeMismatch, z.Extract(0, &out));
  EXPECT_LE(out.size(), 1000u);
}

TEST(ZipCore, RefusesOverlappingEntries) {
  // The records agree with the reused local header.
  std::vector<WriteEntry> in = {ZipEntry("own", "mine"),
                                ZipEntry("shared", std::string(1 << 20, 'z')),
                                ZipEntry("shared", std::string(1 << 20, 'z'))};
  in[2].share_local_with = 1;
  Opened z(WriteZip(in));
  ASSERT_EQ(Status::kOk, z.status);
  std::string out;
  EXPECT_EQ(Status::kOk, z.Extract(0, &out));
  EXPECT_EQ(Status::kOverlap, z.Extract(1, &out));
  EXPECT_EQ(Status::kOverlap, z.Extract(2, &out));
}

TEST(ZipCore, RefusesBrokenAndTruncatedDeflateData) {
  std::vector<WriteEntry> in = {ZipEntry("x", Pattern(100000, 3))};
  const std::string good = WriteZip(in);
  const size_t data_at = 30 + 1;
  std::string flipped = good;
  for (size_t i = 0; i < 64; ++i) flipped[data_at + 100 + i] ^= 0x5A;
  Opened bad(flipped);
  ASSERT_EQ(Status::kOk, bad.status);
  std::string out;
  const Status s = bad.Extract(0, &out);
  EXPECT_TRUE(s == Status::kBadData || s == Status::kCrcMismatch || s == Status::kSizeMismatch)
      << StatusText(s);

  in[0].compressed_size = static_cast<uint32_t>(Deflate(in[0].data).size() / 2);
  Opened cut(WriteZip(in));
  ASSERT_EQ(Status::kOk, cut.status);
  out.clear();
  EXPECT_NE(Status::kOk, cut.Extract(0, &out));
}

TEST(ZipCore, ReportsASinkThatStops) {
  Opened z(WriteZip({ZipEntry("x", Pattern(600000, 5))}));
  int calls = 0;
  EXPECT_EQ(
      Status::kSinkStopped,
      z.archive.Extract(
          0, [](void *ctx, const uint8_t *, size_t) { return ++*static_cast<int *>(ctx) < 2; },
          &calls));
  EXPECT_EQ(2, calls);
}

// Read, not in memory: the directory and the local headers when opened, an
// entry's data in bounded pieces; a read that fails is a read error.
TEST(ZipCore, ReadsAnArchiveInBoundedPieces) {
  std::vector<WriteEntry> in = {ZipEntry("stored.bin", Pattern(1 << 20, 1)),
                                ZipEntry("deflated.bin", Pattern(3 << 20, 2))};
  in[0].method = 0;
  for (uint32_t i = 2; i < 202; ++i)
    in.push_back(ZipEntry("small/" + std::to_string(i), Pattern(i * 37, i)));
  Opened z(WriteZip(in));
  ASSERT_EQ(Status::kOk, z.status);
  EXPECT_LT(z.reader.total, z.bytes.size() / 4) << "opening reads headers, not data";
  for (size_t i = 0; i < in.size(); ++i) {
    std::string out;
    ASSERT_EQ(Status::kOk, z.Extract(i, &out)) << i;
  }
  EXPECT_LE(z.reader.largest, 256u * 1024);

  Reader failing{&z.bytes, z.bytes.size() - 10};  // in the directory
  Archive a;
  EXPECT_EQ(Status::kReadError, a.Open(Reader::Read, &failing, z.bytes.size()));
  const Entry &deflated = z.read.entries()[1];
  ASSERT_GT(deflated.compressed_size, 600u * 1024);
  failing.fail_at = deflated.data_offset + deflated.compressed_size / 2;
  ASSERT_EQ(Status::kOk, a.Open(Reader::Read, &failing, z.bytes.size()));
  std::string out;
  EXPECT_EQ(Status::kOk, a.Extract(0, Append, &out));
  EXPECT_EQ(Status::kReadError, a.Extract(1, Append, &out));
  failing.fail_at = z.read.entries()[0].data_offset + 300000;
  EXPECT_EQ(Status::kReadError, a.Extract(0, Append, &out));
}

// The seed corpus was written by Info-ZIP's zip: folders, comment, UTF-8 flag,
// data descriptor with zero sizes in the local header.
TEST(ZipCore, ReadsArchivesWrittenByInfoZip) {
  size_t entries = 0;
  for (const char *name : {"comment", "deflate", "descriptor", "stored", "tree", "utf8"}) {
    Opened z(test_support::HostFile(kSeeds + "/" + name + ".zip"));
    ASSERT_EQ(Status::kOk, z.status) << name;
    for (size_t i = 0; i < z.archive.entries().size(); ++i, ++entries) {
      EXPECT_EQ(Status::kOk, z.archive.Verify(i)) << name << " " << z.archive.entries()[i].name;
    }
  }
  EXPECT_EQ(11u, entries);
}

// Two seeds carry CP936 names whose last byte is 0x5C and a folder marked by
// its MS-DOS attribute alone (made by zip -k, its "Q/" renamed 運).
TEST(ZipCore, SeedsWithCp936NamesKnowTheirFolders) {
  struct Want {
    const char *seed;
    std::vector<std::pair<std::string, bool>> entries;  // name, folder
  } wants[] = {
      {"cp936",
       {{"\xCB\xB5\xC3\xF7\xDF\x5C", false}, {"\xD5\x5C/", true}, {"\xD5\x5C/a.txt", false}}},
      {"dos_folder", {{"\xDF\x5C", true}, {"\xCB\xB5\xC3\xF7\xDF\x5C", false}}}};
  for (const Want &w : wants) {
    Opened z(test_support::HostFile(kSeeds + "/" + w.seed + ".zip"));
    ASSERT_EQ(Status::kOk, z.status) << w.seed;
    ASSERT_EQ(w.entries.size(), z.archive.entries().size()) << w.seed;
    for (size_t i = 0; i < w.entries.size(); ++i) {
      const Entry &e = z.archive.entries()[i];
      EXPECT_EQ(w.entries[i].first, e.name) << w.seed << " " << i;
      EXPECT_EQ(w.entries[i].second, e.is_directory()) << w.seed << " " << i;
      EXPECT_EQ(Status::kOk, z.archive.Verify(i)) << w.seed << " " << i;
    }
  }
}

TEST(ZipNames, KeepsOrdinaryRelativeNames) {
  std::vector<std::u16string> parts;
  ASSERT_TRUE(SplitSafePath(u"数据/子目录\\文件.txt", &parts));
  EXPECT_EQ((std::vector<std::u16string>{u"数据", u"子目录", u"文件.txt"}), parts);
  ASSERT_TRUE(SplitSafePath(u"./a//b/", &parts));
  EXPECT_EQ((std::vector<std::u16string>{u"a", u"b"}), parts);
  for (const char16_t *ok :
       {u"console.txt", u"con1", u"nul_file", u"COM10", u".hidden", u"a..b", u"LPT"}) {
    EXPECT_TRUE(SplitSafePath(ok, &parts)) << std::string(ok, ok + 3).size();
  }
}

TEST(ZipNames, RefusesNamesThatLeaveTheFolderOrReachDevices) {
  std::vector<std::u16string> parts;
  auto expect_refused = [&parts](const char16_t *bad) {
    EXPECT_FALSE(SplitSafePath(bad, &parts)) << std::u16string(bad).size();
  };
  const char16_t *const outside[] = {
      u"",      u"/",   u"./",   u"/etc/passwd", u"\\windows\\x", u"\\\\server\\share\\x",
      u"C:\\x", u"c:x", u"C:/x", u"../x",        u"a/../../x",    u"a\\..\\..\\x",
      u"a/.."};
  const char16_t *const devices[] = {
      u"file.txt:stream", u"CON",  u"con",      u"nul.txt",  u"NUL.tar.gz", u"dir/aux", u"COM1",
      u"com9.log",        u"LPT1", u"lpt5.txt", u"con .txt", u"COM\u00B9",  u"CONIN$"};
  const char16_t *const spelled[] = {u"a/.. ", u"trailing.", u"blank ", u"...",  u"a?b",
                                     u"a*b",   u"a|b",       u"a<b",    u"a\"b", u"tab\there"};
  for (const char16_t *bad : outside) expect_refused(bad);
  for (const char16_t *bad : devices) expect_refused(bad);
  for (const char16_t *bad : spelled) expect_refused(bad);
  expect_refused(std::u16string(256, u'a').c_str());
}

TEST(ZipNames, DecodesStrictUtf8Only) {
  std::u16string out;
  ASSERT_TRUE(Utf8ToUtf16(u8"a解\U0001F600", &out));
  EXPECT_EQ(u"a解\U0001F600", out);
  for (const char *bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xE8\xA7", "\xFF", "\x80"}) {
    EXPECT_FALSE(Utf8ToUtf16(bad, &out)) << bad;
  }
}

TEST(ZipNames, SplitsDosTimes) {
  const DosTime t = SplitDosTime(0x5A88, 0x6000 | (34 << 5) | 29);
  EXPECT_EQ((std::vector<int>{2025, 4, 8, 12, 34, 58}),
            (std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second}));
}

}  // namespace
}  // namespace tovra::zip
