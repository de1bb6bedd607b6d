// 7ZG.EXE + 7Z.DLL under Wine, driven from this (second) process the way the
// installer drives them: started hidden through the shell with the exact
// extract command, its dialog found and clicked like the installer's watcher.
// Narrow literals are CP936 here, as in the installer.
#include <gtest/gtest.h>
#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "extractor/zip/zip_writer.h"
#include "install/extract.h"
#include "install/extract_command.h"
#include "tests/support/files.h"
#include "tests/support/hostile_entries.h"
#include "tests/support/run_program.h"
#include "util/process_win.h"

namespace {

using test_support::Exists;
using test_support::FromAnsi;
using test_support::ReadFileBytes;
using test_support::Slashes;
using test_support::ToAnsi;
using test_support::TreeContents;
using test_support::WriteFileBytes;
using test_support::ZipEntry;
using tovra::zip::WriteEntry;
using tovra::zip::WriteZip;

// The installer's command (BuildExtractCommand) for these two paths.
std::string InstallerCommand(const std::wstring &archive, const std::wstring &folder) {
  char command[kExtractCommandSize];
  EXPECT_TRUE(BuildExtractCommand(command, sizeof command, ToAnsi(archive).c_str(),
                                  ToAnsi(folder).c_str()));
  return command;
}

const std::wstring kBin = Slashes(FromAnsi(TOVRA_BIN_DIR)) + L"\\";
const std::wstring kExtractor = kBin + L"7ZG.exe";
const std::wstring kSample = Slashes(FromAnsi(TOVRA_SAMPLE_DIR)) + L"\\";

// A file's content, "<unreadable>" when it cannot be read.
std::string Contents(const std::wstring &path) {
  std::string got;
  return ReadFileBytes(path, &got) ? got : "<unreadable>";
}

// Sizes of the files directly in `folder`.
std::vector<uint64_t> FileSizes(const std::wstring &folder) {
  std::vector<uint64_t> sizes;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((folder + L"*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return sizes;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    sizes.push_back((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return sizes;
}

uint64_t BytesBelow(const std::wstring &folder) {
  uint64_t total = 0;
  for (uint64_t size : FileSizes(folder)) total += size;
  return total;
}

// 7ZG.EXE extracts on two threads when the machine has two processors.
size_t ExpectedWorkers() {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  return si.dwNumberOfProcessors >= 2 ? 2 : 1;
}

// A fresh scratch folder per test, removed afterwards.
using ExtractorTest = test_support::ScratchTest;
using test_support::Process;

// As the installer runs the extractor (RunExtractorProgram): through the
// shell (LaunchProgram), hidden, in the output folder, with the command "x",
// the archive in quotes, -o directly followed by the folder in quotes
// (trailing backslash before the closing quote), "-y".
bool StartLikeInstaller(const std::wstring &archive, const std::wstring &folder, Process *p) {
  p->handle = LaunchProgram(ToAnsi(kExtractor).c_str(), InstallerCommand(archive, folder).c_str(),
                            ToAnsi(folder).c_str(), false);
  p->pid = p->handle ? GetProcessId(p->handle) : 0;
  return p->handle != nullptr;
}

// Any command line, through CreateProcessW; `cwd` empty keeps ours.
bool StartWithCommandLine(const std::wstring &exe, const std::wstring &args,
                          const std::wstring &cwd, Process *p) {
  return p->Start(L"\"" + exe + L"\" " + args, cwd.empty() ? nullptr : cwd.c_str());
}

// What the installer's watcher sees (FindDialogByTitle): the process's
// top-level window whose class starts with '#' and whose title holds
// "解压文件...", and its first three Button children.
struct DialogView {
  HWND dialog = nullptr;
  std::string cls, title;
  HWND buttons[3] = {};
  std::string texts[3];
  int message_count = -1;
  std::wstring first_message;
};

std::string TextOf(HWND h) {
  char buf[160] = {};
  GetWindowTextA(h, buf, sizeof buf);
  return buf;
}

bool LookAtDialog(DWORD pid, DialogView *v) {
  const HWND w = FindDialogByTitle(kExtractDialogTitle, pid);
  if (!w) return false;
  char cls[260] = {};
  RealGetWindowClassA(w, cls, 160);
  *v = DialogView();
  v->dialog = w;
  v->cls = cls;
  v->title = TextOf(w);
  HWND prev = nullptr;
  for (int i = 0; i < 3; ++i) {
    prev = FindWindowExA(w, prev, "Button", nullptr);
    if (!prev) return false;
    v->buttons[i] = prev;
    v->texts[i] = TextOf(prev);
  }
  if (HWND list = FindWindowExA(w, nullptr, "ListBox", nullptr)) {
    v->message_count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    wchar_t text[512] = {};
    if (v->message_count > 0 && SendMessageW(list, LB_GETTEXTLEN, 0, 0) < 512) {
      SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    v->first_message = text;
  }
  return true;
}

// Polls until the dialog shows and `third` is the third button's text (any
// text when empty).
bool WaitForDialog(DWORD pid, const std::string &third, DWORD ms, DialogView *v) {
  for (DWORD waited = 0; waited < ms; waited += 10) {
    if (LookAtDialog(pid, v) && (third.empty() || v->texts[2] == third)) return true;
    Sleep(10);
  }
  return false;
}

// The watcher's click: raw mouse messages at (30, 10), sent, 100 ms apart.
void ClickLikeWatcher(HWND button) {
  SendMessageA(button, WM_LBUTTONDOWN, 0, kClickPoint);
  Sleep(kPressTimeMs);
  SendMessageA(button, WM_LBUTTONUP, 0, kClickPoint);
}

// Waits for a finished run's dialog, checks its message count, closes it as
// the watcher does and gives the exit code (-2: no such dialog).
long CloseFinishedDialog(Process *p, int messages, DialogView *v) {
  if (!WaitForDialog(p->pid, "关闭(&C)", 30000, v)) return -2;
  EXPECT_EQ(messages, v->message_count);
  ClickLikeWatcher(v->buttons[2]);
  return p->Wait(10000);
}

// A run started as the installer starts it that ends by itself: its exit code
// (-1: still running after ms).
long ExtractLikeInstaller(const std::wstring &archive, const std::wstring &folder,
                          DWORD ms = 30000) {
  Process p;
  EXPECT_TRUE(StartLikeInstaller(archive, folder, &p));
  return p.Wait(ms);
}

// A run started as the installer starts it that fails: its finished dialog
// closed as the watcher closes it (CloseFinishedDialog), the exit code.
long FailLikeInstaller(const std::wstring &archive, const std::wstring &folder, int messages = 1,
                       DialogView *v = nullptr) {
  Process p;
  DialogView own;
  EXPECT_TRUE(StartLikeInstaller(archive, folder, &p));
  return CloseFinishedDialog(&p, messages, v ? v : &own);
}

// A sent press holds the button's mouse capture; a window of another test
// on the same desktop can take it in the 100 ms before the release, and the
// button then clicks nothing. The click is sent synchronously, so whether it
// took is known when it returns: a lost one is sent again, at most 3 times.
bool ClickUntil(HWND button, const std::function<bool()> &took) {
  for (int i = 0; i < 3; ++i) {
    ClickLikeWatcher(button);
    if (took()) return true;
  }
  return false;
}

// Sets the little-endian field of `bytes` bytes at `at` to v.
void Patch(std::string *s, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
}

// An archive of `count` entries of `size` zero bytes each, deflated in
// pieces: the entries may be far bigger than this process could hold. Zeros
// deflate to about a thousandth, and our extractor writes them out fast, so
// only entries of this size keep it busy for long enough to be paused.
// Level 0 makes stored blocks: an archive as big as what it holds, written
// an entry at a time.
bool WriteZerosZip(const std::wstring &path, int count, uint32_t size, int level = 1) {
  std::string stream;
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  const std::string block(1u << 20, '\0');
  std::string out(1u << 16, '\0');
  uLong crc = crc32(0, nullptr, 0);
  for (uint32_t left = size; left > 0 || z.avail_in > 0;) {
    if (z.avail_in == 0) {
      const uInt n = left < block.size() ? left : static_cast<uInt>(block.size());
      z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(block.data()));
      z.avail_in = n;
      crc = crc32(crc, z.next_in, n);
      left -= n;
    }
    do {
      z.next_out = reinterpret_cast<Bytef *>(&out[0]);
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, Z_NO_FLUSH);
      stream.append(out.data(), out.size() - z.avail_out);
    } while (z.avail_out == 0);
  }
  for (int r = Z_OK; r != Z_STREAM_END;) {
    z.next_out = reinterpret_cast<Bytef *>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    r = deflate(&z, Z_FINISH);
    stream.append(out.data(), out.size() - z.avail_out);
  }
  deflateEnd(&z);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  auto write = [&](const std::string &bytes) {
    DWORD put = 0;
    ok = ok && WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
         put == bytes.size();
  };
  // Each entry's headers as the writer makes them for an entry whose data
  // is not in memory; the stream is written after the local one, and the
  // central records and the end record are moved by what went before.
  std::string central, one;
  uint32_t offset = 0;
  for (int i = 0; i < count; ++i) {
    WriteEntry e = ZipEntry("part" + std::to_string(i) + ".bin");
    e.deflated = "";
    e.crc32 = static_cast<uint32_t>(crc);
    e.compressed_size = static_cast<uint32_t>(stream.size());
    e.uncompressed_size = size;
    e.dos_time = e.dos_date = 0;
    one = WriteZip({e});
    const size_t head = 30 + e.name.size();
    write(one.substr(0, head));
    write(stream);
    std::string record = one.substr(head, one.size() - 22 - head);
    Patch(&record, 42, offset, 4);
    central += record;
    offset += static_cast<uint32_t>(head + stream.size());
  }
  std::string zip = one.substr(one.size() - 22);
  Patch(&zip, 8, static_cast<uint32_t>(count), 2);
  Patch(&zip, 10, static_cast<uint32_t>(count), 2);
  Patch(&zip, 12, static_cast<uint32_t>(central.size()), 4);
  Patch(&zip, 16, offset, 4);
  write(central + zip);
  return CloseHandle(file) && ok;
}

TEST_F(ExtractorTest, ExtractsLikeDebianToolsWithTheInstallersCommand) {
  const std::wstring folder = scratch_ + L"\\安装 目录 (测试)\\";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  EXPECT_EQ(0, ExtractLikeInstaller(kSample + L"sample.zip", folder));  // closes by itself

  const auto ours = TreeContents(folder);
  const auto by_7zz = TreeContents(kSample + L"ref-7zz\\");
  const auto by_unzip = TreeContents(kSample + L"ref-unzip\\");
  ASSERT_EQ(10u, by_7zz.size());
  EXPECT_TRUE(ours == by_7zz);
  EXPECT_TRUE(ours == by_unzip);
  for (const auto &f : by_7zz) {
    auto it = ours.find(f.first);
    EXPECT_TRUE(it != ours.end() && it->second == f.second) << ToAnsi(f.first);
  }
  EXPECT_EQ(1u, ours.count(L"雪人\u2603.txt"));  // ☃: no CP936 form for gtest's message
  EXPECT_EQ("", ours.at(L"空文件.txt"));

  // The DOS time of the entry becomes the file's last-write time (local time).
  HANDLE h = CreateFileW((folder + L"TovraClient.dat").c_str(), GENERIC_READ, FILE_SHARE_READ,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  FILETIME utc, local;
  SYSTEMTIME st;
  ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &utc));
  CloseHandle(h);
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &st);
  EXPECT_EQ((std::vector<int>{2025, 4, 8, 9, 41, 26}),
            (std::vector<int>{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond}));
}

