// The install worker end to end under Wine: the carried extractor pair unpacks
// the carried archive, and a message-only window counts what the worker posts.
#include "install/worker.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "payload/payload_layout.h"
#include "tests/support/scratch.h"
#include "tests/support/worker_run.h"

namespace {

using Outcome = test_support::WorkerResult;

// One install into folder, with exactly one result of parameters 0.
Outcome Install(const std::string &folder) {
  const Outcome outcome = test_support::RunWorker(folder);
  EXPECT_EQ(1, outcome.ok + outcome.failed) << "exactly one result per run";
  EXPECT_EQ(0, outcome.otherParams);
  return outcome;
}

using test_support::Exists;
using test_support::ReadText;
using test_support::SmallDiskFolderA;

std::string NewFolder(const char *name) {
  return test_support::MakeScratchFolderA("tovra-worker", name);
}

std::string Bytes(const unsigned char *data, unsigned long size) {
  return std::string(reinterpret_cast<const char *>(data), size);
}
std::string Codec() {
  return Bytes(CodecLibraryImage, CodecLibraryImageSize);
}
std::string Extractor() {
  return Bytes(ExtractorImage, ExtractorImageSize);
}
std::string Archive() {
  std::string all;
  for (const PayloadPiece &piece : ArchivePieces) all += Bytes(piece.data, piece.size);
  return all;
}

// Modification times are set back to a fixed past moment, so that "not
// rewritten" does not depend on the file system's time resolution.
const FILETIME kPast = {0xC89DC000, 0x01C07385};  // 2001-01-01 00:00:00 UTC

void SetPast(const std::string &path) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  SetFileTime(file, nullptr, nullptr, &kPast);
  CloseHandle(file);
}

bool IsPast(const std::string &path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return CompareFileTime(&data.ftLastWriteTime, &kPast) == 0;
}

// Placeholder extractor files would make the shell block on an error box.
#ifdef TOVRA_REAL_EXTRACTOR
#define NEEDS_EXTRACTOR()
#else
#define NEEDS_EXTRACTOR() GTEST_SKIP() << "the payload carries no real extractor pair"
#endif

TEST(InstallWorker, EmptyFolderInstallsAndASecondRunKeepsTheExtractorPair) {
  NEEDS_EXTRACTOR();
  const std::string folder = NewFolder("fresh");
  const Outcome first = Install(folder);
  std::printf("install into an empty folder: %lu ms\n", static_cast<unsigned long>(first.ms));
  EXPECT_EQ(1, first.ok);
  EXPECT_TRUE(ReadText(folder + "7Z.DLL") == Codec());
  EXPECT_TRUE(ReadText(folder + "7ZG.EXE") == Extractor());
  EXPECT_TRUE(ReadText(folder + "setup.zip") == Archive());
  EXPECT_TRUE(Exists(folder + "TovraClientService.exe"));
  EXPECT_TRUE(Exists(folder + "TovraControl.exe"));

  for (const char *name : {kCodecFile, kExtractorFile, kArchiveFile}) SetPast(folder + name);
  const Outcome second = Install(folder);
  std::printf("install over a finished install: %lu ms\n", static_cast<unsigned long>(second.ms));
  EXPECT_EQ(1, second.ok);
  EXPECT_TRUE(IsPast(folder + "7Z.DLL")) << "an identical 7Z.DLL was rewritten";
  EXPECT_TRUE(IsPast(folder + "7ZG.EXE")) << "an identical 7ZG.EXE was rewritten";
  EXPECT_FALSE(IsPast(folder + "setup.zip")) << "setup.zip is rewritten on every run";
  EXPECT_TRUE(ReadText(folder + "setup.zip") == Archive());
}

TEST(InstallWorker, DifferingCodecLibraryIsRewritten) {
  NEEDS_EXTRACTOR();
  std::string changed = Codec();
  changed[changed.size() / 2] ^= 0x01;
  for (const std::string &existing : {changed, std::string()}) {
    const std::string folder = NewFolder(existing.empty() ? "emptydll" : "changeddll");
    ASSERT_TRUE(test_support::WriteText(folder + "7Z.DLL", existing));
    SetPast(folder + "7Z.DLL");
    EXPECT_EQ(1, Install(folder).ok);
    EXPECT_FALSE(IsPast(folder + "7Z.DLL"));
    EXPECT_TRUE(ReadText(folder + "7Z.DLL") == Codec());
  }
}

TEST(InstallWorker, IdenticalCodecLibraryWithMissingExtractor) {
  NEEDS_EXTRACTOR();
  const std::string folder = NewFolder("nogui");
  ASSERT_TRUE(test_support::WriteText(folder + "7Z.DLL", Codec()));
  SetPast(folder + "7Z.DLL");
  EXPECT_EQ(1, Install(folder).ok);
  EXPECT_TRUE(IsPast(folder + "7Z.DLL"));
  EXPECT_TRUE(ReadText(folder + "7ZG.EXE") == Extractor());
}

