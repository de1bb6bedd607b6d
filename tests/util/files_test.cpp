// Whole-file helpers, the folder chain and the UTF-16 conversion, under Wine.
#include "util/files.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scratch.h"
#include "tests/support/win_test_support.h"
#include "util/files_win.h"
#include "util/text.h"
#include "util/text_win.h"

static bool IsFolder(const std::string &path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

using test_support::Exists;

static std::string Contents(const std::string &path) {
  int size = -1;
  char *data = ReadWholeFile(path.c_str(), &size);
  std::string text = data ? std::string(data, size) : std::string();
  std::free(data);
  return text;
}

using ReadWholeFileTest = test_support::ScratchTest;

TEST_F(ReadWholeFileTest, TenBytesComeInABufferOfFourteen) {
  const char ten[] = "0123\0\1\377789";  // octal: a hex escape would take in the 789
  std::string path = At("ten.bin");
  ASSERT_EQ(1, WriteWholeFile(path.c_str(), ten, 10));
  int size = -1;
  char *data = ReadWholeFile(path.c_str(), &size);
  ASSERT_NE(nullptr, data);
  EXPECT_EQ(10, size);
  EXPECT_EQ(0, std::memcmp(data, ten, 10));
  EXPECT_EQ(14u, _msize(data));
  std::free(data);
}

TEST_F(ReadWholeFileTest, EmptyAndMissingFilesLookTheSame) {
  std::string empty = At("empty.bin");
  ASSERT_EQ(1, WriteWholeFile(empty.c_str(), "", 0));
  int size = -1;
  EXPECT_EQ(nullptr, ReadWholeFile(empty.c_str(), &size));
  EXPECT_EQ(0, size);
  size = -1;
  EXPECT_EQ(nullptr, ReadWholeFile(At("missing.bin").c_str(), &size));
  EXPECT_EQ(0, size);
}

using WriteWholeFileTest = test_support::ScratchTest;

TEST_F(WriteWholeFileTest, ZeroBytesCreateOrEmptyTheFile) {
  std::string path = At("out.bin");
  EXPECT_EQ(1, WriteWholeFile(path.c_str(), nullptr, 0));
  EXPECT_TRUE(Exists(path));
  ASSERT_EQ(1, WriteWholeFile(path.c_str(), "abc", 3));
  EXPECT_EQ("abc", Contents(path));
  EXPECT_EQ(1, WriteWholeFile(path.c_str(), "abc", 0));
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ("", Contents(path));
}

TEST_F(WriteWholeFileTest, AFileThatCannotBeOpenedGivesZero) {
  EXPECT_EQ(0, WriteWholeFile(At("no\\such\\folder.bin").c_str(), "abc", 3));
  EXPECT_EQ(0, WriteWholeFile(dir_.c_str(), "abc", 3));  // a folder
}

using AppendToFileTest = test_support::ScratchTest;

TEST_F(AppendToFileTest, CreatesAMissingFileThenAppends) {
  std::string path = At("setup.zip");
  EXPECT_EQ(1, AppendToFile(path.c_str(), "PK\x03\x04", 4));
  EXPECT_EQ("PK\x03\x04", Contents(path));
  EXPECT_EQ(1, AppendToFile(path.c_str(), "tail", 4));
  EXPECT_EQ("PK\x03\x04tail", Contents(path));
  EXPECT_EQ(0, AppendToFile(At("no\\such\\folder.bin").c_str(), "abc", 3));
}

class CreateDirectoryChainTest : public test_support::ScratchTest {
 protected:
  // Runs the walk on a 600-byte path buffer, as the window does, and checks
  // that every byte of the buffer is as it was afterwards.
  int Chain(const std::string &path, bool lastIsFile) {
    char buffer[600], before[600];
    std::memset(buffer, '#', sizeof(buffer));
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    std::memcpy(before, buffer, sizeof(buffer));
    int result = CreateDirectoryChain(buffer, lastIsFile);
    lastError_ = GetLastError();
    EXPECT_EQ(0, std::memcmp(before, buffer, sizeof(buffer))) << "path not restored: " << path;
    return result;
  }
  DWORD lastError_ = 0;
};

TEST_F(CreateDirectoryChainTest, CreatesSeveralMissingLevels) {
  EXPECT_EQ(1, Chain(At("a\\b\\c\\"), false));
  EXPECT_TRUE(IsFolder(At("a\\b\\c")));
  EXPECT_EQ(1, Chain(At("a/b/d/e"), false));  // forward slashes, no trailing one
  EXPECT_TRUE(IsFolder(At("a\\b\\d\\e")));
  EXPECT_EQ(1, Chain(At("a\\b\\c\\"), false));  // all there already
}

TEST_F(CreateDirectoryChainTest, DoubledSeparatorsRetryTheSamePrefix) {
  EXPECT_EQ(1, Chain(At("x\\\\y\\\\\\z\\\\"), false));
  EXPECT_TRUE(IsFolder(At("x\\y\\z")));
}

// Wine reaches \\server\share through its dosdevices/unc folder. Before the
// share nothing can be made; the chain starts below it, and a share that is
// not there fails the chain without anything made in its place.
TEST_F(CreateDirectoryChainTest, UncPathStartsBelowTheShare) {
  const std::string server = "tovra-chain-" + std::to_string(GetCurrentProcessId());
  test_support::UncShare share(server, "share", test_support::Widen(dir_));
  if (!share.Ok()) GTEST_SKIP() << "no UNC share could be set up (runs under Wine)";
  EXPECT_EQ(1, Chain("\\\\" + server + "\\share\\a\\b\\", false));
  EXPECT_TRUE(IsFolder(At("a\\b")));
  EXPECT_EQ(1, Chain("\\\\" + server + "\\share\\", false));
  EXPECT_EQ(0, Chain("\\\\" + server + "\\missing\\a\\", false));
  EXPECT_FALSE(Exists("\\\\" + server + "\\missing"));
}

TEST_F(CreateDirectoryChainTest, WithTheFlagTheLastComponentIsLeftAlone) {
  EXPECT_EQ(1, Chain(At("d\\e\\TovraClient.dat"), true));
  EXPECT_TRUE(IsFolder(At("d\\e")));
  EXPECT_FALSE(Exists(At("d\\e\\TovraClient.dat")));
}

TEST_F(CreateDirectoryChainTest, APlainFileLastPassesInTheMiddleFails) {
  ASSERT_EQ(1, WriteWholeFile(At("f").c_str(), "x", 1));
  // The system answers "already exists" for the file in last place.
  EXPECT_EQ(1, Chain(At("f"), false));
  EXPECT_EQ(0, Chain(At("f\\g\\h\\"), false));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), lastError_);
  EXPECT_FALSE(Exists(At("f\\g")));
}

