#include "extractor/gui/extract_job.h"

#include <new>

namespace tovra::extractor {
namespace {

template <typename Fn>
bool Resolve(HMODULE m, const char *name, Fn *fn, std::wstring *missing) {
  // Through void*: GCC warns about casting FARPROC to another function type.
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(m, name)));
  if (!*fn && missing->empty()) missing->assign(name, name + lstrlenA(name));
  return *fn != nullptr;
}

std::wstring OwnFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return std::wstring();
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace

// Only the full path from our own folder: loading "7z.dll" by bare name would
// search the current folder and PATH, where anyone could plant one.
bool Codec::Load(std::wstring *error) {
  const std::wstring folder = OwnFolder();
  const std::wstring path = folder + L"7z.dll";
  if (folder.empty() ||
      !(module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH))) {
    *error = L"无法加载解压库 " + path;
    return false;
  }
  std::wstring missing;
  TzApiVersionFn version = nullptr;
  Resolve(module, "TzApiVersion", &version, &missing);
  Resolve(module, "TzOpenArchive", &open, &missing);
  Resolve(module, "TzEntryCount", &count, &missing);
  Resolve(module, "TzTotalBytes", &total, &missing);
  Resolve(module, "TzEntryName", &name, &missing);
  Resolve(module, "TzExtractEntry", &extract, &missing);
  Resolve(module, "TzCloseArchive", &close, &missing);
  if (!missing.empty()) {
    *error = L"解压库缺少函数 " + missing + L"：" + path;
    return false;
  }
  if (version() != TZ_API_VERSION) {
    *error = L"解压库版本不符：" + path;
    return false;
  }
  return true;
}

const wchar_t *ResultText(int result) {
  switch (result) {
    case TZ_E_OPEN:
      return L"无法打开压缩文件";
    case TZ_E_NOT_ZIP:
      return L"不是 ZIP 压缩文件";
    case TZ_E_BAD_ARCHIVE:
      return L"压缩文件已损坏";
    case TZ_E_UNSUPPORTED:
      return L"不支持的压缩文件格式 (ZIP64 或分卷)";
    case TZ_E_BAD_HEADER:
      return L"文件头与目录不符";
    case TZ_E_OVERLAP:
      return L"数据与其他文件重叠，已拒绝";
    case TZ_E_ENCRYPTED:
      return L"文件已加密，不支持";
    case TZ_E_METHOD:
      return L"不支持的压缩方法";
    case TZ_E_BAD_DATA:
      return L"数据错误";
    case TZ_E_SIZE:
      return L"文件大小与数据不符";
    case TZ_E_CRC:
      return L"CRC 校验失败";
    case TZ_E_UNSAFE_NAME:
      return L"不安全的文件名，已跳过";
    case TZ_E_EXISTS:
      return L"文件已存在，未覆盖";
    case TZ_E_WRITE:
      return L"无法写入文件";
    case TZ_E_NO_MEMORY:
      return L"内存不足";
    case TZ_E_CANCELLED:
      return L"已取消";
    default:
      return L"未知错误";
  }
}

ExtractJob::ExtractJob(const Codec &codec, const ExtractCommand &command, HWND notify,
                       UINT done_message)
    : codec_(codec), command_(command), notify_(notify), done_message_(done_message) {
  InitializeCriticalSection(&lock_);
  running_ = CreateEventW(nullptr, TRUE, TRUE, nullptr);
}

ExtractJob::~ExtractJob() {
  if (thread_) {
    Cancel();
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  if (running_) CloseHandle(running_);
  DeleteCriticalSection(&lock_);
}

bool ExtractJob::Start() {
  if (!running_) return false;
  thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
  return thread_ != nullptr;
}

void ExtractJob::SetPaused(bool paused) {
  if (paused) {
    ResetEvent(running_);
  } else {
    SetEvent(running_);
  }
}

void ExtractJob::Cancel() {
  InterlockedExchange(&cancel_, 1);
  SetEvent(running_);  // a paused worker must wake up to stop
}

void ExtractJob::Read(JobSnapshot *out) {
  EnterCriticalSection(&lock_);
  out->current = current_;
  out->done = done_;
  out->total = total_;
  out->messages.assign(messages_.begin() + messages_read_, messages_.end());
  messages_read_ = messages_.size();
  out->finished = finished_;
  out->exit_code = exit_code_;
  LeaveCriticalSection(&lock_);
}

void ExtractJob::AddMessage(int result, const std::wstring &subject) {
  std::wstring text = ResultText(result);
  text += L"：";
  text += subject;
  EnterCriticalSection(&lock_);
  messages_.push_back(std::move(text));
  LeaveCriticalSection(&lock_);
}

// Runs on the worker: pausing blocks here, between pieces of output.
int __cdecl ExtractJob::OnProgress(void *self, uint64_t entry_done) {
  ExtractJob *job = static_cast<ExtractJob *>(self);
  WaitForSingleObject(job->running_, INFINITE);
  EnterCriticalSection(&job->lock_);
  job->done_ = job->entry_base_ + entry_done;
  LeaveCriticalSection(&job->lock_);
  return job->cancel_ ? 0 : 1;
}

int ExtractJob::Run() {
  const std::wstring out_dir = command_.output_dir.empty() ? L"." : command_.output_dir;
  TzArchive *archive = nullptr;
  const int opened = codec_.open(command_.archive.c_str(), &archive);
  if (opened != TZ_OK) {
    AddMessage(opened, command_.archive);
    return opened == TZ_E_NO_MEMORY ? kExitOutOfMemory : kExitEntryFailed;
  }
  const uint32_t count = codec_.count(archive);
  EnterCriticalSection(&lock_);
  total_ = codec_.total(archive);
  LeaveCriticalSection(&lock_);
  bool failed = false, out_of_memory = false, cancelled = false;
  wchar_t name[1024];
  for (uint32_t i = 0; i < count && !cancelled; ++i) {
    WaitForSingleObject(running_, INFINITE);
    if (cancel_) {
      cancelled = true;
      break;
    }
    codec_.name(archive, i, name, sizeof name / sizeof name[0]);
    EnterCriticalSection(&lock_);
    current_ = name;
    entry_base_ = done_;
    LeaveCriticalSection(&lock_);
    const int r =
        codec_.extract(archive, i, out_dir.c_str(), command_.overwrite ? 1 : 0, OnProgress, this);
    if (r == TZ_E_CANCELLED) {
      cancelled = true;
    } else if (r != TZ_OK) {
      failed = true;
      out_of_memory = out_of_memory || r == TZ_E_NO_MEMORY;
      AddMessage(r, name);
    }
  }
  codec_.close(archive);
  EnterCriticalSection(&lock_);
  if (!cancelled) done_ = total_;
  LeaveCriticalSection(&lock_);
  if (cancelled) return kExitCancelled;
  if (out_of_memory) return kExitOutOfMemory;
  return failed ? kExitEntryFailed : kExitOk;
}

DWORD WINAPI ExtractJob::ThreadMain(void *self) {
  ExtractJob *job = static_cast<ExtractJob *>(self);
  const int code = job->Run();
  EnterCriticalSection(&job->lock_);
  job->finished_ = true;
  job->exit_code_ = code;
  LeaveCriticalSection(&job->lock_);
  PostMessageW(job->notify_, job->done_message_, 0, 0);
  return 0;
}

}  // namespace tovra::extractor
