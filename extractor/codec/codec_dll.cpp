// 7Z.DLL: our codec library. It reads a ZIP archive with the portable core
// and writes its entries below an output folder with the wide file API.
#include <windows.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "extractor/codec_api.h"
#include "extractor/zip/zip_reader.h"

using tovra::zip::Entry;
using tovra::zip::Status;

// The archive is mapped, not read: its pages come straight from the file
// cache, with no copy and no 8 MB allocation. The file stays open without
// write sharing, so nobody changes it under the view.
struct TzArchive {
  HANDLE file = INVALID_HANDLE_VALUE;
  const uint8_t *view = nullptr;
  tovra::zip::Archive zip;
  // The output folder made last, as given and as made (see Output): every
  // entry of a run goes below the same one.
  CRITICAL_SECTION lock;
  std::wstring out_dir, base;
  TzArchive() { InitializeCriticalSection(&lock); }
  ~TzArchive() {
    DeleteCriticalSection(&lock);
    if (view) UnmapViewOfFile(view);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
};

namespace {

int FromStatus(Status s) {
  switch (s) {
    case Status::kOk:
      return TZ_OK;
    case Status::kNotZip:
      return TZ_E_NOT_ZIP;
    case Status::kBadArchive:
      return TZ_E_BAD_ARCHIVE;
    case Status::kUnsupportedArchive:
      return TZ_E_UNSUPPORTED;
    case Status::kBadLocalHeader:
      return TZ_E_BAD_HEADER;
    case Status::kOverlap:
      return TZ_E_OVERLAP;
    case Status::kEncrypted:
      return TZ_E_ENCRYPTED;
    case Status::kUnsupportedMethod:
      return TZ_E_METHOD;
    case Status::kBadData:
      return TZ_E_BAD_DATA;
    case Status::kSizeMismatch:
      return TZ_E_SIZE;
    case Status::kCrcMismatch:
      return TZ_E_CRC;
    case Status::kBadName:
      return TZ_E_UNSAFE_NAME;
    case Status::kSinkStopped:
      return TZ_E_WRITE;
    case Status::kOutOfMemory:
      return TZ_E_NO_MEMORY;
  }
  return TZ_E_BAD_DATA;
}

// Names are CP936 unless the entry says UTF-8 (flag bit 11). We convert
// ourselves instead of trusting the system's ANSI code page, so the names
// come out right on any system. `strict` refuses bytes that do not decode.
bool DecodeName(const Entry &e, bool strict, std::wstring *out) {
  out->clear();
  if (e.name.empty()) return true;
  if (e.utf8() && strict) {
    std::u16string wide;
    if (!tovra::zip::Utf8ToUtf16(e.name, &wide)) return false;
    out->assign(wide.begin(), wide.end());
    return true;
  }
  const UINT cp = e.utf8() ? CP_UTF8 : 936;
  const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
  const int len = static_cast<int>(e.name.size());
  const int n = MultiByteToWideChar(cp, flags, e.name.data(), len, nullptr, 0);
  if (n <= 0) return false;
  out->resize(n);
  return MultiByteToWideChar(cp, flags, e.name.data(), len, &(*out)[0], n) == n;
}

bool IsFolder(const std::wstring &path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Creates every folder along `path` ("\\?\..." form). Steps that fail are
// skipped (the drive root, folders that exist); only the last one counts.
bool CreateFolderChain(const std::wstring &path) {
  for (size_t i = 4; i < path.size(); ++i) {
    if (path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
  CreateDirectoryW(path.c_str(), nullptr);
  return IsFolder(path);
}

// The output folder as an extended-length path ("\\?\C:\out" or
// "\\?\UNC\server\share\out") without a trailing backslash: Windows then takes
// the names we append literally and allows paths past MAX_PATH. The names are
// checked before they get here.
bool OutputBase(const wchar_t *out_dir, std::wstring *base) {
  const DWORD need = GetFullPathNameW(out_dir, 0, nullptr, nullptr);
  if (need == 0) return false;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(out_dir, need, &full[0], nullptr);
  if (got == 0 || got >= need) return false;
  full.resize(got);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  if (full.compare(0, 4, L"\\\\?\\") == 0) {
    *base = full;
  } else if (full.compare(0, 2, L"\\\\") == 0) {
    *base = L"\\\\?\\UNC\\" + full.substr(2);
  } else {
    *base = L"\\\\?\\" + full;
  }
  if (base->back() == L'\\') base->pop_back();  // "C:\" -> "\\?\C:"
  return true;
}

// The output folder's extended-length path, made with its parents. Made once
// per folder and archive: under Wine every step of the chain is a round trip
// to the server, for each of the entries.
bool Output(TzArchive *a, const wchar_t *out_dir, std::wstring *base) {
  EnterCriticalSection(&a->lock);
  bool ok = !a->base.empty() && a->out_dir == out_dir;
  if (!ok) {
    a->base.clear();
    ok = OutputBase(out_dir, base) && CreateFolderChain(*base);
    if (ok) {
      a->out_dir = out_dir;
      a->base = *base;
    }
  } else {
    *base = a->base;
  }
  LeaveCriticalSection(&a->lock);
  return ok;
}

void SetDosTime(HANDLE file, const Entry &e) {
  const tovra::zip::DosTime t = tovra::zip::SplitDosTime(e.dos_date, e.dos_time);
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  FILETIME local, utc;
  // DOS times are local; a date that does not exist leaves the time alone.
  if (SystemTimeToFileTime(&st, &local) && LocalFileTimeToFileTime(&local, &utc)) {
    SetFileTime(file, nullptr, nullptr, &utc);
  }
}

struct FileSink {
  HANDLE file;
  TzProgressFn progress;
  void *ctx;
  uint64_t done = 0;
  bool cancelled = false;
};

bool WriteToFile(void *ctx, const uint8_t *data, size_t size) {
  FileSink *s = static_cast<FileSink *>(ctx);
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(size > (1u << 30) ? (1u << 30) : size);
    DWORD wrote = 0;
    // A full disk can answer TRUE with a short count before the error.
    if (!WriteFile(s->file, data, piece, &wrote, nullptr) || wrote == 0) return false;
    data += wrote;
    size -= wrote;
    s->done += wrote;
  }
  if (s->progress && !s->progress(s->ctx, s->done)) {
    s->cancelled = true;
    return false;
  }
  return true;
}

HANDLE CreateForWriting(const std::wstring &path, bool overwrite) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && overwrite && GetLastError() == ERROR_ACCESS_DENIED) {
    // -y overwrites read-only files too, as the carried extractor did.
    const DWORD a = GetFileAttributesW(path.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) &&
        !(a & FILE_ATTRIBUTE_DIRECTORY) &&
        SetFileAttributesW(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY)) {
      h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                      nullptr);
    }
  }
  return h;
}

