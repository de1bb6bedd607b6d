// 7Z.DLL: our codec library. It reads a ZIP archive with the portable core
// and writes its entries below an output folder with the wide file API.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "extractor/codec_api.h"
#include "extractor/zip/zip_reader.h"
#include "util/win_names.h"

using tovra::zip::Entry;
using tovra::zip::Status;

// What lies at a path: nothing, a file of its own, or a link (a reparse
// point on Windows; under Wine a Unix symlink, which opens as its target and
// so shows a real path other than its folder's plus its own name).
enum class Found { kNothing, kFile, kLink, kOther };

// A file this run has written under its temporary name, waiting to be put
// in place by TzCommit. Both files stay open until then: they are renamed
// through these handles, and the old one, held with write access, cannot be
// started as a program in the meantime.
struct Staged {
  uint32_t index;
  std::wstring target, key;  // key: the target upper-cased, as Windows compares names
  HANDLE file;               // the new content, under ".~tovra-new"
  HANDLE old;                // the existing file when `existing` is kFile
  Found existing;            // kNothing, kFile or kLink (replaced by the rename)
  bool moved_old = false, placed = false;
  bool let_go = false;  // past kHeldMax: both handles closed after staging, reopened to commit
  bool direct = false;  // written under the target's own name, in a folder this run made
};

// How many staged entries keep their handles until the commit. Under Wine
// every open handle is a descriptor of the wineserver, whose limit (often
// 1,024 to 20,000) a product of that many files would reach and fail on.
// Past it an entry's handles are closed once it is staged and reopened, one
// at a time, as it is put in place: the new file by name, without sharing,
// and checked to be a file of the entry's size; the old one as at staging,
// so a program started from it since fails the commit and puts all back.
constexpr size_t kHeldMax = 256;

// A folder below (or at) the output folder that this run has checked, held
// open without delete sharing so that nobody can swap it for a link after
// the check.
struct HeldFolder {
  std::wstring key, final_path;
  HANDLE handle;
  bool leftovers;  // holds names with our suffixes, from a run cut short
  bool listed;     // what it held when first held is in TzArchive::present
  bool made;       // by this run
};

// Keys (upper-cased paths) that may answer "maybe" for a key never added,
// never "no" for one that was: one bit of 2^20 per key's hash. A set of
// strings would cost the codec library several KB of code.
class KeyFilter {
 public:
  void Add(const std::wstring &key) {
    const uint32_t bit = Bit(key);
    bits_[bit >> 5] |= 1u << (bit & 31);
  }
  bool MayHold(const std::wstring &key) const {
    const uint32_t bit = Bit(key);
    return (bits_[bit >> 5] >> (bit & 31)) & 1;
  }
  void Clear() { std::fill(bits_.begin(), bits_.end(), 0u); }

 private:
  static uint32_t Bit(const std::wstring &key) {
    uint32_t h = 2166136261u;  // FNV-1a
    for (const wchar_t c : key) h = (h ^ static_cast<uint32_t>(c)) * 16777619u;
    return h >> 12;
  }
  std::vector<uint32_t> bits_ = std::vector<uint32_t>(1 << 15);
};

