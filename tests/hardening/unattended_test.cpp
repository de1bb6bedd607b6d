// Real installer processes, unattended, on hostile archives and under faults:
// each ends with exit 1 and the "未能安装" box within a bound, and nothing
// lands outside the folder it was given.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "payload/payload_layout.h"
#include "tests/hardening/hardening_support.h"

using namespace hardening;
using namespace test_support;

namespace {

const std::wstring kHostile = Built(TOVRA_HOSTILE_EXE);
const std::wstring kTruncated = Built(TOVRA_TRUNCATED_EXE);

const wchar_t kFailed[] = L"exit 1, box \"未能安装\"";

// Names in the install folder besides what an install may leave there.
std::wstring Strays(const std::wstring &folder) {
  std::wstring strays;
  for (const auto &entry : TreeDigest(folder)) {
    bool allowed = false;
    for (const std::wstring &name : InstalledFiles())
      allowed = allowed || lstrcmpiW(name.c_str(), entry.first.c_str()) == 0;
    if (!allowed) strays += (strays.empty() ? L"" : L" ") + entry.first;
  }
  return strays;
}

// Runs exe into <scratch>\install and checks the failure, that the scratch
// folder holds nothing but the install folder, that the install folder holds
// nothing but installer files (when the archive holds only the product's
// three), and that the absolute and relative targets the hostile names point
// at do not exist.
void ExpectContainedFailure(const wchar_t *id, const wchar_t *what, const std::wstring &exe,
                            bool threeFileProduct) {
  const std::wstring folder = MakeScratchFolder(L"hard", L"install");
  const std::wstring scratch = folder.substr(0, folder.rfind(L'\\'));
  const RunResult r = RunUnattended(exe, folder, kBoundMs);
  ExpectFailedWithTheBox(r);
  EXPECT_TRUE(ReadLaunchRecords(folder).empty()) << "the control program was started";

  std::wstring outside;
  for (const auto &entry : TreeDigest(scratch)) {
    if (entry.first != L"install" && entry.first.compare(0, 8, L"install\\") != 0) {
      outside += L" " + entry.first;
    }
  }
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  for (const std::wstring &target :
       {std::wstring(L"C:\\evil4.txt"), std::wstring(L"C:\\evil5.txt"),
        std::wstring(L"C:\\evil6.txt"), std::wstring(L"C:\\evil7.txt"),
        std::wstring(L"Z:\\evil4.txt"), std::wstring(L"Z:\\evil5.txt"),
        std::wstring(temp) + L"evil1.txt", std::wstring(temp) + L"evil2.txt",
        std::wstring(temp) + L"evil3.txt", std::wstring(temp) + L"evil10.txt"}) {
    if (Exists(target)) outside += L" " + target;
  }
  EXPECT_TRUE(outside.empty()) << ToAnsi(outside);
  const std::wstring strays = threeFileProduct ? Strays(folder) : std::wstring();
  EXPECT_TRUE(strays.empty()) << ToAnsi(strays);
  Record(id, what, std::wstring(kFailed) + L", nothing outside the folder",
         Describe(r, kBoundMs) + L", " +
             (outside.empty() ? L"nothing outside the folder" : L"written outside:" + outside) +
             (strays.empty() ? L"" : L", strays in the folder: " + strays));
}

TEST(HardeningUnattended, HostileArchiveFailsAndWritesNothingOutside) {
  ExpectContainedFailure(L"A1", L"archive with every hostile entry kind + the 3 product files",
                         kHostile, true);
}

TEST(HardeningUnattended, TruncatedArchiveFails) {
  ExpectContainedFailure(L"A2", L"archive cut inside its central directory", kTruncated, true);
}

// A copy of the installer with one byte of the archive's second piece
// flipped, as a damaged download would have it.
TEST(HardeningUnattended, DamagedPayloadFailsOnCrc) {
  ASSERT_GE(ArchiveChunkCount, 2ul);
  std::string image;
  ASSERT_TRUE(ReadFileBytes(kSetup, &image));
  const PayloadPiece &piece = ArchivePieces[1];
  const std::string probe(reinterpret_cast<const char *>(piece.data) + piece.size / 2, 64);
  const size_t at = image.find(probe);
  ASSERT_NE(std::string::npos, at);
  ASSERT_EQ(std::string::npos, image.find(probe, at + 1)) << "the probe is not unique";
  image[at + 32] ^= 0x5A;
  const std::wstring copyDir = MakeScratchFolder(L"hard-exe");
  const std::wstring copy = copyDir + L"\\TovraSetupDamaged.exe";
  ASSERT_TRUE(WriteFileBytes(copy, image));
  ExpectContainedFailure(L"A3", L"installer whose archive piece 2 was damaged after the build",
                         copy, false);
}

void ExpectFailure(const wchar_t *id, const wchar_t *what, const std::wstring &folder) {
  const RunResult r = RunUnattended(kSetup, folder, kBoundMs);
  ExpectFailedWithTheBox(r);
  Record(id, what, kFailed, Describe(r, kBoundMs));
}

// The extractor's finished dialog waits for a click, or closes by itself
// after 60 s. A run that ends within this bound (the 6 s timer included) had
// its dialog closed by the watcher.
constexpr DWORD kWatcherBoundMs = 40000;

TEST(HardeningUnattended, FullDiskFails) {
  const std::wstring folder = SmallDiskFolder(L"unattended", L"full", L"no-tmpfs");
  if (folder.empty()) GTEST_SKIP() << "no small tmpfs mounted (needs ctest and root)";
  ExpectFailure(L"F1", L"install folder on a full disk (1 MiB tmpfs)", folder);
}

TEST(HardeningUnattended, ReadOnlyDifferingExtractorFails) {
  const std::wstring folder = SmallDiskFolder(L"unattended", L"readonly", L"no-immutable");
  if (folder.empty()) GTEST_SKIP() << "no immutable file prepared (needs ctest and root)";
  ExpectFailure(L"F2", L"differing 7ZG.EXE made immutable (chattr +i)", folder);
  std::string bytes;
  ReadFileBytes(folder + L"\\7ZG.EXE", &bytes);
  EXPECT_EQ("not the carried extractor", bytes);
}

TEST(HardeningUnattended, LockedDifferingExtractorFails) {
  const std::wstring folder = MakeScratchFolder(L"hard-lock7zg");
  HeldFile lock(folder + L"\\7ZG.EXE", "not the carried extractor");
  ASSERT_TRUE(lock.Held());
  ExpectFailure(L"F3", L"differing 7ZG.EXE held open without sharing by the test process", folder);
  lock.Release();
}

TEST(HardeningUnattended, ImmutableProductFileFails) {
  const std::wstring folder = SmallDiskFolder(L"unattended", L"locked", L"no-immutable");
  if (folder.empty()) GTEST_SKIP() << "no immutable file prepared (needs ctest and root)";
  ExpectFailure(L"F4", L"TovraClient.dat in the folder made immutable (chattr +i)", folder);
}

TEST(HardeningUnattended, LockedProductFileFails) {
  const std::wstring folder = MakeScratchFolder(L"hard-lockdat");
  HeldFile lock(folder + L"\\TovraClient.dat", "locked");
  ASSERT_TRUE(lock.Held());
  const RunResult r = RunUnattended(kSetup, folder, kBoundMs);
  lock.Release();
  ExpectFailedWithTheBox(r);
  EXPECT_LT(r.ms, kWatcherBoundMs) << "the extractor's dialog closed by itself, not by the watcher";
  const bool quick = r.ms < kWatcherBoundMs;
  Record(L"F5",
         L"TovraClient.dat in the folder held open without sharing: the watcher must close the "
         L"extractor's dialog (it closes by itself after 60 s)",
         std::wstring(kFailed) + L" within 40 s",
         Describe(r, kBoundMs) +
             (quick ? L" within 40 s" : L" after " + std::to_wstring(r.ms / 1000) + L" s"));
  std::string bytes;
  ReadFileBytes(folder + L"\\TovraClient.dat", &bytes);
  EXPECT_EQ("locked", bytes);
}

TEST(HardeningUnattended, UnwritableFolderFails) {
  const std::wstring folder = SmallDiskFolder(L"unattended", L"unwritable", L"no-immutable");
  if (folder.empty()) GTEST_SKIP() << "no immutable folder prepared (needs ctest and root)";
  ExpectFailure(L"F6", L"install folder made immutable (chattr +i)", folder);
  EXPECT_TRUE(TreeDigest(folder).empty());
}

TEST(HardeningUnattended, MissingDriveFails) {
  if (GetDriveTypeW(L"Q:\\") != DRIVE_NO_ROOT_DIR) GTEST_SKIP() << "drive Q: exists";
  ExpectFailure(L"F7", L"folder on a missing drive (Q:\\Tovra)", L"Q:\\Tovra");
}

// An upgrade over an older product whose service program runs from the
// folder (a program that runs until it is ended, copied there under the
// service's name): the extractor finds the file in use before it replaces
// anything, and every old file stays as it was.
TEST(HardeningUnattended, UpgradeWhileTheServiceRunsKeepsTheOldProduct) {
  const std::wstring folder = MakeScratchFolder(L"hard-running", L"install");
  const std::wstring service = folder + L"\\TovraClientService.exe";
  ASSERT_TRUE(CopyFileW(Built(TOVRA_WATCH_DIALOG_EXE).c_str(), service.c_str(), FALSE));
  ASSERT_TRUE(WriteFileBytes(folder + L"\\TovraControl.exe", "old control program"));
  ASSERT_TRUE(WriteFileBytes(folder + L"\\TovraClient.dat", "old data"));
  RunResult r;
  std::map<std::wstring, std::string> before;
  {
    Process running;
    ASSERT_TRUE(running.Start(Quoted(service) + L" \"" + folder.substr(0, folder.rfind(L'\\')) +
                                  L"\\service.log\" plain TovraClientService",
                              folder.c_str()));
    WaitForInputIdle(running.handle, 10000);
    before = TreeDigest(folder);
    r = RunUnattended(kSetup, folder, kBoundMs);
  }
  ExpectFailedWithTheBox(r);
  auto after = TreeDigest(folder);
  for (const std::wstring &name : InstallerFiles()) after.erase(name);
  after.erase(FromAnsi(kClientDataBackup));
  const bool kept = before == after;
  EXPECT_TRUE(kept);
  Record(L"U1", L"upgrade over an older product whose TovraClientService.exe runs from the folder",
         std::wstring(kFailed) + L", old files unchanged, no temporaries",
         Describe(r, kBoundMs) +
             (kept ? L", old files unchanged, no temporaries" : L", old files changed or added"));
}

// A link planted in the folder under the name of the archive's folder,
// leading out of it (a Unix symlink under Wine): nothing lands outside and
// nothing of the product is placed.
TEST(HardeningUnattended, PlantedLinkAtAFolderNameKeepsEverythingInside) {
  if (!RunningUnderWine()) GTEST_SKIP() << "the link is planted from the host";
  const std::wstring folder = MakeScratchFolder(L"hard-link", L"install");
  const std::wstring outside = folder.substr(0, folder.rfind(L'\\')) + L"\\outside";
  ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
  const std::string link = HostPath(folder + L"\\轨迹");
  ASSERT_TRUE(HostShell("ln -s '" + HostPath(outside) + "' '" + link + "'"));
  const RunResult r = RunUnattended(kSetup, folder, kBoundMs);
  const bool contained = TreeDigest(outside).empty();
  const bool placed = Exists(folder + L"\\TovraControl.exe");
  HostShell("rm -f '" + link + "'");
  ExpectFailedWithTheBox(r);
  EXPECT_TRUE(contained);
  EXPECT_FALSE(placed);
  Record(L"U2", L"link planted in the folder as the archive's folder 轨迹, leading out of it",
         std::wstring(kFailed) + L", nothing outside, nothing placed",
         Describe(r, kBoundMs) + (contained ? L", nothing outside" : L", written outside") +
             (placed ? L", product placed" : L", nothing placed"));
}

// A folder of exactly `length` characters with its closing backslash, below
// a fresh scratch folder (the installer adds the backslash).
std::wstring FolderOfLength(size_t length, bool create) {
  return LengthenFolder(MakeScratchFolder(L"hard-len"), length, create);
}

// 237 characters with the backslash is the longest folder: its longest path,
// the service program's, just fits MAX_PATH. It installs.
TEST(HardeningUnattended, FolderAtTheLengthLimitInstalls) {
  const std::wstring folder = FolderOfLength(237, false);
  ASSERT_EQ(236u, folder.size());
  const RunResult r = RunUnattended(kSetup, folder, kBoundMs);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(0u, r.exitCode);
  EXPECT_EQ(0, r.boxes);
  const bool installed = Exists(folder + L"\\TovraClientService.exe");
  EXPECT_TRUE(installed);
  // The control program it starts writes its record there after the install
  // ended: let it, or the folder would outlive the case's scratch removal.
  PumpUntil([&] { return !ReadLaunchRecords(folder).empty(); }, 10000);
  Record(L"L1", L"folder of 237 characters with its backslash (the limit), made by the installer",
         L"exit 0, no box, installed",
         Describe(r, kBoundMs) + (installed ? L", installed" : L", not installed"));
}

// One more is refused at the click: nothing of the folder is created.
TEST(HardeningUnattended, FolderJustPastTheLimitFailsBeforeAnythingIsCreated) {
  const std::wstring folder = FolderOfLength(238, false);
  ASSERT_EQ(237u, folder.size());
  const RunResult r = RunUnattended(kSetup, folder, kBoundMs);
  ExpectFailedWithTheBox(r);
  const std::wstring scratch = folder.substr(0, folder.find(L"\\ddd"));
  const bool created = !TreeDigest(scratch).empty();
  EXPECT_FALSE(created);
  Record(L"L2", L"folder of 238 characters with its backslash (one past the limit)",
         std::wstring(kFailed) + L", nothing created",
         Describe(r, kBoundMs) + (created ? L", folders created" : L", nothing created"));
}

// Folders from 253 characters on put "<folder>7ZG.EXE" past MAX_PATH while
// the folder itself can still be made under Wine. The shell could not start
// the extractor there: the click refuses such a folder first, so the only box
// is the installer's own and nothing is written.
TEST(HardeningUnattended, FolderWhereTheExtractorPathPassesMaxPath) {
  const std::wstring folder = FolderOfLength(256, true);
  const RunResult r = RunUnattended(kSetup, folder, kBoundMs);
  ExpectFailedWithTheBox(r);
  EXPECT_FALSE(Exists(folder + L"\\7Z.DLL"));
  Record(L"L3",
         L"folder of 256 characters, made beforehand: the path of 7ZG.EXE in it passes MAX_PATH",
         std::wstring(kFailed) + L", nothing written",
         Describe(r, kBoundMs) +
             (Exists(folder + L"\\7Z.DLL") ? L", files written" : L", nothing written"));
}

// The shell expands "%WINDIR%" in the extractor's path and working folder,
// while the files would go to the literal folder; the launch used to fail
// with the shell's modal box and hold the run for good. Refused at the click.
TEST(HardeningUnattended, FolderHoldingAnEnvironmentReferenceFailsBeforeWriting) {
  const std::wstring scratch = MakeScratchFolder(L"hard-percent");
  const RunResult r = RunUnattended(kSetup, scratch + L"\\%WINDIR%\\Tovra", kBoundMs);
  ExpectFailedWithTheBox(r);
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const bool written = !TreeDigest(scratch).empty() || Exists(std::wstring(windows) + L"\\Tovra");
  EXPECT_FALSE(written);
  Record(L"L4", L"folder holding %WINDIR%", std::wstring(kFailed) + L", nothing written",
         Describe(r, kBoundMs) + (written ? L", written" : L", nothing written"));
}

}  // namespace
