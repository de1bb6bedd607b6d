#include "extractor/gui/extract_job.h"

#include <algorithm>
#include <new>

#include "util/system_win.h"

namespace tovra::extractor {
namespace {

// FindExport that notes the first export missing, for the message.
template <typename Fn>
bool Resolve(HMODULE m, const char *name, Fn *fn, std::wstring *missing) {
  if (FindExport(m, name, fn)) return true;
  if (missing->empty()) missing->assign(name, name + lstrlenA(name));
  return false;
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
  // Wine names a program started from \\server\share "UNC\server\share\..."
  // (its NT path without the "\??\" in front), which reads as a relative path.
  if (path.compare(0, 4, L"UNC\\") == 0) path.replace(0, 3, L"\\");
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Hashes of the name as Windows would compare it (lower case, empty and "."
// components dropped): the whole name into `own`, each folder along it into
// `parents`. `name` is lower-cased in place. A false match only costs the
// second thread. Lowered by kernel32, not user32: a short run loads no user32.
void PathHashes(wchar_t *name, std::vector<uint64_t> *own, std::vector<uint64_t> *parents) {
  const int length = lstrlenW(name);
  LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, name, length, name, length);
  uint64_t h = 14695981039346656037ull;
  bool any = false;
  const wchar_t *part = name;
  for (const wchar_t *p = name;; ++p) {
    if (*p == 0 || *p == L'/' || *p == L'\\') {
      if (p > part && !(p == part + 1 && *part == L'.')) {
        if (any) {
          parents->push_back(h);
          h = (h ^ L'\\') * 1099511628211ull;
        }
        for (const wchar_t *c = part; c < p; ++c) h = (h ^ *c) * 1099511628211ull;
        any = true;
      }
      part = p + 1;
      if (*p == 0) break;
    }
  }
  own->push_back(h);
}

// True when two file entries name the same file, or a file entry names a
// folder another entry needs. Run in entry order, the later entry wins or
// fails; run in parallel, the outcome would depend on timing, so such
// archives are extracted on one thread.
bool NamesCollide(std::vector<uint64_t> *files, std::vector<uint64_t> *folders) {
  std::sort(files->begin(), files->end());
  if (std::adjacent_find(files->begin(), files->end()) != files->end()) return true;
  std::sort(folders->begin(), folders->end());
  for (uint64_t f : *files) {
    if (std::binary_search(folders->begin(), folders->end(), f)) return true;
  }
  return false;
}

uint32_t WorkerCount() {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  return si.dwNumberOfProcessors >= 2 ? 2 : 1;
}

}  // namespace

// Only the full path from our own folder: loading "7z.dll" by bare name would
// search the current folder and PATH, where anyone could plant one. No flag:
// its imports (KnownDLLs only) follow the process's narrowed search
// (util/system_win.cpp). LOAD_WITH_ALTERED_SEARCH_PATH would add the DLL's
// folder to it, which Wine 8 refuses for a folder on a share.
// A crash of ours must never wait for an answer in a system box: the
// installer runs us hidden and unattended.
bool Codec::Load(std::wstring *error) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  const std::wstring folder = OwnFolder();
  const std::wstring path = folder + L"7z.dll";
  if (folder.empty() || !(module = LoadLibraryExW(path.c_str(), nullptr, 0))) {
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
  Resolve(module, "TzEntryInfo", &info, &missing);
  Resolve(module, "TzExtractEntry", &extract, &missing);
  Resolve(module, "TzCommit", &commit, &missing);
  Resolve(module, "TzRollback", &rollback, &missing);
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
    case TZ_E_IN_USE:
      return L"文件正在使用，无法替换";
    case TZ_E_OUTSIDE:
      return L"路径经过链接，指向输出文件夹之外";
    case TZ_E_READ:
      return L"读取压缩文件出错";
    default:
      return L"未知错误";
  }
}

ExtractJob::ExtractJob(const Codec &codec, const ExtractCommand &command)
    : codec_(codec), command_(command) {
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

void ExtractJob::Unread() {
  EnterCriticalSection(&lock_);
  messages_read_ = 0;
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

// Runs on a worker: pausing blocks here, between pieces of output, so every
// worker stops making progress while paused.
int __cdecl ExtractJob::OnProgress(void *slot, uint64_t entry_done) {
  Slot *s = static_cast<Slot *>(slot);
  ExtractJob *job = s->job;
  WaitForSingleObject(job->running_, INFINITE);
  EnterCriticalSection(&job->lock_);
  job->done_ += entry_done - s->reported;
  LeaveCriticalSection(&job->lock_);
  s->reported = entry_done;
  return job->cancel_ ? 0 : 1;
}

// Workers finish entries out of order; the messages still come out in entry
// order, each as soon as every entry before it has ended (`all`: also those
// after a gap left by a cancelled run).
void ExtractJob::ReleaseMessages(bool all) {
  for (size_t i = released_; i < ended_.size(); ++i) {
    if (!ended_[i]) {
      if (!all) break;
      continue;
    }
    if (i == released_) ++released_;
    if (!failures_[i].empty()) messages_.push_back(std::move(failures_[i]));
    failures_[i].clear();
  }
}

void ExtractJob::Finish(uint32_t index, int result, const wchar_t *name, uint64_t reported) {
  std::wstring text;
  if (result != TZ_OK && result != TZ_E_CANCELLED) {
    text = ResultText(result);
    text += L"：";
    text += name;
  }
  EnterCriticalSection(&lock_);
  // A failed entry still moves the bar by its whole size.
  if (result != TZ_E_CANCELLED && reported < sizes_[index]) done_ += sizes_[index] - reported;
  if (result == TZ_E_CANCELLED) {
    cancelled_ = true;
  } else if (result != TZ_OK) {
    failed_ = true;
    out_of_memory_ = out_of_memory_ || result == TZ_E_NO_MEMORY;
  }
  failures_[index] = std::move(text);
  ended_[index] = 1;
  ReleaseMessages(false);
  LeaveCriticalSection(&lock_);
}

// Takes the next entry of order_ until none is left or the run is cancelled.
void ExtractJob::Work(Slot *slot) {
  wchar_t name[1024];
  for (;;) {
    WaitForSingleObject(running_, INFINITE);
    if (cancel_) {
      EnterCriticalSection(&lock_);
      cancelled_ = true;
      LeaveCriticalSection(&lock_);
      return;
    }
    const LONG k = InterlockedIncrement(&next_) - 1;
    if (k < 0 || static_cast<size_t>(k) >= order_.size()) return;
    const uint32_t index = order_[k];
    codec_.name(archive_, index, name, sizeof name / sizeof name[0]);
    EnterCriticalSection(&lock_);
    current_ = name;
    LeaveCriticalSection(&lock_);
    slot->reported = 0;
    const int r = codec_.extract(archive_, index, out_dir_.c_str(), command_.overwrite ? 1 : 0,
                                 OnProgress, slot);
    Finish(index, r, name, slot->reported);
  }
}

DWORD WINAPI ExtractJob::HelperMain(void *slot) {
  Slot *s = static_cast<Slot *>(slot);
  s->job->Work(s);
  return 0;
}

// Folders first, on this thread, so no file waits for its folder; then the
// files, biggest first so the last one to start is a small one, on up to two
// threads. Archives whose names collide keep the plain entry order on one
// thread.
int ExtractJob::Run() {
  out_dir_ = command_.output_dir.empty() ? L"." : command_.output_dir;
  const int opened = codec_.open(command_.archive.c_str(), &archive_);
  if (opened != TZ_OK) {
    AddMessage(opened, command_.archive);
    return opened == TZ_E_NO_MEMORY ? kExitOutOfMemory : kExitEntryFailed;
  }
  const uint32_t count = codec_.count(archive_);
  sizes_.assign(count, 0);
  std::vector<uint32_t> folders, files;
  std::vector<uint64_t> file_keys, folder_keys;
  wchar_t name[1024];
  for (uint32_t i = 0; i < count; ++i) {
    int is_folder = 0;
    if (codec_.info(archive_, i, &sizes_[i], &is_folder) != TZ_OK) sizes_[i] = 0;
    (is_folder ? folders : files).push_back(i);
    codec_.name(archive_, i, name, sizeof name / sizeof name[0]);
    PathHashes(name, is_folder ? &folder_keys : &file_keys, &folder_keys);
  }
  EnterCriticalSection(&lock_);
  total_ = codec_.total(archive_);
  failures_.assign(count, std::wstring());
  ended_.assign(count, 0);
  LeaveCriticalSection(&lock_);

  Slot main_slot{this, 0};
  const uint32_t workers = WorkerCount();
  if (workers < 2 || files.size() < 2 || NamesCollide(&file_keys, &folder_keys)) {
    order_.resize(count);
    for (uint32_t i = 0; i < count; ++i) order_[i] = i;
    Work(&main_slot);
  } else {
    order_ = std::move(folders);
    Work(&main_slot);
    std::sort(files.begin(), files.end(), [this](uint32_t a, uint32_t b) {
      return sizes_[a] != sizes_[b] ? sizes_[a] > sizes_[b] : a < b;
    });
    order_ = std::move(files);
    next_ = 0;
    // CreateThread orders the writes above before the helper starts.
    Slot helper_slot{this, 0};
    HANDLE helper = CreateThread(nullptr, 0, HelperMain, &helper_slot, 0, nullptr);
    Work(&main_slot);  // a helper that failed to start leaves all to this one
    if (helper) {
      WaitForSingleObject(helper, INFINITE);
      CloseHandle(helper);
    }
  }
  Settle();
  codec_.close(archive_);
  archive_ = nullptr;
  EnterCriticalSection(&lock_);
  if (!cancelled_) done_ = total_;
  const int code = cancelled_       ? kExitCancelled
                   : out_of_memory_ ? kExitOutOfMemory
                   : failed_        ? kExitEntryFailed
                                    : kExitOk;
  LeaveCriticalSection(&lock_);
  return code;
}

// All or nothing: the staged entries go in place only when every entry went
// well; otherwise, and when putting them in place fails, the folder keeps
// what it held before and the run fails.
void ExtractJob::Settle() {
  EnterCriticalSection(&lock_);
  ReleaseMessages(true);
  const bool clean = !failed_ && !cancelled_;
  LeaveCriticalSection(&lock_);
  if (!clean) {
    codec_.rollback(archive_);
    return;
  }
  uint32_t index = 0;
  const int r = codec_.commit(archive_, &index);
  if (r == TZ_OK) return;
  wchar_t name[1024];
  codec_.name(archive_, index, name, sizeof name / sizeof name[0]);
  AddMessage(r, name);
  EnterCriticalSection(&lock_);
  failed_ = true;
  LeaveCriticalSection(&lock_);
}

DWORD WINAPI ExtractJob::ThreadMain(void *self) {
  ExtractJob *job = static_cast<ExtractJob *>(self);
  const int code = job->Run();
  EnterCriticalSection(&job->lock_);
  job->finished_ = true;
  job->exit_code_ = code;
  LeaveCriticalSection(&job->lock_);
  return 0;
}

}  // namespace tovra::extractor