// The archive is read with ReadFile as needed (the directory when opened,
// an entry's data in bounded pieces while it is extracted), never mapped and
// never whole: a 32-bit extractor would run out of address space on a big
// archive, and a mapped view turns a read error (a network folder that drops
// away, a bad sector) into an in-page exception on whichever thread touches
// the page, where MinGW has no __try to catch it; ReadFile answers with an
// error instead. Each read names its offset, and a thread reads through a
// handle no other thread is using at the time: reads through one
// synchronous handle wait for each other even so.
struct TzArchive {
  std::wstring path;  // full path, for the extra handles
  CRITICAL_SECTION readers_lock;
  std::vector<HANDLE> readers;  // idle handles; the first one opened stays open throughout
  tovra::zip::Archive zip;
  CRITICAL_SECTION lock;  // guards everything below
  // The output folder made last, as given and as made (see Output): every
  // entry of a run goes below the same one.
  std::wstring out_dir, base;
  std::vector<HeldFolder> folders;    // the output folder first
  std::vector<std::wstring> created;  // folders this run made, parents first
  std::vector<Staged> staged;
  KeyFilter present;      // the names held folders held when listed
  KeyFilter staged_keys;  // every key staged since the last commit or rollback
  size_t held = 0;        // staged entries that keep their handles
  bool committed = false;
  TzArchive() {
    InitializeCriticalSection(&lock);
    InitializeCriticalSection(&readers_lock);
  }
  ~TzArchive() {
    for (const HeldFolder &f : folders) CloseHandle(f.handle);
    for (HANDLE h : readers) CloseHandle(h);
    DeleteCriticalSection(&readers_lock);
    DeleteCriticalSection(&lock);
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
    case Status::kReadError:
      return TZ_E_READ;
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

// Suffixes of the files a run keeps beside a target while it works: the new
// content until it is put in place, and the old file while it is replaced.
// Fixed, so that the next run recognises what an interrupted one left.
constexpr wchar_t kNewSuffix[] = L".~tovra-new";
constexpr wchar_t kOldSuffix[] = L".~tovra-old";

// A scanner (antivirus) opens each new file for a moment, sharing only
// reading; our own creates, renames and deletes wait that out, for this long
// at most per operation, never for ever.
constexpr DWORD kRetryMs = 3000;

// Runs op until it succeeds, fails for another reason than a sharing or lock
// violation, or kRetryMs have passed. The last error stays op's.
template <typename Op>
bool Retry(Op op) {
  DWORD waited = 0, pause = 10;
  for (;;) {
    if (op()) return true;
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || waited >= kRetryMs) {
      SetLastError(error);
      return false;
    }
    Sleep(pause);
    waited += pause;
    pause = pause < 80 ? pause * 2 : 100;
  }
}

int FailureOf(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? TZ_E_IN_USE
                                                                           : TZ_E_WRITE;
}

bool Move(const std::wstring &from, const std::wstring &to, DWORD flags) {
  return Retry([&] { return MoveFileExW(from.c_str(), to.c_str(), flags) != 0; });
}

// Removes a file of ours; a read-only one (an old file replaced with -y) too.
bool Remove(const std::wstring &path) {
  if (Retry([&] { return DeleteFileW(path.c_str()) != 0; })) return true;
  if (GetLastError() != ERROR_ACCESS_DENIED) return false;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return Retry([&] { return DeleteFileW(path.c_str()) != 0; });
}

// Upper-cased as Windows (and Wine) compare names without case: two names
// with one key are one file.
std::wstring Key(const std::wstring &path) {
  std::wstring key = path;
  const int n = static_cast<int>(path.size());
  if (n > 0) LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, path.data(), n, &key[0], n);
  return key;
}

// Where the handle's object really lies, links resolved ("\\?\C:\..."): Wine
// reports a Unix symlink's target here, Windows the reparse point itself.
std::wstring FinalPath(HANDLE h) {
  std::wstring path(MAX_PATH, L'\0');
  for (int tries = 0; tries < 3; ++tries) {
    const DWORD n = GetFinalPathNameByHandleW(h, &path[0], static_cast<DWORD>(path.size()), 0);
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      while (path.size() > 7 && path.back() == L'\\') path.pop_back();
      return path;
    }
    path.resize(n + 1);
  }
  return std::wstring();
}

// The attributes of an open file. Not GetFileInformationByHandle: under Wine
// it also asks for the volume's serial number, some 0.35 ms a call.
bool Attributes(HANDLE h, DWORD *attributes) {
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) return false;
  *attributes = basic.FileAttributes;
  return true;
}

// True when `child` names an entry directly inside the folder `parent`.
bool DirectlyBelow(const std::wstring &child, const std::wstring &parent) {
  const size_t n = parent.size();
  return n > 0 && child.size() > n + 1 && child[n] == L'\\' &&
         child.find(L'\\', n + 1) == std::wstring::npos &&
         CompareStringOrdinal(child.data(), static_cast<int>(n), parent.data(), static_cast<int>(n),
                              TRUE) == CSTR_EQUAL;
}

