// Installers among other programs: the user's data across reinstalls and
// retries, two installers at once, a virus scanner holding new files, another
// program replacing 7Z.DLL, and an installer killed while it extracts.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "tests/hardening/hardening_support.h"

using namespace hardening;
using namespace test_support;

namespace {

const std::wstring kIntruder = Built(TOVRA_INTRUDER_EXE);
const std::wstring kForeign = Built(TOVRA_FOREIGN_DLL);
const std::string kUserData = "the user's own data, not the default";

bool Installed(const RunResult &r) {
  return r.exited && r.exitCode == 0 && r.boxes == 0;
}

// Where the user's data is after the runs: "in the .bak", "in the .dat" or "nowhere".
std::wstring WhereIsUserData(const std::wstring &folder) {
  std::string bytes;
  if (ReadFileBytes(folder + L"\\TovraClient.dat.bak", &bytes) && bytes == kUserData) {
    return L"user data in the .bak";
  }
  if (ReadFileBytes(folder + L"\\TovraClient.dat", &bytes) && bytes == kUserData) {
    return L"user data in the .dat only";
  }
  return L"user data nowhere";
}

// Runs the installers in order, unattended, over a folder holding the user's
// TovraClient.dat; the exit codes joined ("0 0").
std::wstring RunOverUserData(const std::wstring &folder, const std::vector<std::wstring> &exes) {
  EXPECT_TRUE(WriteFileBytes(folder + L"\\TovraClient.dat", kUserData));
  std::wstring codes;
  for (const std::wstring &exe : exes) {
    const RunResult r = RunUnattended(exe, folder, kBoundMs);
    codes += (codes.empty() ? L"exit " : L", ") + std::to_wstring(r.exited ? r.exitCode : 99);
  }
  return codes;
}

TEST(HardeningTogether, UserDataSurvivesReinstallsAndARetry) {
  const std::wstring twice = MakeScratchFolder(L"hard-data", L"twice");
  const std::wstring codes = RunOverUserData(twice, {kSetup, kSetup, kSetup});
  EXPECT_EQ(L"exit 0, 0, 0", codes);
  EXPECT_EQ(L"user data in the .bak", WhereIsUserData(twice));
  Record(L"D1", L"3 installs in a row over the user's TovraClient.dat",
         L"exit 0, 0, 0, user data in the .bak", codes + L", " + WhereIsUserData(twice));

  // The failing installer extracts the default data, then finds the wrong
  // service version.
  const std::wstring retry = MakeScratchFolder(L"hard-data", L"retry");
  const std::wstring retryCodes = RunOverUserData(retry, {kBadVersion, kSetup});
  EXPECT_EQ(L"exit 1, 0", retryCodes);
  EXPECT_EQ(L"user data in the .bak", WhereIsUserData(retry));
  Record(L"D2", L"install failing after its extraction, then a retry, over the user's data",
         L"exit 1, 0, user data in the .bak", retryCodes + L", " + WhereIsUserData(retry));
}

// The folder's listing less what differs between whole installs: the control
// program's launch records and the data backup.
std::map<std::wstring, std::string> ProductListing(const std::wstring &folder) {
  auto listing = TreeDigest(folder);
  listing.erase(L"TovraControl.launch.txt");
  listing.erase(L"TovraClient.dat.bak");
  return listing;
}

// Rounds of installers started together; how many rounds ended with every
// installer's success and the folder as one install leaves it.
int WholeRounds(const std::vector<std::wstring> &folders, int rounds, int perFolder,
                const std::map<std::wstring, std::string> &reference) {
  int whole = 0;
  for (int round = 0; round < rounds; ++round) {
    std::vector<std::unique_ptr<ProgramRun>> runs;
    for (const std::wstring &folder : folders) {
      RemoveTree(folder);
      CreateDirectoryW(folder.c_str(), nullptr);
      for (int i = 0; i < perFolder; ++i)
        runs.push_back(std::make_unique<ProgramRun>(UnattendedLine(kSetup, folder)));
    }
    bool ok = true;
    for (auto &run : runs) ok = Installed(run->Wait(kBoundMs)) && ok;
    for (const std::wstring &folder : folders) ok = ok && ProductListing(folder) == reference;
    whole += ok;
  }
  return whole;
}

TEST(HardeningTogether, InstallersAtOnceInOneFolderOrTwo) {
  const std::wstring base = MakeScratchFolder(L"hard-twin");
  const std::wstring first = base + L"\\one", second = base + L"\\two";
  CreateDirectoryW(first.c_str(), nullptr);
  ASSERT_TRUE(Installed(RunUnattended(kSetup, first, kBoundMs)));
  const auto reference = ProductListing(first);
  const int same = WholeRounds({first}, 4, 2, reference);
  EXPECT_EQ(4, same);
  Record(L"C1", L"2 installers started together into one folder, 4 rounds",
         L"4/4 rounds: both exit 0, folder as one install leaves it",
         std::to_wstring(same) + L"/4 rounds: both exit 0, folder as one install leaves it");
  const int apart = WholeRounds({first, second}, 2, 1, reference);
  EXPECT_EQ(2, apart);
  Record(L"C2", L"2 installers started together into two folders, 2 rounds",
         L"2/2 rounds: both exit 0, both folders whole",
         std::to_wstring(apart) + L"/2 rounds: both exit 0, both folders whole");
}

// A helper run of fs_intruder, ended when it goes.
bool StartIntruder(Process *intruder, const std::wstring &args) {
  return intruder->Start(Quoted(kIntruder) + L" " + args);
}

TEST(HardeningTogether, ScannerHoldingEachNewFileBriefly) {
  int installed = 0;
  std::wstring failures;
  for (int run = 0; run < 4; ++run) {
    const std::wstring folder = MakeScratchFolder(L"hard-scan", L"install");
    Process scanner;
    ASSERT_TRUE(StartIntruder(&scanner, L"scan \"" + folder + L"\" 40"));
    Sleep(300);
    const RunResult r = RunUnattended(kSetup, folder, kBoundMs);
    installed += Installed(r);
    if (!Installed(r)) failures += L" (" + Describe(r, kBoundMs) + L")";
  }
  EXPECT_EQ(4, installed) << ToAnsi(failures);
  Record(L"S1", L"a scanner holds each new file with read sharing for 200-800 ms, 4 fresh installs",
         L"4/4 exit 0, no box", std::to_wstring(installed) + L"/4 exit 0, no box" + failures);
}

TEST(HardeningTogether, SwappedCodecLibraryNeverRuns) {
  const std::wstring folder = MakeScratchFolder(L"hard-swap", L"install");
  Process swapper;
  ASSERT_TRUE(
      StartIntruder(&swapper, L"swap \"" + folder + L"\\7Z.DLL\" \"" + kForeign + L"\" 15"));
  const RunResult r = RunUnattended(kSetup, folder, kBoundMs);
  const bool ran = Exists(folder + L"\\FOREIGN.TXT");
  EXPECT_FALSE(ran) << "the foreign 7Z.DLL was loaded";
  EXPECT_TRUE(r.exited && (r.exitCode == 0 || r.boxes == 1)) << ToAnsi(Describe(r, kBoundMs));
  Record(L"S2", L"another program copies a foreign 7Z.DLL over ours every ms during the install",
         L"the foreign library never runs",
         std::wstring(ran ? L"the foreign library ran" : L"the foreign library never ran") + L", " +
             Describe(r, kBoundMs));
}

// The 7ZG.EXE started by the process parent, NULL when there is none.
HANDLE FindExtractor(DWORD parent) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  HANDLE found = nullptr;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == parent && lstrcmpiW(entry.szExeFile, L"7ZG.EXE") == 0) {
      found = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
    }
  }
  CloseHandle(snapshot);
  return found;
}