// A folder of `length` characters with its closing backslash, each level made.
std::string MadeFolderOfLength(const wchar_t *name, size_t length) {
  using namespace test_support;
  return ToAnsi(LengthenFolder(MakeScratchFolder(L"tovra-worker", name), length, true)) + "\\";
}

// The folder's longest path, folder + "TovraClientService.exe", must fit
// MAX_PATH: 237 characters install, 238 fail before anything is written. (The
// extract command's 600 bytes would take 289: the MAX_PATH rule decides.)
TEST(InstallWorker, FolderAtTheLongestPathLimitInstallsAndOneMoreFails) {
  NEEDS_EXTRACTOR();
  const std::string past = MadeFolderOfLength(L"long", kMaxInstallDirLength + 1);
  ASSERT_EQ(238u, past.size());
  EXPECT_EQ(1, Install(past).failed);
  EXPECT_FALSE(Exists(past + "7Z.DLL")) << "written before the refusal";

  const std::string at = MadeFolderOfLength(L"limit", kMaxInstallDirLength);
  ASSERT_EQ(237u, at.size());
  EXPECT_EQ(1, Install(at).ok);
  EXPECT_TRUE(Exists(at + "TovraClientService.exe"));
}

// The worker holds to the window's rule whoever set InstallDir: a relative
// folder, a device path and one holding "%" or "?" fail before anything is
// written.
TEST(InstallWorker, FolderTheRuleRefusesFailsBeforeWriting) {
  const std::string base = NewFolder("rule");
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(base.c_str()));
  CreateDirectoryA("rel", nullptr);
  EXPECT_EQ(1, Install("rel\\").failed);
  SetCurrentDirectoryA(previous);
  EXPECT_FALSE(Exists(base + "rel\\7Z.DLL"));

  CreateDirectoryA((base + "%TEMP%").c_str(), nullptr);
  EXPECT_EQ(1, Install(base + "%TEMP%\\").failed);
  EXPECT_FALSE(Exists(base + "%TEMP%\\7Z.DLL"));

  EXPECT_EQ(1, Install("\\\\?\\" + base).failed);
  EXPECT_FALSE(Exists(base + "7Z.DLL"));

  // A folder named in Hangul, as "-target_dir" hands it to the ANSI program:
  // not even the chain's first, spellable part is made.
  EXPECT_EQ(1, Install(base + "新建\\??\\").failed);
  EXPECT_FALSE(Exists(base + "新建"));
}

// No system "no disk" box on the worker's thread; the process's mode, which
// the extractor and the control program begin with, is left alone.
TEST(InstallWorker, SetsTheErrorModeOfItsOwnThreadOnly) {
  std::snprintf(InstallDir, sizeof InstallDir, "%s", "rel\\");  // refused at once
  const UINT processMode = GetErrorMode();
  DWORD threadMode = 0;
  UINT processModeAfter = 0;
  std::thread worker([&] {
    InstallWorker(nullptr);  // its result goes to this thread's queue
    threadMode = GetThreadErrorMode();
    processModeAfter = GetErrorMode();
  });
  worker.join();
  EXPECT_NE(0u, threadMode & SEM_FAILCRITICALERRORS);
  EXPECT_EQ(processMode, processModeAfter);
}

TEST(InstallWorker, UnwritableDifferingExtractorFailsAndKeepsTheCodecLibrary) {
  const std::string folder = SmallDiskFolderA(L"worker", L"readonly", L"no-immutable");
  if (folder.empty()) GTEST_SKIP() << "no immutable file prepared (needs ctest and root)";
  EXPECT_EQ(1, Install(folder).failed);
  EXPECT_TRUE(ReadText(folder + "7Z.DLL") == Codec());
  EXPECT_EQ("not the carried extractor", ReadText(folder + "7ZG.EXE"));
  EXPECT_FALSE(Exists(folder + "setup.zip")) << "nothing is written after a failed step";
}

// The extractor cannot overwrite one entry, so its finished dialog waits with
// "关闭(&C)" (for a minute, if nobody clicks). The watcher must click it at
// once: the install fails quickly instead of stalling.
TEST(InstallWorker, ExtractorDialogLeftOpenIsClosedByTheWatcher) {
  NEEDS_EXTRACTOR();
  const std::string folder = SmallDiskFolderA(L"worker", L"locked", L"no-immutable");
  if (folder.empty()) GTEST_SKIP() << "no immutable file prepared (needs ctest and root)";
  const Outcome outcome = Install(folder);
  std::printf("install with an entry the extractor cannot write: %lu ms\n",
              static_cast<unsigned long>(outcome.ms));
  EXPECT_EQ(1, outcome.failed);
  EXPECT_LT(outcome.ms, 30000u) << "the extractor's dialog was not closed by the watcher";
  EXPECT_EQ("locked", ReadText(folder + "TovraClient.dat"));
}

TEST(InstallWorker, FullDiskFails) {
  const std::string folder = SmallDiskFolderA(L"worker", L"full", L"no-tmpfs");
  if (folder.empty()) GTEST_SKIP() << "no small tmpfs mounted (needs ctest and root)";
  EXPECT_EQ(1, Install(folder).failed);
}

}  // namespace