// Opens a folder as itself (a link is not followed on Windows), without
// delete sharing: while we hold it, it cannot be renamed, removed or
// replaced by a link.
HANDLE HoldFolder(const std::wstring &path) {
  HANDLE h = INVALID_HANDLE_VALUE;
  Retry([&] {
    h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                    nullptr);
    return h != INVALID_HANDLE_VALUE;
  });
  return h;
}

// Notes the names an existing folder holds, once, when it is first held: an
// entry whose name is not among them needs no look for what is there, and
// whether any carries our suffixes tells if a run was cut short in it. Under
// Wine each look for a name that is not there reads the whole folder (names
// compare without case), three per entry made a product of many files in one
// folder quadratic. A name that turns up later is caught by the commit, whose
// rename onto a name it found free replaces nothing.
void ListFolder(TzArchive *a, HeldFolder *f, const std::wstring &path) {
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &found,
                                    FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  f->listed = h != INVALID_HANDLE_VALUE || GetLastError() == ERROR_FILE_NOT_FOUND;
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring key = Key(path + L'\\' + found.cFileName);
    a->present.Add(key);
    f->leftovers = f->leftovers || key.find(L".~TOVRA-", path.size()) != std::wstring::npos;
  } while (FindNextFileW(h, &found));
  f->listed = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(h);
}

struct ChainRun {
  TzArchive *archive;
  const std::wstring *path;
};

// A step of the output folder's chain. Steps that fail are passed over (the
// drive root, folders that exist); only the last one counts, checked by
// CreateFolderChain. A share is never made.
bool MakeChainStep(void *context, size_t length, ChainStep step) {
  const ChainRun *run = static_cast<const ChainRun *>(context);
  if (step == ChainStep::kShare) return true;
  const std::wstring folder = run->path->substr(0, length);
  if (CreateDirectoryW(folder.c_str(), nullptr)) run->archive->created.push_back(folder);
  return true;
}

// Creates every folder along `path` ("\\?\..." form), noting those it made.
bool CreateFolderChain(TzArchive *a, const std::wstring &path) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 paths");
  ChainRun run = {a, &path};
  WalkFolderChain(std::u16string_view(reinterpret_cast<const char16_t *>(path.data()), path.size()),
                  false, MakeChainStep, &run);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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

void ReleaseFolders(TzArchive *a) {
  for (const HeldFolder &f : a->folders) CloseHandle(f.handle);
  a->folders.clear();
  a->present.Clear();
  a->base.clear();
}

// The output folder's extended-length path, made with its parents and held.
// Made once per folder and archive: under Wine every step of the chain is a
// round trip to the server, for each of the entries. The folder itself may
// lie behind links; only what is below it is checked. Under a->lock.
bool Output(TzArchive *a, const wchar_t *out_dir, std::wstring *base) {
  if (!a->base.empty() && a->out_dir == out_dir) {
    *base = a->base;
    return true;
  }
  ReleaseFolders(a);
  const size_t made_before = a->created.size();
  if (!OutputBase(out_dir, base) || !CreateFolderChain(a, *base)) return false;
  const bool made = a->created.size() > made_before && a->created.back() == *base;
  const HANDLE h = HoldFolder(*base);
  if (h == INVALID_HANDLE_VALUE) return false;
  const std::wstring final_path = FinalPath(h);
  if (final_path.empty()) {
    CloseHandle(h);
    return false;
  }
  a->folders.push_back(HeldFolder{Key(*base), final_path, h, false, made, made});
  if (!made) ListFolder(a, &a->folders.back(), *base);
  a->out_dir = out_dir;
  a->base = *base;
  return true;
}