// Run hidden as the installer runs it, a short clean extraction makes no
// window at all: the dialog would cost more than the work.
TEST_F(ExtractorTest, ShortHiddenRunShowsNoDialog) {
  const std::wstring folder = scratch_ + L"\\out\\";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  Process p;
  ASSERT_TRUE(StartLikeInstaller(kSample + L"sample.zip", folder, &p));
  bool seen = false;
  long code = -1;
  for (int polls = 0; polls < 20000 && code == -1; ++polls) {
    DialogView v;
    seen = seen || LookAtDialog(p.pid, &v);
    code = p.Wait(1);
  }
  EXPECT_EQ(0, code);
  EXPECT_FALSE(seen);
  EXPECT_EQ(10u, TreeContents(folder).size());
}

TEST_F(ExtractorTest, OverwritesWithYesAndKeepsFilesWithout) {
  const std::wstring folder = scratch_ + L"\\out\\";
  const std::wstring archive = scratch_ + L"\\a.zip";
  ASSERT_TRUE(WriteFileBytes(archive, WriteZip({ZipEntry("文件.txt", "new content")})));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring file = folder + L"文件.txt";
  ASSERT_TRUE(WriteFileBytes(file, "old"));
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  {
    // Without -y an existing file stays; the run reports it and fails.
    Process p;
    ASSERT_TRUE(
        StartWithCommandLine(kExtractor, L"x \"" + archive + L"\" -o\"" + folder + L"\"", L"", &p));
    DialogView v;
    EXPECT_EQ(1, CloseFinishedDialog(&p, 1, &v));
    EXPECT_EQ("old", Contents(file));
  }
  // With -y even the read-only file is replaced.
  EXPECT_EQ(0, ExtractLikeInstaller(archive, folder));
  EXPECT_EQ("new content", Contents(file));
}