// The product's TovraClient.dat is held without sharing, so the extractor
// fails on it and stays with its error (hidden, for up to a minute).
TEST(HardeningTogether, KilledInstallerTakesItsExtractor) {
  const std::wstring folder = MakeScratchFolder(L"hard-kill", L"install");
  HeldFile held(folder + L"\\TovraClient.dat", "held");
  ASSERT_TRUE(held.Held());
  ProgramRun installer(UnattendedLine(kSetup, folder));
  HANDLE extractor = nullptr;
  PumpUntil([&] { return (extractor = FindExtractor(installer.ProcessId())) != nullptr; }, 60000);
  ASSERT_NE(nullptr, extractor) << "the extractor never started";
  Sleep(300);
  TerminateProcess(installer.Process(), 9);
  const bool ended = WaitForSingleObject(extractor, 1000) == WAIT_OBJECT_0;
  EXPECT_TRUE(ended) << "the extractor outlived the installer";
  TerminateProcess(extractor, 9);
  CloseHandle(extractor);
  installer.Wait(5000);
  Record(
      L"K1", L"installer killed while its extractor runs (held TovraClient.dat keeps it there)",
      L"no extractor 1 s after the kill",
      ended ? L"no extractor 1 s after the kill" : L"the extractor still ran 1 s after the kill");
}

}  // namespace