// Makes and checks the first `count` components of `parts` below the output
// folder; `path` gets the last one's extended-length path. A folder that is a
// link, or whose real place is not directly inside its parent's (a Unix
// symlink under Wine, which shows no reparse point on the handle), is
// TZ_E_OUTSIDE. Checked folders stay held until the archive is closed or
// rolled back. `last` is the last one's record. Under a->lock.
int Folders(TzArchive *a, const wchar_t *out_dir, const std::vector<std::u16string> &parts,
            size_t count, std::wstring *path, HeldFolder *last) {
  if (!Output(a, out_dir, path)) return TZ_E_WRITE;
  size_t parent = 0;
  for (size_t i = 0; i < count; ++i) {
    *path += L'\\';
    path->append(parts[i].begin(), parts[i].end());
    const std::wstring key = Key(*path);
    size_t known = 0;
    while (known < a->folders.size() && a->folders[known].key != key) ++known;
    if (known < a->folders.size()) {
      parent = known;
      continue;
    }
    const bool made = CreateDirectoryW(path->c_str(), nullptr) != 0;
    if (made) {
      a->created.push_back(*path);
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      return TZ_E_WRITE;
    }
    const HANDLE h = HoldFolder(*path);
    if (h == INVALID_HANDLE_VALUE) return TZ_E_WRITE;
    DWORD attributes = 0;
    const DWORD by_name = GetFileAttributesW(path->c_str());
    int result = TZ_OK;
    if (!Attributes(h, &attributes) || by_name == INVALID_FILE_ATTRIBUTES) {
      result = TZ_E_WRITE;
    } else if ((attributes | by_name) & FILE_ATTRIBUTE_REPARSE_POINT) {
      result = TZ_E_OUTSIDE;
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      result = TZ_E_WRITE;
    }
    const std::wstring final_path = result == TZ_OK ? FinalPath(h) : std::wstring();
    if (result == TZ_OK && !DirectlyBelow(final_path, a->folders[parent].final_path)) {
      result = TZ_E_OUTSIDE;
    }
    if (result != TZ_OK) {
      CloseHandle(h);
      return result;
    }
    a->folders.push_back(HeldFolder{key, final_path, h, false, made, made});
    if (!made) ListFolder(a, &a->folders.back(), *path);
    parent = a->folders.size() - 1;
  }
  *last = a->folders[parent];
  return TZ_OK;
}

Found Classify(HANDLE h, const std::wstring &path, const std::wstring &folder, DWORD *attributes) {
  if (!Attributes(h, attributes)) return Found::kOther;
  if (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Found::kLink;
  if (*attributes & FILE_ATTRIBUTE_DIRECTORY) return Found::kOther;
  const std::wstring real = FinalPath(h);
  const size_t leaf = path.find_last_of(L'\\') + 1;
  return DirectlyBelow(real, folder) &&
                 CompareStringOrdinal(real.c_str() + folder.size() + 1, -1, path.c_str() + leaf, -1,
                                      TRUE) == CSTR_EQUAL
             ? Found::kFile
             : Found::kLink;
}

constexpr DWORD kKeep = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

HANDLE OpenAsItself(const std::wstring &path, DWORD access) {
  HANDLE h = INVALID_HANDLE_VALUE;
  Retry([&] {
    h = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return h != INVALID_HANDLE_VALUE;
  });
  return h;
}

bool NotFound(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

Found Inspect(const std::wstring &path, const std::wstring &folder) {
  const HANDLE h = OpenAsItself(path, FILE_READ_ATTRIBUTES);
  if (h == INVALID_HANDLE_VALUE) return NotFound(GetLastError()) ? Found::kNothing : Found::kOther;
  DWORD attributes = 0;
  const Found found = Classify(h, path, folder, &attributes);
  CloseHandle(h);
  return found;
}

// Deletes a file that may be a link, never what the link points at. Under
// Wine a delete or a rename of a Unix symlink acts on its target; a rename
// onto the link replaces the link itself. So a link is first replaced with an
// empty file of ours.
bool RemoveFile(const std::wstring &path, const std::wstring &folder) {
  const HANDLE h = OpenAsItself(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  if (h == INVALID_HANDLE_VALUE) return NotFound(GetLastError());
  DWORD attributes = 0;
  const Found found = Classify(h, path, folder, &attributes);
  bool gone = false;
  if (found == Found::kFile) {
    FILE_DISPOSITION_INFO dispose = {TRUE};
    gone = SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose);
    if (!gone && (attributes & FILE_ATTRIBUTE_READONLY)) {
      FILE_BASIC_INFO basic = {};
      basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      gone = SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) &&
             SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose);
    }
  }
  CloseHandle(h);
  if (found != Found::kLink) return gone;
  const std::wstring mine = path + kNewSuffix;
  HANDLE empty = CreateFileW(mine.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (empty == INVALID_HANDLE_VALUE) return false;
  CloseHandle(empty);
  if (!Move(mine, path, MOVEFILE_REPLACE_EXISTING)) {
    Remove(mine);
    return false;
  }
  return Remove(path);
}

// Leftovers of a run that ended during its replacements (power failure):
// an old file set aside comes back when its target is missing and goes
// otherwise; a temporary goes. A link is never moved, only removed.
void Recover(const std::wstring &target, const std::wstring &folder) {
  const std::wstring old = target + kOldSuffix;
  const Found found = Inspect(old, folder);
  if (found == Found::kFile && Inspect(target, folder) == Found::kNothing) {
    Move(old, target, 0);
  } else if (found != Found::kNothing) {
    RemoveFile(old, folder);
  }
  RemoveFile(target + kNewSuffix, folder);
}

// Renames an open file; `to` is an extended-length path.
bool RenameOpen(HANDLE h, const std::wstring &to, bool replace) {
  const size_t bytes = to.size() * sizeof(wchar_t);
  std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  FILE_RENAME_INFO *info = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
  info->ReplaceIfExists = replace;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(bytes);
  memcpy(info->FileName, to.c_str(), bytes);
  return Retry([&] {
    return SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) !=
           0;
  });
}