int ExtractEntry(TzArchive *a, uint32_t index, const wchar_t *out_dir, bool overwrite,
                 TzProgressFn progress, void *ctx) {
  const Entry &e = a->zip.entries()[index];
  // The name first: nothing of an entry with an unsafe name touches the disk.
  std::wstring name;
  if (!DecodeName(e, true, &name)) return TZ_E_UNSAFE_NAME;
  std::vector<std::u16string> parts;
  if (!tovra::zip::SplitSafePath(std::u16string(name.begin(), name.end()), &parts)) {
    return TZ_E_UNSAFE_NAME;
  }
  // Refuse what cannot be decoded before an existing file is truncated.
  if (e.problem != Status::kOk) return FromStatus(e.problem);
  if (e.encrypted()) return TZ_E_ENCRYPTED;
  if (e.method != 0 && e.method != 8) return TZ_E_METHOD;

  std::wstring path;
  if (!Output(a, out_dir, &path)) return TZ_E_WRITE;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i + 1 == parts.size() && !e.is_directory()) break;
    path += L'\\';
    path.append(parts[i].begin(), parts[i].end());
    if (!CreateDirectoryW(path.c_str(), nullptr) && !IsFolder(path)) return TZ_E_WRITE;
  }
  if (e.is_directory()) {
    return e.uncompressed_size == 0 ? TZ_OK : TZ_E_SIZE;
  }
  path += L'\\';
  path.append(parts.back().begin(), parts.back().end());
  const DWORD existing = GetFileAttributesW(path.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (existing & FILE_ATTRIBUTE_DIRECTORY) return TZ_E_WRITE;
    if (!overwrite) return TZ_E_EXISTS;
  }
  FileSink sink{CreateForWriting(path, overwrite), progress, ctx};
  if (sink.file == INVALID_HANDLE_VALUE) return TZ_E_WRITE;
  const Status s = a->zip.Extract(index, WriteToFile, &sink);
  int result = FromStatus(s);
  if (s == Status::kSinkStopped && sink.cancelled) result = TZ_E_CANCELLED;
  if (result == TZ_OK) SetDosTime(sink.file, e);
  if (!CloseHandle(sink.file) && result == TZ_OK) result = TZ_E_WRITE;
  // No half-written or unverified file stays behind.
  if (result != TZ_OK) DeleteFileW(path.c_str());
  return result;
}

