#include "install/version_check.h"

#include <windows.h>

#include <charconv>
#include <cstring>
#include <memory>
#include <new>

#include "util/system_win.h"

namespace {
// Enough for the version record of any program we carry.
constexpr DWORD kRecordBufferSize = 5000;
constexpr int kVersionTextSize = 100;

// The version functions, from the system folder's version.dll by its full
// path. Imported, version.dll (not a KnownDLL) would be looked for beside the
// installer first, in the folder it was downloaded to, and run from there
// before any code of ours.
struct VersionApi {
  decltype(&::GetFileVersionInfoSizeA) GetFileVersionInfoSizeA;
  decltype(&::GetFileVersionInfoA) GetFileVersionInfoA;
  decltype(&::VerQueryValueA) VerQueryValueA;
};

BOOL CALLBACK LoadVersionApi(INIT_ONCE *, void *param, void **) {
  auto *api = static_cast<VersionApi *>(param);
  HMODULE m = LoadSystemLibrary(L"version.dll");
  if (m == nullptr || !FindExport(m, "GetFileVersionInfoSizeA", &api->GetFileVersionInfoSizeA) ||
      !FindExport(m, "GetFileVersionInfoA", &api->GetFileVersionInfoA) ||
      !FindExport(m, "VerQueryValueA", &api->VerQueryValueA)) {
    *api = VersionApi();
  }
  return TRUE;
}

INIT_ONCE versionApiOnce = INIT_ONCE_STATIC_INIT;
VersionApi versionApi;

// Loaded once, by whichever thread asks first; nullptr when the system's
// version.dll cannot be loaded, and every check then fails.
const VersionApi *Version() {
  InitOnceExecuteOnce(&versionApiOnce, LoadVersionApi, &versionApi, nullptr);
  return versionApi.VerQueryValueA != nullptr ? &versionApi : nullptr;
}

}  // namespace

// A record larger than the stack buffer is read into a heap buffer of the size
// the system reported, rather than being refused: a long string table does not
// make the file version any less valid, and the read can never overrun.
bool GetFileVersionString(const char *path, char *text) {
  const VersionApi *api = Version();
  if (api == nullptr) return false;
  DWORD unused = 0;
  const DWORD size = api->GetFileVersionInfoSizeA(path, &unused);
  if (size == 0) return false;

  char local[kRecordBufferSize];
  std::unique_ptr<char[]> large;
  char *record = local;
  if (size > kRecordBufferSize) {
    large.reset(new (std::nothrow) char[size]);
    if (!large) return false;
    record = large.get();
  }
  if (!api->GetFileVersionInfoA(path, 0, size, record)) return false;

  void *block = nullptr;
  UINT blockLength = 0;
  if (!api->VerQueryValueA(record, "\\", &block, &blockLength) || block == nullptr) return false;

  VS_FIXEDFILEINFO info;
  std::memcpy(&info, block, sizeof info);
  // Each part is an unsigned 16-bit number, so the text never exceeds 23
  // characters; to_chars is bounded all the same, and needs none of the C
  // runtime's bulky printf code.
  const unsigned parts[] = {HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
                            HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS)};
  char *p = text;
  char *const last = text + kVersionTextMinSize - 1;  // room for the terminator
  for (unsigned part : parts) {
    if (p != text && p < last) *p++ = '.';
    p = std::to_chars(p, last, part).ptr;
  }
  *p = '\0';
  return true;
}

bool FileVersionIs(const char *path, const char *version) {
  char text[kVersionTextSize] = {};
  if (!GetFileVersionString(path, text)) return false;
  return std::strcmp(text, version) == 0;
}