TEST_F(ExtractorTest, FailedEntryKeepsTheDialogUntilCloseIsClicked) {
  const std::wstring folder = scratch_ + L"\\out\\";
  const std::wstring archive = scratch_ + L"\\bad.zip";
  std::vector<WriteEntry> e = {ZipEntry("good.txt", "fine"),
                               ZipEntry("broken.txt", "the CRC recorded for this is wrong")};
  e[1].crc32 = 0xDEADBEEF;
  ASSERT_TRUE(WriteFileBytes(archive, WriteZip(e)));
  Process p;
  ASSERT_TRUE(StartLikeInstaller(archive, folder, &p));
  DialogView v;
  ASSERT_TRUE(WaitForDialog(p.pid, "关闭(&C)", 20000, &v));
  EXPECT_EQ("#32770", v.cls);
  EXPECT_NE(std::string::npos, v.title.find("解压文件..."));
  EXPECT_EQ("后台(&B)", v.texts[0]);
  EXPECT_EQ("暂停(&P)", v.texts[1]);
  EXPECT_EQ(1, v.message_count);
  EXPECT_EQ(-1, p.Wait(300));  // it waits to be closed
  // The watcher hides the buttons without "关闭" and clicks the one with it,
  // hidden or not.
  ShowWindow(v.buttons[0], SW_HIDE);
  ShowWindow(v.buttons[1], SW_HIDE);
  ClickLikeWatcher(v.buttons[2]);
  EXPECT_EQ(1, p.Wait(10000));
  // All or nothing: the sound entry is not placed either, and the folder the
  // run made is gone with it.
  EXPECT_FALSE(Exists(folder));
}