int OpenArchive(const wchar_t *path, TzArchive **out) {
  HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return TZ_E_OPEN;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h, &size) || size.QuadPart > 0x7FFFFFFF) {
    CloseHandle(h);
    return size.QuadPart > 0x7FFFFFFF ? TZ_E_UNSUPPORTED : TZ_E_OPEN;
  }
  std::unique_ptr<TzArchive> a(new (std::nothrow) TzArchive);
  if (!a) {
    CloseHandle(h);
    return TZ_E_NO_MEMORY;
  }
  a->file = h;
  // An empty file cannot be mapped; it is no ZIP either.
  static const uint8_t kNothing = 0;
  const uint8_t *bytes = &kNothing;
  if (size.QuadPart > 0) {
    HANDLE mapping = CreateFileMappingW(h, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping) {
      a->view = static_cast<const uint8_t *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
      CloseHandle(mapping);  // the view keeps the mapping alive
    }
    bytes = a->view;
  }
  if (!bytes) return TZ_E_OPEN;
  const Status s = a->zip.Open(bytes, static_cast<size_t>(size.QuadPart));
  if (s != Status::kOk) return FromStatus(s);
  *out = a.release();
  return TZ_OK;
}

}  // namespace

// Built without exceptions (util/runtime/no_exceptions.cpp): nothing can throw
// across this boundary; a failed allocation ends the process with code 8.
extern "C" {

__declspec(dllexport) uint32_t __cdecl TzApiVersion(void) {
  return TZ_API_VERSION;
}

__declspec(dllexport) int __cdecl TzOpenArchive(const wchar_t *path, TzArchive **out) {
  if (!path || !out) return TZ_E_ARGUMENT;
  *out = nullptr;
  return OpenArchive(path, out);
}

__declspec(dllexport) uint32_t __cdecl TzEntryCount(const TzArchive *a) {
  return a ? static_cast<uint32_t>(a->zip.entries().size()) : 0;
}

__declspec(dllexport) uint64_t __cdecl TzTotalBytes(const TzArchive *a) {
  return a ? a->zip.total_uncompressed() : 0;
}

__declspec(dllexport) uint32_t
    __cdecl TzEntryName(const TzArchive *a, uint32_t index, wchar_t *buf, uint32_t cap) {
  if (!a || !buf || cap == 0 || index >= a->zip.entries().size()) return 0;
  std::wstring name;
  DecodeName(a->zip.entries()[index], false, &name);
  const uint32_t n = static_cast<uint32_t>(name.size() < cap ? name.size() : cap - 1);
  name.copy(buf, n);
  buf[n] = 0;
  return n;
}

// Size and kind without a name: the front end schedules big entries first
// and folders before the files in them.
__declspec(dllexport) int __cdecl TzEntryInfo(const TzArchive *a, uint32_t index, uint64_t *size,
                                              int *is_folder) {
  if (!a || !size || !is_folder || index >= a->zip.entries().size()) return TZ_E_ARGUMENT;
  const Entry &e = a->zip.entries()[index];
  *size = e.uncompressed_size;
  *is_folder = e.is_directory() ? 1 : 0;
  return TZ_OK;
}

// Safe on several threads for one archive: the core's Extract is const and
// each call keeps its own file, sink and inflate state.
__declspec(dllexport) int __cdecl TzExtractEntry(TzArchive *a, uint32_t index,
                                                 const wchar_t *out_dir, int overwrite,
                                                 TzProgressFn progress, void *ctx) {
  if (!a || !out_dir || index >= a->zip.entries().size()) return TZ_E_ARGUMENT;
  return ExtractEntry(a, index, out_dir, overwrite != 0, progress, ctx);
}

__declspec(dllexport) void __cdecl TzCloseArchive(TzArchive *a) {
  delete a;
}

}  // extern "C"