// Deletes an open file of ours (opened with DELETE and FILE_WRITE_ATTRIBUTES)
// when its handle closes; a read-only one too.
bool DeleteOpen(HANDLE h) {
  FILE_DISPOSITION_INFO dispose = {TRUE};
  if (SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose)) return true;
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) &&
         SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose);
}

// Whether the existing target can be replaced later, and if so holds it: a
// file in use (a running program's, which refuses write access; one held
// without sharing) cannot. A link at the target's name is replaced by the
// rename itself and not held: moved aside, Wine would move what it points at.
int HoldExisting(const std::wstring &target, const std::wstring &folder, bool overwrite,
                 Found *found, HANDLE *old) {
  *found = Found::kNothing;
  *old = INVALID_HANDLE_VALUE;
  HANDLE h = OpenAsItself(target, GENERIC_WRITE | kKeep);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (NotFound(error)) return TZ_OK;
    if (error != ERROR_ACCESS_DENIED) return FailureOf(error);
    // A folder, a link to one, a file we may not write, or a read-only
    // file, which -y replaces as the carried extractor did.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return TZ_E_WRITE;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      *found = Found::kLink;
      return overwrite ? TZ_OK : TZ_E_EXISTS;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) || !(attributes & FILE_ATTRIBUTE_READONLY)) {
      return TZ_E_WRITE;
    }
    h = OpenAsItself(target, kKeep);
    if (h == INVALID_HANDLE_VALUE) return FailureOf(GetLastError());
  }
  DWORD attributes = 0;
  *found = Classify(h, target, folder, &attributes);
  if (*found == Found::kFile && overwrite) {
    *old = h;
    return TZ_OK;
  }
  CloseHandle(h);
  if (!overwrite) return TZ_E_EXISTS;
  return *found == Found::kLink ? TZ_OK : TZ_E_WRITE;
}

// Closes what a staged entry holds; the file it wrote goes.
void Release(Staged *s) {
  if (s->file != INVALID_HANDLE_VALUE) {
    DeleteOpen(s->file);
    CloseHandle(s->file);
  } else if (s->let_go) {
    Remove(s->direct ? s->target : s->target + kNewSuffix);  // a scanner's look is waited out
  }
  if (s->old != INVALID_HANDLE_VALUE) CloseHandle(s->old);
  s->file = s->old = INVALID_HANDLE_VALUE;
}

// Removes every temporary of the run and the folders it made that are empty
// (a folder of ours that holds something else is left). Under a->lock.
void Rollback(TzArchive *a) {
  for (Staged &s : a->staged) Release(&s);
  a->staged.clear();
  a->staged_keys.Clear();
  a->held = 0;
  ReleaseFolders(a);  // held folders cannot be removed
  for (size_t i = a->created.size(); i-- > 0;) RemoveDirectoryW(a->created[i].c_str());
  a->created.clear();
}