TEST_F(CreateDirectoryChainTest, AMissingDriveFailsAtItsRoot) {
  EXPECT_EQ(0, Chain("Q:\\Tovra\\", false));
}

// The names a folder holds, as the ANSI functions report them, sorted.
static std::vector<std::string> Listing(const std::string &folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// Literals are CP936 here: 誠 is D5 5C and 運 DF 5C, the second byte that of "\".
TEST_F(CreateDirectoryChainTest, DoesNotCutInsideADoubleByteCharacter) {
  EXPECT_EQ(1, Chain(At("誠\\说明運\\"), false));
  EXPECT_TRUE(IsFolder(At("誠\\说明運")));
  EXPECT_EQ(1, Chain(At("運"), false));
  EXPECT_TRUE(IsFolder(At("運")));
  EXPECT_EQ(1, Chain(At("誠\\運\\TovraClient.dat"), true));
  EXPECT_TRUE(IsFolder(At("誠\\運")));
  // No folder named after half a character appeared beside them.
  EXPECT_EQ((std::vector<std::string>{"誠", "運"}), Listing(dir_));
  EXPECT_EQ((std::vector<std::string>{"说明運", "運"}), Listing(At("誠")));
}

// The portable rule the text helpers step by is the system's for code page 936.
TEST(Cp936Rule, AgreesWithTheSystem) {
  int leadMismatches = 0, stepMismatches = 0;
  for (int lead = 1; lead < 256; ++lead) {
    const unsigned char byte = static_cast<unsigned char>(lead);
    if ((IsDBCSLeadByteEx(936, byte) != 0) != IsCp936LeadByte(byte)) ++leadMismatches;
    for (int trail = 0; trail < 256; ++trail) {
      const char text[3] = {static_cast<char>(lead), static_cast<char>(trail), '\0'};
      if (CharNextExA(936, text, 0) != NextCp936Char(text)) ++stepMismatches;
      if (trail == '\\') {
        // The last character is the backslash when it starts at the second byte.
        const bool system = CharPrevExA(936, text, text + 2, 0) == text + 1;
        if (system != EndsInBackslash(text)) ++stepMismatches;
      }
    }
  }
  EXPECT_EQ(0, leadMismatches);
  EXPECT_EQ(0, stepMismatches);
}

TEST(WideToAnsi, ConvertsToCodePage936AndTerminates) {
  char out[16];
  std::memset(out, 'x', sizeof(out));
  EXPECT_EQ(9, WideToAnsi(out, L"安装Tovra", 7));
  EXPECT_STREQ("安装Tovra", out);
  // Only the given length is read: no terminator is needed in the input.
  EXPECT_EQ(2, WideToAnsi(out, L"安装Tovra", 1));
  EXPECT_STREQ("安", out);
}

TEST(WideToAnsi, NothingToConvertGivesTheEmptyText) {
  char out[4] = "abc";
  EXPECT_EQ(0, WideToAnsi(out, L"abc", 0));
  EXPECT_STREQ("", out);
}

using LockFolderTest = test_support::ScratchTest;

// Another thread (a mutex is its owner's again) meets the lock of one folder
// under every spelling of it, not another folder's, and the lock once freed.
TEST_F(LockFolderTest, EverySpellingOfOneFolderMeetsOneLock) {
  ASSERT_TRUE(CreateDirectoryA(At("Tovra").c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryA(At("other").c_str(), NULL));
  std::string slashes = At("tovra/");
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  const std::vector<std::string> spellings = {At("TOVRA\\"), At("other\\..\\Tovra"), slashes};
  HANDLE held = LockFolder(At("Tovra").c_str(), 0);
  ASSERT_NE(nullptr, held);
  std::thread([&] {
    for (const std::string &spelling : spellings) {
      HANDLE again = LockFolder(spelling.c_str(), 0);
      EXPECT_EQ(nullptr, again) << spelling;
      EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), GetLastError()) << spelling;
      UnlockFolder(again);
    }
    HANDLE other = LockFolder(At("other").c_str(), 0);
    EXPECT_NE(nullptr, other);
    UnlockFolder(other);
  }).join();
  UnlockFolder(held);
  std::thread([&] {
    HANDLE freed = LockFolder(spellings[0].c_str(), 0);
    EXPECT_NE(nullptr, freed);
    UnlockFolder(freed);
  }).join();
}