// Starts a visible run over `parts` zero-filled files of kPart bytes and
// waits for its dialog: a visible run shows it from the start (a hidden run
// only after a while, and a run may end before that). Then waits until the
// workers write.
constexpr uint32_t kPart = 1u << 30;
void StartBigVisibleRun(const std::wstring &scratch, int parts, Process *p, DialogView *v) {
  const std::wstring archive = scratch + L"\\big.zip";
  ASSERT_TRUE(WriteZerosZip(archive, parts, kPart));
  ASSERT_TRUE(StartWithCommandLine(
      kExtractor, FromAnsi(InstallerCommand(archive, scratch + L"\\out\\")), L"", p));
  ASSERT_TRUE(WaitForDialog(p->pid, "", 20000, v));
  for (int waited = 0; BytesBelow(scratch + L"\\out\\") == 0 && waited < 10000; waited += 10) {
    Sleep(10);
  }
}

TEST_F(ExtractorTest, ButtonsWorkWhileExtracting) {
  const std::wstring folder = scratch_ + L"\\out\\";
  constexpr int kParts = 6;
  Process p;
  DialogView v;
  ASSERT_NO_FATAL_FAILURE(StartBigVisibleRun(scratch_, kParts, &p, &v));
  EXPECT_EQ("#32770", v.cls);
  EXPECT_EQ("后台(&B)", v.texts[0]);
  EXPECT_EQ("暂停(&P)", v.texts[1]);
  EXPECT_EQ("取消", v.texts[2]);

  // Pause (once the workers write): the output stops growing until the
  // button is pressed again.
  EXPECT_TRUE(ClickUntil(v.buttons[1], [&] { return TextOf(v.buttons[1]) == "继续(&P)"; }));
  Sleep(300);
  const uint64_t bytes_before = BytesBelow(folder);
  Sleep(500);
  EXPECT_EQ(bytes_before, BytesBelow(folder));
  EXPECT_LT(bytes_before, uint64_t{kParts} * kPart);
  // Every worker holds one unfinished file while paused.
  size_t unfinished = 0;
  for (uint64_t size : FileSizes(folder)) unfinished += size < kPart ? 1 : 0;
  EXPECT_EQ(ExpectedWorkers(), unfinished);

  // Background: idle priority and a minimised dialog.
  EXPECT_TRUE(ClickUntil(v.buttons[0], [&] {
    return GetPriorityClass(p.handle) == static_cast<DWORD>(IDLE_PRIORITY_CLASS);
  }));
  EXPECT_TRUE(IsIconic(v.dialog));

  // Cancel, while paused: the run ends with 255 and leaves no partial file.
  ClickLikeWatcher(v.buttons[2]);
  EXPECT_EQ(255, p.Wait(20000));
  for (uint64_t size : FileSizes(folder)) EXPECT_EQ(kPart, size);  // no partial file stays
}

// Cancelled while both workers write: 255, and every file left is complete.
TEST_F(ExtractorTest, CancelWhileWorkersRunLeavesOnlyWholeFiles) {
  constexpr int kParts = 8;
  Process p;
  DialogView v;
  ASSERT_NO_FATAL_FAILURE(StartBigVisibleRun(scratch_, kParts, &p, &v));
  ClickLikeWatcher(v.buttons[2]);
  EXPECT_EQ(255, p.Wait(20000));
  const std::vector<uint64_t> sizes = FileSizes(scratch_ + L"\\out\\");
  EXPECT_LT(sizes.size(), static_cast<size_t>(kParts));
  for (uint64_t size : sizes) EXPECT_EQ(kPart, size);
}

