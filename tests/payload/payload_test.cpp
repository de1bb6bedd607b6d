#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "install/install_state.h"
#include "install/worker.h"
#include "payload/payload_layout.h"
#include "tests/support/host_files.h"
#include "tests/support/scratch.h"

namespace {

using test_support::HostFile;

bool Same(const unsigned char *a, unsigned long size, const std::string &b) {
  return b.size() == size && memcmp(a, b.data(), size) == 0;
}

TEST(Payload, PiecesJoinIntoTheArchive) {
  const std::string archive = HostFile(TOVRA_TEST_ARCHIVE);
  ASSERT_EQ(archive.size(), ArchiveSize);
  std::string joined;
  for (const PayloadPiece &p : ArchivePieces) joined.append(p.data, p.data + p.size);
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
  EXPECT_TRUE(Same(ExtractorImage, ExtractorImageSize, HostFile(TOVRA_TEST_EXTRACTOR)));
  EXPECT_TRUE(Same(CodecLibraryImage, CodecLibraryImageSize, HostFile(TOVRA_TEST_CODEC)));
}

// The worker's own writing step into a folder holding stale copies: a
// differing codec library longer than the carried one and an archive longer
// than the carried one must both be replaced whole, not overwritten in part.
TEST(Payload, WrittenFilesAreByteIdentical) {
  const std::string folder = test_support::MakeScratchFolderA("tovra_payload_test", "written");
  const std::string dll = folder + "7Z.DLL", exe = folder + "7ZG.EXE", zip = folder + "setup.zip";
  ASSERT_TRUE(test_support::WriteHostFile(dll, std::string(CodecLibraryImageSize + 4096, 'x')));
  ASSERT_TRUE(test_support::WriteHostFile(zip, std::string(ArchiveSize + 4096, 'x')));
  ASSERT_LT(folder.size(), sizeof InstallDir);
  std::strcpy(InstallDir, folder.c_str());

  HANDLE held[kHeldFileCount];
  ASSERT_TRUE(WriteCarriedFiles(held));
  EXPECT_TRUE(Same(CodecLibraryImage, CodecLibraryImageSize, HostFile(dll)));
  EXPECT_TRUE(Same(ExtractorImage, ExtractorImageSize, HostFile(exe)));
  EXPECT_TRUE(HostFile(zip) == HostFile(TOVRA_TEST_ARCHIVE));
  // Held until released: readable, but nobody may write, rename or delete them.
  for (const std::string &path : {dll, exe, zip}) {
    HANDLE w = CreateFileA(path.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, w) << path;
    if (w != INVALID_HANDLE_VALUE) CloseHandle(w);
    EXPECT_FALSE(MoveFileA(path.c_str(), (path + ".old").c_str())) << path;
    EXPECT_FALSE(DeleteFileA(path.c_str())) << path;
  }
  ReleaseHeld(held, kHeldFileCount);
  EXPECT_TRUE(DeleteFileA(dll.c_str()));
}

}  // namespace
