#pragma once
// The extraction work of 7ZG.EXE: the codec library and the worker thread
// that drives it. The dialog reads a locked snapshot on its timer and gets
// one posted message when the work ends.
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
  TzExtractEntryFn extract = nullptr;
  TzCloseArchiveFn close = nullptr;
  // Loads "7z.dll" from this program's own folder; on failure `error` says why.
  bool Load(std::wstring *error);
};

struct JobSnapshot {
  std::wstring current;  // entry being extracted
  uint64_t done = 0, total = 0;
  std::vector<std::wstring> messages;  // only those not read before
  bool finished = false;
  int exit_code = kExitOk;
};

class ExtractJob {
 public:
  ExtractJob(const Codec &codec, const ExtractCommand &command, HWND notify, UINT done_message);
  ~ExtractJob();
  bool Start();
  void SetPaused(bool paused);
  void Cancel();
  // Copies the state; `messages` gets the ones added since the last call.
  void Read(JobSnapshot *out);

 private:
  static DWORD WINAPI ThreadMain(void *self);
  static int __cdecl OnProgress(void *self, uint64_t entry_done);
  int Run();
  void AddMessage(int result, const std::wstring &subject);

  Codec codec_;
  ExtractCommand command_;
  HWND notify_;
  UINT done_message_;
  HANDLE thread_ = nullptr;
  HANDLE running_ = nullptr;  // manual-reset event, reset while paused
  volatile LONG cancel_ = 0;

  CRITICAL_SECTION lock_;  // guards the fields below
  std::wstring current_;
  uint64_t done_ = 0, total_ = 0, entry_base_ = 0;
  std::vector<std::wstring> messages_;
  size_t messages_read_ = 0;
  bool finished_ = false;
  int exit_code_ = kExitOk;
};

// The text shown for a codec result ("CRC 校验失败", ...).
const wchar_t *ResultText(int result);

}  // namespace tovra::extractor