// Entries of different sizes in folders, one broken in the middle, over an
// older version of half of them, on two threads: the broken one gives
// exactly one message, and the folder is left exactly as it was.
TEST_F(ExtractorTest, BrokenEntryAmongManyLeavesTheOldFilesOnTwoThreads) {
  const std::wstring folder = scratch_ + L"\\out\\";
  const std::wstring archive = scratch_ + L"\\mixed.zip";
  std::vector<WriteEntry> e;
  std::map<std::wstring, std::string> want;
  for (int i = 0; i < 12; ++i) {
    if (i == 6) {
      e.push_back(ZipEntry("程序/损坏.dll", std::string(200000, 'x')));
      e.back().crc32 = 0x12345678;
      continue;
    }
    std::string data(static_cast<size_t>((i * 7919) % 13) * 150000 + 1, '\0');
    for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<char>((k * 31 + i) ^ (k >> 9));
    const std::string dir = i % 3 == 0 ? "" : (i % 3 == 1 ? "程序/" : "数据/图像/");
    e.push_back(ZipEntry(dir + "文件" + std::to_string(i) + ".bin", data));
    want[Slashes(FromAnsi(e.back().name))] = data;
  }
  e.push_back(ZipEntry("程序/"));  // a folder entry after the files that live in it
  e.back().method = 0;
  want[L"程序"] = "<dir>";
  want[L"数据"] = "<dir>";
  want[L"数据\\图像"] = "<dir>";
  ASSERT_TRUE(WriteFileBytes(archive, WriteZip(e)));
  for (const wchar_t *dir : {L"", L"程序", L"数据", L"数据\\图像"}) {
    ASSERT_TRUE(CreateDirectoryW((folder + dir).c_str(), nullptr));
  }
  int n = 0;
  for (const auto &f : want) {
    if (f.second != "<dir>" && n++ % 2 == 0) {
      ASSERT_TRUE(WriteFileBytes(folder + f.first, "old"));
    }
  }
  const auto before = TreeContents(folder);
  EXPECT_EQ(1, FailLikeInstaller(archive, folder));
  EXPECT_TRUE(before == TreeContents(folder));  // no new file, no temporary
}

// Two entries for one file: extracted in entry order, the later one wins,
// as with one thread.
TEST_F(ExtractorTest, RepeatedNameEndsWithTheLastEntry) {
  const std::wstring folder = scratch_ + L"\\out\\";
  const std::wstring archive = scratch_ + L"\\twice.zip";
  ASSERT_TRUE(WriteFileBytes(
      archive,
      WriteZip({ZipEntry("Dir/Same.txt", std::string(3u << 20, 'a')),
                ZipEntry("other.bin", std::string(1u << 20, 'o')),
                ZipEntry("dir\\same.TXT", "second"), ZipEntry("dir/./more.txt", "more")})));
  EXPECT_EQ(0, ExtractLikeInstaller(archive, folder));
  EXPECT_EQ("second", Contents(folder + L"dir\\same.txt"));
}

// CP936 names whose last character ends in the byte 0x5C (運 is DF 5C, 誠 D5 5C)
// are files; a folder may be marked by its MS-DOS attribute 0x10 alone.
TEST_F(ExtractorTest, NamesEndingIn5CAndAttributeFoldersComeOutAsMeant) {
  const std::wstring folder = scratch_ + L"\\out\\";
  const std::wstring archive = scratch_ + L"\\names.zip";
  std::vector<WriteEntry> e = {ZipEntry("说明運", "read me"), ZipEntry("文档"),
                               ZipEntry("文档/誠", "in the folder"), ZipEntry("運\\"),
                               ZipEntry("運\\誠.txt", "below 運")};
  e[1].method = 0;  // made by MS-DOS (the writer's default), no separator
  e[1].external_attributes = 0x10;
  e[3].method = 0;
  ASSERT_TRUE(WriteFileBytes(archive, WriteZip(e)));
  EXPECT_EQ(0, ExtractLikeInstaller(archive, folder));
  const std::map<std::wstring, std::string> want = {{L"说明運", "read me"},
                                                    {L"文档", "<dir>"},
                                                    {L"文档\\誠", "in the folder"},
                                                    {L"運", "<dir>"},
                                                    {L"運\\誠.txt", "below 運"}};
  const auto got = TreeContents(folder);
  EXPECT_TRUE(want == got);
  for (const auto &f : got) EXPECT_EQ(1u, want.count(f.first)) << ToAnsi(f.first);
}