// A let-go entry's temporary, reopened without sharing: the file this run
// wrote there, as far as its kind and size tell, or INVALID_HANDLE_VALUE.
HANDLE OpenStaged(const std::wstring &temp, uint64_t size) {
  HANDLE h = INVALID_HANDLE_VALUE;
  Retry([&] {
    h = CreateFileW(temp.c_str(), GENERIC_WRITE | kKeep, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return h != INVALID_HANDLE_VALUE;
  });
  BY_HANDLE_FILE_INFORMATION info;
  if (h != INVALID_HANDLE_VALUE &&
      (!GetFileInformationByHandle(h, &info) ||
       (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
       (static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow) != size ||
       info.nNumberOfLinks != 1)) {
    CloseHandle(h);
    SetLastError(ERROR_FILE_INVALID);
    h = INVALID_HANDLE_VALUE;
  }
  return h;
}

// Closes a let-go entry's handles once it is in place.
void LetGo(Staged *s) {
  if (s->file != INVALID_HANDLE_VALUE) CloseHandle(s->file);
  if (s->old != INVALID_HANDLE_VALUE) CloseHandle(s->old);
  s->file = s->old = INVALID_HANDLE_VALUE;
}

// Renames a file back, through its handle while it has one, else by name.
void PutBack(HANDLE h, const std::wstring &from, const std::wstring &to) {
  if (h != INVALID_HANDLE_VALUE) {
    RenameOpen(h, to, false);
  } else {
    MoveFileExW(from.c_str(), to.c_str(), 0);
  }
}

// Puts the staged files in place, in entry order: each old file is renamed
// aside (".~tovra-old"), the new one renamed in; once all are in, the old
// ones are removed. A failure on the way puts every replaced file back and
// rolls back: the folder then holds the old files exactly as before (a link
// that stood at a target's name is gone: it is replaced, never moved).
// What a power failure during the replacements leaves: the files before the
// one being replaced are new, those after it old, each whole under its own
// name; at most one target is missing, its old file still beside it under
// ".~tovra-old", and the remaining new files lie under ".~tovra-new". The next
// run (Recover, for each entry it extracts) brings a missing target's old file
// back, removes the other leftovers, and then replaces the whole set again.
// Entries written directly in folders this run made are in place already.
int Commit(TzArchive *a, uint32_t *failed_index) {
  std::vector<Staged> &staged = a->staged;
  std::sort(staged.begin(), staged.end(),
            [](const Staged &x, const Staged &y) { return x.index < y.index; });
  size_t at = 0;
  int result = TZ_OK;
  for (; at < staged.size(); ++at) {
    Staged &s = staged[at];
    if (s.direct) continue;
    if (s.let_go) {
      if (s.existing == Found::kFile) s.old = OpenAsItself(s.target, GENERIC_WRITE | kKeep);
      s.file = OpenStaged(s.target + kNewSuffix, a->zip.entries()[s.index].uncompressed_size);
    }
    if (s.existing == Found::kFile) {
      if (s.old == INVALID_HANDLE_VALUE || !RenameOpen(s.old, s.target + kOldSuffix, true)) {
        result = FailureOf(GetLastError());
        break;
      }
      s.moved_old = true;
    }
    if (s.file == INVALID_HANDLE_VALUE ||
        !RenameOpen(s.file, s.target, s.existing == Found::kLink)) {
      result = FailureOf(GetLastError());
      break;
    }
    s.placed = true;
    if (s.let_go) LetGo(&s);
  }
  if (result != TZ_OK) {
    *failed_index = staged[at].index;
    for (size_t i = at + 1; i-- > 0;) {
      const Staged &s = staged[i];
      if (s.placed) PutBack(s.file, s.target, s.target + kNewSuffix);
      if (s.moved_old) PutBack(s.old, s.target + kOldSuffix, s.target);
    }
    Rollback(a);
    return result;
  }
  // An old file that cannot go now (a running program's) is removed by the
  // next run.
  for (Staged &s : staged) {
    if (s.file != INVALID_HANDLE_VALUE) CloseHandle(s.file);
    if (s.moved_old && s.old == INVALID_HANDLE_VALUE) DeleteFileW((s.target + kOldSuffix).c_str());
    if (s.moved_old && s.old != INVALID_HANDLE_VALUE) DeleteOpen(s.old);
    if (s.old != INVALID_HANDLE_VALUE) CloseHandle(s.old);
  }
  staged.clear();
  a->staged_keys.Clear();
  a->held = 0;
  a->committed = true;
  return TZ_OK;
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

// Stages entry `index`: its folders are made and checked, the existing
// target is checked, and the content is written and verified under the
// target's name plus ".~tovra-new". Nothing in place changes before Commit.
int StageEntry(TzArchive *a, uint32_t index, const wchar_t *out_dir, bool overwrite,
               TzProgressFn progress, void *ctx) {
  const Entry &e = a->zip.entries()[index];
  // The name first: nothing of an entry with an unsafe name touches the disk.
  std::wstring name;
  if (!DecodeName(e, true, &name)) return TZ_E_UNSAFE_NAME;
  std::vector<std::u16string> parts;
  if (!tovra::zip::SplitSafePath(std::u16string(name.begin(), name.end()), &parts)) {
    return TZ_E_UNSAFE_NAME;
  }
  // Refuse what cannot be decoded before anything is made.
  if (e.problem != Status::kOk) return FromStatus(e.problem);
  if (e.encrypted()) return TZ_E_ENCRYPTED;
  if (e.method != 0 && e.method != 8) return TZ_E_METHOD;

  std::wstring path;
  HeldFolder in;
  EnterCriticalSection(&a->lock);
  const int made =
      Folders(a, out_dir, parts, e.is_directory() ? parts.size() : parts.size() - 1, &path, &in);
  LeaveCriticalSection(&a->lock);
  if (made != TZ_OK) return made;
  if (e.is_directory()) {
    return e.uncompressed_size == 0 ? TZ_OK : TZ_E_SIZE;
  }
  path += L'\\';
  path.append(parts.back().begin(), parts.back().end());
  Staged staged{index,          path, Key(path), INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE,
                Found::kNothing};
  // Two entries for one file (run in entry order on one thread): the later
  // one's content wins, the earlier one's temporary goes. Looked for only
  // when the key was staged before: a scan per entry is quadratic.
  EnterCriticalSection(&a->lock);
  const bool seen = a->staged_keys.MayHold(staged.key);
  a->staged_keys.Add(staged.key);
  // Leftovers may be put back under the entry's name before it is staged.
  const bool absent = in.listed && !in.leftovers && !a->present.MayHold(staged.key);
  for (size_t i = seen ? a->staged.size() : 0; i-- > 0;) {
    if (a->staged[i].key != staged.key) continue;
    if (!a->staged[i].let_go) --a->held;
    Release(&a->staged[i]);
    a->staged.erase(a->staged.begin() + i);
  }
  LeaveCriticalSection(&a->lock);
  // In a folder this run made, the entry is written under its own name: no
  // one's file can be there to replace, a failure removes it with the folder,
  // and whoever may write in the folder now may write there afterwards too,
  // so the commit has nothing to check or rename. Under Wine each new name
  // costs a read of the whole folder, and the temporary's create and rename
  // made it three per entry. A name that turned up meanwhile (CREATE_NEW
  // fails on it, a link included) takes the usual way below. What a power
  // failure or a kill leaves in such a folder: whole files and those being
  // written, under their own names, which the next run replaces as any.
  FileSink sink{INVALID_HANDLE_VALUE, progress, ctx};
  const auto create = [&](const std::wstring &name) {
    Retry([&] {
      sink.file = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE | FILE_WRITE_ATTRIBUTES, 0,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      return sink.file != INVALID_HANDLE_VALUE;
    });
  };
  if (in.made) create(path);
  staged.direct = sink.file != INVALID_HANDLE_VALUE;
  if (!staged.direct) {
    if (in.leftovers) Recover(path, in.final_path);
    const int held =
        absent ? TZ_OK
               : HoldExisting(path, in.final_path, overwrite, &staged.existing, &staged.old);
    if (held != TZ_OK) return held;
    // CREATE_NEW: a link planted at the temporary name is not followed.
    create(path + kNewSuffix);
  }
  staged.file = sink.file;
  if (sink.file == INVALID_HANDLE_VALUE) {
    const int failed = FailureOf(GetLastError());
    Release(&staged);
    return failed;
  }
  const Status s = a->zip.Extract(index, WriteToFile, &sink);
  int result = FromStatus(s);
  if (s == Status::kSinkStopped && sink.cancelled) result = TZ_E_CANCELLED;
  // No half-written or unverified file stays behind.
  if (result != TZ_OK) {
    Release(&staged);
    return result;
  }
  SetDosTime(sink.file, e);
  EnterCriticalSection(&a->lock);
  if (a->held < kHeldMax) {
    ++a->held;
  } else {
    staged.let_go = true;
    LetGo(&staged);
  }
  a->staged.push_back(std::move(staged));
  LeaveCriticalSection(&a->lock);
  return TZ_OK;
}

// The archive as the installer leaves it: read-only, shared for reading
// only, so nobody changes it while it is held.
HANDLE OpenForReading(const wchar_t *path) {
  HANDLE h = INVALID_HANDLE_VALUE;
  Retry([&] {
    h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return h != INVALID_HANDLE_VALUE;
  });
  return h;
}

// The core's reads: through an idle handle of the archive, or a new one when
// all are busy on other threads.
bool ReadAt(void *ctx, uint64_t offset, uint8_t *buffer, size_t size) {
  TzArchive *a = static_cast<TzArchive *>(ctx);
  HANDLE h = INVALID_HANDLE_VALUE;
  EnterCriticalSection(&a->readers_lock);
  if (!a->readers.empty()) {
    h = a->readers.back();
    a->readers.pop_back();
  }
  LeaveCriticalSection(&a->readers_lock);
  if (h == INVALID_HANDLE_VALUE) h = OpenForReading(a->path.c_str());
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && size > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD piece = static_cast<DWORD>(size > (1u << 30) ? (1u << 30) : size);
    DWORD got = 0;
    ok = ReadFile(h, buffer, piece, &got, &at) && got > 0;
    buffer += got;
    offset += got;
    size -= got;
  }
  EnterCriticalSection(&a->readers_lock);
  a->readers.push_back(h);
  LeaveCriticalSection(&a->readers_lock);
  return ok;
}

int OpenArchive(const wchar_t *path, TzArchive **out) {
  std::unique_ptr<TzArchive> a(new (std::nothrow) TzArchive);
  if (!a) return TZ_E_NO_MEMORY;
  const DWORD need = GetFullPathNameW(path, 0, nullptr, nullptr);
  if (need == 0) return TZ_E_OPEN;
  a->path.resize(need);
  const DWORD got = GetFullPathNameW(path, need, &a->path[0], nullptr);
  if (got == 0 || got >= need) return TZ_E_OPEN;
  a->path.resize(got);
  const HANDLE h = OpenForReading(a->path.c_str());
  if (h == INVALID_HANDLE_VALUE) return TZ_E_OPEN;
  a->readers.push_back(h);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h, &size)) return TZ_E_OPEN;
  const Status s = a->zip.Open(ReadAt, a.get(), static_cast<uint64_t>(size.QuadPart));
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
  return StageEntry(a, index, out_dir, overwrite != 0, progress, ctx);
}

// Puts every staged entry in place, or none: on failure `failed_index` names
// the entry whose replacement failed and the folder is as it was.
__declspec(dllexport) int __cdecl TzCommit(TzArchive *a, uint32_t *failed_index) {
  if (!a || !failed_index) return TZ_E_ARGUMENT;
  EnterCriticalSection(&a->lock);
  const int result = Commit(a, failed_index);
  LeaveCriticalSection(&a->lock);
  return result;
}

__declspec(dllexport) void __cdecl TzRollback(TzArchive *a) {
  if (!a) return;
  EnterCriticalSection(&a->lock);
  if (!a->committed) Rollback(a);
  LeaveCriticalSection(&a->lock);
}

__declspec(dllexport) void __cdecl TzCloseArchive(TzArchive *a) {
  TzRollback(a);
  delete a;
}

}  // extern "C"
