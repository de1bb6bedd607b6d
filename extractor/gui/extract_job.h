#pragma once
// The extraction work of 7ZG.EXE: the codec library and the worker threads
// that drive it (up to two, pulling entries from a shared counter). The
// dialog reads a locked snapshot on its timer; the end of the work is the end
// of the job's thread, which the front end waits for.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "extractor/codec_api.h"
#include "extractor/gui/command_line.h"

namespace tovra::extractor {

// Exit codes of 7ZG.EXE. Never 2: the installer counts 2 as success.
enum ExitCode : int {
  kExitOk = 0,
  kExitEntryFailed = 1,
  kExitBadCommandLine = 7,
  kExitOutOfMemory = 8,
  kExitCancelled = 255,
};

struct Codec {
  HMODULE module = nullptr;
  TzOpenArchiveFn open = nullptr;
  TzEntryCountFn count = nullptr;
  TzTotalBytesFn total = nullptr;
  TzEntryNameFn name = nullptr;
  TzEntryInfoFn info = nullptr;
  TzExtractEntryFn extract = nullptr;
  TzCommitFn commit = nullptr;
  TzRollbackFn rollback = nullptr;
  TzCloseArchiveFn close = nullptr;
  // Loads "7z.dll" from this program's own folder; on failure `error` says why.
  bool Load(std::wstring *error);
};

struct JobSnapshot {
  std::wstring current;  // entry started last
  uint64_t done = 0, total = 0;
  std::vector<std::wstring> messages;  // only those not read before, in entry order
  bool finished = false;
  int exit_code = kExitOk;
};

class ExtractJob {
 public:
  ExtractJob(const Codec &codec, const ExtractCommand &command);
  ~ExtractJob();
  bool Start();
  // Signalled once the work has ended (the job's thread).
  HANDLE done() const { return thread_; }
  void SetPaused(bool paused);
  void Cancel();
  // Copies the state; `messages` gets the ones added since the last call.
  void Read(JobSnapshot *out);
  // The next Read gives every message again.
  void Unread();

 private:
  // One per worker: what it has added to `done_` for its current entry.
  struct Slot {
    ExtractJob *job;
    uint64_t reported;
  };
  static DWORD WINAPI ThreadMain(void *self);
  static DWORD WINAPI HelperMain(void *slot);
  static int __cdecl OnProgress(void *slot, uint64_t entry_done);
  int Run();
  void Work(Slot *slot);
  void Finish(uint32_t index, int result, const wchar_t *name, uint64_t reported);
  void ReleaseMessages(bool all);
  void AddMessage(int result, const std::wstring &subject);
  void Settle();

  Codec codec_;
  ExtractCommand command_;
  HANDLE thread_ = nullptr;
  HANDLE running_ = nullptr;  // manual-reset event, reset while paused
  volatile LONG cancel_ = 0;

  // Set by Run before the workers start, read-only while they run.
  TzArchive *archive_ = nullptr;
  std::wstring out_dir_;
  std::vector<uint64_t> sizes_;
  std::vector<uint32_t> order_;  // the entries of the current phase
  volatile LONG next_ = 0;       // index into order_ of the next entry to take

  CRITICAL_SECTION lock_;  // guards the fields below
  std::wstring current_;
  uint64_t done_ = 0, total_ = 0;
  std::vector<std::wstring> failures_;  // per entry; empty when it went well
  std::vector<char> ended_;             // per entry
  size_t released_ = 0;                 // entries before this are in messages_
  bool failed_ = false, out_of_memory_ = false, cancelled_ = false;
  std::vector<std::wstring> messages_;
  size_t messages_read_ = 0;
  bool finished_ = false;
  int exit_code_ = kExitOk;
};

// The text shown for a codec result ("CRC 校验失败", ...).
const wchar_t *ResultText(int result);

}  // namespace tovra::extractor