// An upgrade over an older version: a target in use (held without sharing,
// as a running program's file is) fails the run after a bounded wait and
// leaves every old file as it was; one held for a moment (a scanner) is
// waited for, and all are replaced. What a run cut short during its
// replacements left is put right first.
TEST_F(ExtractorTest, UpgradeReplacesAllOrNothing) {
  const std::wstring folder = scratch_ + L"\\out\\";
  const std::wstring archive = scratch_ + L"\\new.zip";
  const std::map<std::wstring, std::string> want = {{L"a.txt", "new a"},
                                                    {L"程序", "<dir>"},
                                                    {L"程序\\b.dll", std::string(300000, 'b')},
                                                    {L"程序\\c.bin", "new c"},
                                                    {L"z.dat", "new z"}};
  std::vector<WriteEntry> e;
  for (const char *name : {"a.txt", "程序/b.dll", "程序/c.bin", "z.dat"}) {
    e.push_back(ZipEntry(name, want.at(Slashes(FromAnsi(name)))));
  }
  ASSERT_TRUE(WriteFileBytes(archive, WriteZip(e)));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((folder + L"程序").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(folder + L"a.txt", "old a"));
  ASSERT_TRUE(WriteFileBytes(folder + L"程序\\b.dll", "old b"));
  ASSERT_TRUE(WriteFileBytes(folder + L"z.dat", "old z"));
  const auto before = TreeContents(folder);
  // Left by a run cut short: a.txt set aside and not replaced, a temporary.
  ASSERT_TRUE(MoveFileW((folder + L"a.txt").c_str(), (folder + L"a.txt.~tovra-old").c_str()));
  ASSERT_TRUE(WriteFileBytes(folder + L"程序\\c.bin.~tovra-new", "half"));
  HANDLE held =
      CreateFileW((folder + L"z.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  DialogView v;
  EXPECT_EQ(1, FailLikeInstaller(archive, folder, 1, &v));
  CloseHandle(held);
  EXPECT_TRUE(v.first_message == L"文件正在使用，无法替换：z.dat");
  EXPECT_TRUE(before == TreeContents(folder));
  // Held for a moment only, as a scanner holds a file: the run waits it out.
  held = CreateFileW((folder + L"z.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                     OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  Process p;
  ASSERT_TRUE(StartLikeInstaller(archive, folder, &p));
  Sleep(600);
  CloseHandle(held);
  EXPECT_EQ(0, p.Wait(30000));
  EXPECT_TRUE(want == TreeContents(folder));
}

// More entries than the extractor keeps handles for (its later ones are
// closed once staged and reopened to be put in place): a fresh run and an
// upgrade place every file, and a broken last entry leaves the old ones, or
// nothing in folders the run made (where entries are written under their own
// names).
TEST_F(ExtractorTest, ManyFilesCommitAndRollBackAsFew) {
  const std::wstring folder = scratch_ + L"\\out\\";
  std::vector<WriteEntry> e;
  std::map<std::wstring, std::string> want;
  for (size_t i = 0; i < 600; ++i) {
    e.push_back(ZipEntry((i % 2 ? "程序/" : "") + std::to_string(i) + ".txt",
                         "v1 " + std::to_string(i * 7919)));
    want[Slashes(FromAnsi(e[i].name))] = e[i].data;
  }
  want[L"程序"] = "<dir>";
  const std::wstring v1 = scratch_ + L"\\v1.zip", v2 = scratch_ + L"\\v2.zip",
                     bad = scratch_ + L"\\bad.zip";
  ASSERT_TRUE(WriteFileBytes(v1, WriteZip(e)));
  for (auto &entry : e) entry.data[1] = '2';
  ASSERT_TRUE(WriteFileBytes(v2, WriteZip(e)));
  e.back().crc32 = 0x12345678;
  ASSERT_TRUE(WriteFileBytes(bad, WriteZip(e)));
  EXPECT_EQ(1, FailLikeInstaller(bad, folder));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.c_str())) << "fresh, bad";
  EXPECT_EQ(0, ExtractLikeInstaller(v1, folder, 120000));
  EXPECT_TRUE(want == TreeContents(folder)) << "v1";
  EXPECT_EQ(1, FailLikeInstaller(bad, folder));
  EXPECT_TRUE(want == TreeContents(folder)) << "bad";
  for (auto &f : want) {
    if (f.second != "<dir>") f.second[1] = '2';
  }
  EXPECT_EQ(0, ExtractLikeInstaller(v2, folder, 120000));
  EXPECT_TRUE(want == TreeContents(folder)) << "v2";
}

// Links planted in the output folder (Unix symlinks under Wine, standing for
// junctions and file links): a folder link that leads out fails the run and
// nothing lands outside; a file link at a target's name is replaced, not
// written through.
TEST_F(ExtractorTest, PlantedLinksNeverLeadOutside) {
  if (!test_support::RunningUnderWine()) GTEST_SKIP() << "links are planted from the host";
  const std::wstring folder = scratch_ + L"\\out\\";
  const std::wstring outside = scratch_ + L"\\outside\\";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(outside + L"victim.txt", "victim"));
  const std::string folder_link = test_support::HostPath(folder + L"数据");
  const std::string file_link = test_support::HostPath(folder + L"link.txt");
  const std::string target = test_support::HostPath(outside + L"victim.txt");
  ASSERT_TRUE(test_support::HostShell("ln -s \"$(dirname '" + target + "')\" '" + folder_link +
                                      "' && ln -s '" + target + "' '" + file_link + "'"));
  const std::map<std::wstring, std::string> untouched = {{L"victim.txt", "victim"}};
  const std::wstring through = scratch_ + L"\\links0.zip", replaced = scratch_ + L"\\links1.zip";
  ASSERT_TRUE(
      WriteFileBytes(through, WriteZip({ZipEntry("link.txt", "new"), ZipEntry("other.txt", "other"),
                                        ZipEntry("数据/x.txt", "x")})));
  ASSERT_TRUE(WriteFileBytes(replaced, WriteZip({ZipEntry("link.txt", "new")})));
  EXPECT_EQ(1, FailLikeInstaller(through, folder));
  EXPECT_FALSE(Exists(folder + L"other.txt"));
  EXPECT_TRUE(untouched == TreeContents(outside)) << "through the folder link";
  EXPECT_EQ(0, ExtractLikeInstaller(replaced, folder));
  EXPECT_EQ("new", Contents(folder + L"link.txt"));
  EXPECT_TRUE(test_support::HostShell("test ! -L '" + file_link + "'"));
  EXPECT_TRUE(untouched == TreeContents(outside)) << "through the file link";
  test_support::HostShell("rm -f '" + folder_link + "'");
}

// An archive whose pages cannot be brought in: a sparse file on a full
// tmpfs, where touching a hole through a mapping raises SIGBUS (an in-page
// error for a Windows program) while reading it gives zeros. The run fails
// on the entry's CRC, without a crash or a system box.
TEST_F(ExtractorTest, ArchiveThatCannotBePagedInFailsWithoutCrash) {
  if (!test_support::RunningUnderWine()) GTEST_SKIP() << "the tmpfs is mounted from the host";
  const std::wstring tiny = scratch_ + L"\\tiny";
  ASSERT_TRUE(CreateDirectoryW(tiny.c_str(), nullptr));
  const std::string host = test_support::HostPath(tiny);
  if (!test_support::HostShell("mount -t tmpfs -o size=64k tmpfs '" + host + "'")) {
    GTEST_SKIP() << "cannot mount a tmpfs (needs root)";
  }
  struct Unmount {
    std::string host;
    ~Unmount() { test_support::HostShell("umount '" + host + "'"); }
  } unmount{host};
  std::vector<WriteEntry> e = {ZipEntry("big.bin", std::string(1u << 20, 'x')),
                               ZipEntry("small.txt", "small")};
  e[0].method = 0;
  const std::string zip = WriteZip(e);
  // Only the first page and the last ones (the directory) are written.
  const size_t tail = (zip.size() - 512) & ~size_t{4095};
  HANDLE f = CreateFileW((tiny + L"\\sparse.zip").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                         nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, f);
  DWORD put = 0;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(tail);
  EXPECT_TRUE(WriteFile(f, zip.data(), 4096, &put, nullptr));
  EXPECT_TRUE(SetFilePointerEx(f, at, nullptr, FILE_BEGIN));
  EXPECT_TRUE(
      WriteFile(f, zip.data() + tail, static_cast<DWORD>(zip.size() - tail), &put, nullptr));
  CloseHandle(f);
  // Then the tmpfs is filled, so no page can be added for the hole.
  f = CreateFileW((tiny + L"\\fill").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  const std::string block(4096, 'f');
  while (WriteFile(f, block.data(), 4096, &put, nullptr) && put == 4096) {
  }
  CloseHandle(f);
  EXPECT_EQ(1, FailLikeInstaller(tiny + L"\\sparse.zip", scratch_ + L"\\out\\"));
  EXPECT_FALSE(Exists(scratch_ + L"\\out"));
}

// The archive is read a piece at a time, never whole: extracting 320 MB
// (stored blocks, so the archive is as big as its output), hidden as the
// installer runs it, the extractor's peak working set stays below 64 MB.
// Read while it runs: Wine 8 does not enforce a job's per-process memory
// limit, and answers for another process only while it exists.
TEST_F(ExtractorTest, BigArchiveNeverHeldInMemory) {
  const std::wstring archive = scratch_ + L"\\stored.zip";
  ASSERT_TRUE(WriteZerosZip(archive, 4, 80u << 20, 0));
  Process p;
  ASSERT_TRUE(StartLikeInstaller(archive, scratch_ + L"\\out\\", &p));
  SIZE_T peak = 0;
  long code = -1;
  for (int polls = 0; polls < 6000 && code == -1; ++polls) {
    PROCESS_MEMORY_COUNTERS m = {};
    m.cb = sizeof m;
    if (GetProcessMemoryInfo(p.handle, &m, sizeof m)) peak = std::max(peak, m.PeakWorkingSetSize);
    code = p.Wait(20);
  }
  EXPECT_EQ(0, code);
  std::printf("extractor peak working set: %.1f MB\n", peak / 1048576.0);
  EXPECT_GT(peak, 0u);
  EXPECT_LT(peak, 64u << 20);
  EXPECT_EQ(std::vector<uint64_t>(4, 80u << 20), FileSizes(scratch_ + L"\\out\\"));
}

TEST_F(ExtractorTest, BadCommandLinesExitWith7) {
  for (const wchar_t *args : {L"", L"x", L"e a.zip -oC:\\x\\ -y", L"x a.zip b.zip -y",
                              L"x a.zip -o -y", L"x a.zip -oC:\\x\\ -y -p", L"l a.zip"}) {
    Process p;
    ASSERT_TRUE(StartWithCommandLine(kExtractor, args, L"", &p));
    EXPECT_EQ(7, p.Wait(10000)) << ToAnsi(args);
  }
}

TEST_F(ExtractorTest, MissingOrForeignCodecFailsInTheDialog) {
  // 7ZG.exe alone in a folder, a working codec planted in the current
  // folder: it must not be picked up from there.
  const std::wstring alone = scratch_ + L"\\alone\\";
  const std::wstring planted = scratch_ + L"\\planted\\";
  ASSERT_TRUE(CreateDirectoryW(alone.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(planted.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(kExtractor.c_str(), (alone + L"7ZG.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW((kBin + L"7Z.dll").c_str(), (planted + L"7z.dll").c_str(), FALSE));
  const std::wstring args =
      FromAnsi(InstallerCommand(kSample + L"sample.zip", scratch_ + L"\\out\\"));
  for (int round = 0; round < 2; ++round) {
    if (round == 1) {
      // A library under the codec's name that lacks its exports.
      ASSERT_TRUE(
          CopyFileW((kBin + L"fake_codec.dll").c_str(), (alone + L"7z.dll").c_str(), FALSE));
    }
    Process p;
    ASSERT_TRUE(StartWithCommandLine(alone + L"7ZG.exe", args, planted, &p));
    DialogView v;
    EXPECT_EQ(1, CloseFinishedDialog(&p, 1, &v)) << round;
    EXPECT_FALSE(Exists(scratch_ + L"\\out\\说明.txt"));
  }
}

TEST_F(ExtractorTest, UnreadableArchivesFail) {
  ASSERT_TRUE(WriteFileBytes(scratch_ + L"\\not.zip", std::string(3000, 'x')));
  for (const wchar_t *name : {L"\\missing.zip", L"\\not.zip"}) {
    EXPECT_EQ(1, FailLikeInstaller(scratch_ + name, scratch_ + L"\\out\\")) << ToAnsi(name);
  }
}

// Every hostile entry is refused with a message, the sound ones around them
// are extracted, and nothing appears outside the output folder.
TEST_F(ExtractorTest, HostileArchiveWritesNothingOutsideTheFolder) {
  const std::wstring sandbox = scratch_ + L"\\sandbox";
  ASSERT_TRUE(CreateDirectoryW(sandbox.c_str(), nullptr));
  std::vector<WriteEntry> e = {ZipEntry("sound/first.txt", "first")};
  const size_t hostile = test_support::AppendHostileEntries(&e);
  e.push_back(ZipEntry("sound/last.txt", "last"));
  ASSERT_TRUE(WriteFileBytes(scratch_ + L"\\hostile.zip", WriteZip(e)));
  EXPECT_EQ(1, FailLikeInstaller(scratch_ + L"\\hostile.zip", sandbox + L"\\out\\",
                                 static_cast<int>(hostile)));

  // The sound entries are not placed either: the run fails as a whole.
  EXPECT_TRUE(TreeContents(sandbox + L"\\").empty());
  for (const wchar_t *stray : {L"\\evil1.txt", L"\\evil2.txt", L"\\evil3.txt", L"\\evil10.txt"}) {
    EXPECT_FALSE(Exists(scratch_ + stray));
    EXPECT_FALSE(Exists(sandbox + stray));
  }
  for (const wchar_t *stray :
       {L"C:\\evil4.txt", L"C:\\evil5.txt", L"C:\\evil6.txt", L"Z:\\evil4.txt", L"Z:\\evil5.txt"}) {
    EXPECT_FALSE(Exists(stray)) << ToAnsi(stray);
  }
}

}  // namespace
