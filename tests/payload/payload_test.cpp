#include "payload/payload.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> ReadAll(const char *path) {
  std::vector<unsigned char> data;
  FILE *f = fopen(path, "rb");
  if (!f) return data;
  unsigned char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  fclose(f);
  return data;
}

bool Same(const unsigned char *a, unsigned long size, const std::vector<unsigned char> &b) {
  return b.size() == size && memcmp(a, b.data(), size) == 0;
}

TEST(Payload, PiecesJoinIntoTheArchive) {
  std::vector<unsigned char> archive = ReadAll(TOVRA_TEST_ARCHIVE);
  ASSERT_EQ(archive.size(), ArchiveSize);
  std::vector<unsigned char> joined;
  for (const PayloadPiece &p : ArchivePieces) joined.insert(joined.end(), p.data, p.data + p.size);
  EXPECT_TRUE(joined == archive);
  // Local header first, end record last (no comment after it).
  EXPECT_EQ(0, memcmp(ArchivePieces[0].data, "PK\3\4", 4));
  const PayloadPiece &last = ArchivePieces[ArchiveChunkCount - 1];
  EXPECT_EQ(0, memcmp(last.data + last.size - 22, "PK\5\6", 4));
}

#ifdef TOVRA_TEST_SAMPLE
TEST(Payload, SampleArchiveNeedsThreePieces) {
  // The sample is shaped so that the worker's append path runs twice.
  EXPECT_EQ(ArchiveChunkCount, 3UL);
  EXPECT_EQ(ArchivePieces[0].data, ArchiveChunk1);
  EXPECT_EQ(ArchivePieces[1].size, ArchiveChunkSize);
  EXPECT_EQ(ArchivePieces[2].size, ArchiveChunk3Size);
  EXPECT_EQ(ArchivePieces[2].data, ArchiveChunk3);
}
#endif

TEST(Payload, ExtractorPairIsCarriedUnchanged) {
  EXPECT_TRUE(Same(ExtractorImage, ExtractorImageSize, ReadAll(TOVRA_TEST_EXTRACTOR)));
  EXPECT_TRUE(Same(CodecLibraryImage, CodecLibraryImageSize, ReadAll(TOVRA_TEST_CODEC)));
}

// Writes the arrays as the worker does (whole files, the archive as a first
// write and appends) and reads them back.
TEST(Payload, WrittenFilesAreByteIdentical) {
  char dir[MAX_PATH];
  ASSERT_NE(0u, GetTempPathA(MAX_PATH, dir));
  std::string base =
      std::string(dir) + "tovra_payload_test_" + std::to_string(GetCurrentProcessId());
  auto write = [](const std::string &path, const unsigned char *data, unsigned long size,
                  bool append) {
    HANDLE f = CreateFileA(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, 0, nullptr,
                           append ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(f, data, size, &written, nullptr);
    CloseHandle(f);
    return ok && written == size;
  };
  ASSERT_TRUE(write(base + ".dll", CodecLibraryImage, CodecLibraryImageSize, false));
  ASSERT_TRUE(write(base + ".exe", ExtractorImage, ExtractorImageSize, false));
  for (unsigned long i = 0; i < ArchiveChunkCount; ++i)
    ASSERT_TRUE(write(base + ".zip", ArchivePieces[i].data, ArchivePieces[i].size, i > 0));
  EXPECT_TRUE(Same(CodecLibraryImage, CodecLibraryImageSize, ReadAll((base + ".dll").c_str())));
  EXPECT_TRUE(Same(ExtractorImage, ExtractorImageSize, ReadAll((base + ".exe").c_str())));
  EXPECT_TRUE(ReadAll((base + ".zip").c_str()) == ReadAll(TOVRA_TEST_ARCHIVE));
  for (const char *ext : {".dll", ".exe", ".zip"}) DeleteFileA((base + ext).c_str());
}

}  // namespace
