// The shipped programs: size, machine, subsystem, imports, image flags,
// version record and manifest, read from the i686 build's TovraSetup.exe,
// 7ZG.EXE and 7Z.DLL, and the imports and flags of this tree's own build of
// the three as well.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/files.h"

#ifndef TOVRA_I686_EXE
#error TOVRA_I686_EXE must name the i686 TovraSetup.exe
#endif

namespace {

// The KnownDLLs common to Windows 7 through 11 (HKLM\SYSTEM\CurrentControlSet
// \Control\Session Manager\KnownDLLs, where Microsoft's documentation of
// the search order sends the reader): the system maps these from its own
// folder whatever the search order says. Any other DLL imported statically is
// looked for beside the program first, in the folder it was downloaded to,
// and runs before the program's first instruction.
const char *const kKnownDlls[] = {
    "ADVAPI32.DLL", "CLBCATQ.DLL",  "COMDLG32.DLL", "DIFXAPI.DLL", "GDI32.DLL",    "IMAGEHLP.DLL",
    "IMM32.DLL",    "KERNEL32.DLL", "MSCTF.DLL",    "MSVCRT.DLL",  "NORMALIZ.DLL", "NSI.DLL",
    "OLE32.DLL",    "OLEAUT32.DLL", "PSAPI.DLL",    "RPCRT4.DLL",  "SECHOST.DLL",  "SETUPAPI.DLL",
    "SHELL32.DLL",  "SHLWAPI.DLL",  "USER32.DLL",   "WLDAP32.DLL", "WS2_32.DLL"};

using test_support::ReadText;

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

// The shipped programs and library of the i686 build, then this tree's own
// build of them when it is another one (the x86_64 tree).
struct Shipped {
  const char *path;
  bool program;
};
std::vector<Shipped> ShippedImages() {
  std::vector<Shipped> images = {
      {TOVRA_I686_EXE, true}, {TOVRA_I686_EXTRACTOR, true}, {TOVRA_I686_CODEC, false}};
  if (std::strcmp(TOVRA_OWN_EXE, TOVRA_I686_EXE) != 0) {
    images.push_back({TOVRA_OWN_EXE, true});
    images.push_back({TOVRA_OWN_EXTRACTOR, true});
    images.push_back({TOVRA_OWN_CODEC, false});
  }
  return images;
}

// A PE image of either width, read whole.
class PeImage {
 public:
  bool Load(const char *path) {
    image_ = ReadText(path);
    if (image_.size() < sizeof(IMAGE_DOS_HEADER)) return false;
    auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(image_.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
    if (static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64) > image_.size())
      return false;
    nt_ = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(image_.data() + dos->e_lfanew);
    return nt_->Signature == IMAGE_NT_SIGNATURE;
  }
  const IMAGE_NT_HEADERS32 *Nt32() const { return nt_; }
  bool Is64() const { return nt_->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC; }
  const IMAGE_NT_HEADERS64 *Nt64() const {
    return reinterpret_cast<const IMAGE_NT_HEADERS64 *>(nt_);
  }
  WORD DllCharacteristics() const {
    return Is64() ? Nt64()->OptionalHeader.DllCharacteristics
                  : nt_->OptionalHeader.DllCharacteristics;
  }
  IMAGE_DATA_DIRECTORY Directory(int entry) const {
    return Is64() ? Nt64()->OptionalHeader.DataDirectory[entry]
                  : nt_->OptionalHeader.DataDirectory[entry];
  }
  size_t Size() const { return image_.size(); }

  // File offset of a relative virtual address, through the section table; 0
  // when no section holds it.
  size_t Offset(DWORD rva) const {
    auto *sec = IMAGE_FIRST_SECTION(nt_);
    for (int i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++sec) {
      const DWORD size = std::max(sec->Misc.VirtualSize, sec->SizeOfRawData);
      if (rva >= sec->VirtualAddress && rva < sec->VirtualAddress + size)
        return rva - sec->VirtualAddress + sec->PointerToRawData;
    }
    return 0;
  }

  // The text at a relative virtual address, "" when it is outside the file.
  std::string Text(DWORD rva) const {
    const size_t at = Offset(rva);
    if (at == 0 || at >= image_.size()) return "";
    const char *p = reinterpret_cast<const char *>(image_.data() + at);
    return std::string(p, strnlen(p, image_.size() - at));
  }

  // The DLLs of the import directory, upper case, each with the names of the
  // functions taken from it (by ordinal: "#n").
  struct Import {
    std::string dll;
    std::vector<std::string> functions;
  };
  std::vector<Import> Imports() const {
    std::vector<Import> imports;
    const IMAGE_DATA_DIRECTORY dir = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    for (size_t at = Offset(dir.VirtualAddress);
         at != 0 && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= image_.size();
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
      IMAGE_IMPORT_DESCRIPTOR d;
      std::memcpy(&d, image_.data() + at, sizeof d);
      if (d.Name == 0) break;
      Import import{Upper(Text(d.Name)), {}};
      const DWORD thunks = d.OriginalFirstThunk ? d.OriginalFirstThunk : d.FirstThunk;
      const size_t width = Is64() ? 8 : 4;
      for (size_t t = Offset(thunks); t != 0 && t + width <= image_.size(); t += width) {
        ULONGLONG thunk = 0;
        std::memcpy(&thunk, image_.data() + t, width);
        if (thunk == 0) break;
        const ULONGLONG byOrdinal = Is64() ? IMAGE_ORDINAL_FLAG64 : IMAGE_ORDINAL_FLAG32;
        import.functions.push_back(thunk & byOrdinal
                                       ? "#" + std::to_string(thunk & 0xFFFF)
                                       : Text(static_cast<DWORD>(thunk) + 2));  // past the hint
      }
      imports.push_back(import);
    }
    return imports;
  }

 private:
  std::string image_;
  const IMAGE_NT_HEADERS32 *nt_ = nullptr;
};

// The manifest (resource 1 of type 24) of a program, "" when it has none.
std::string Manifest(const char *path) {
  HMODULE m =
      LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (m == nullptr) return "";
  std::string manifest;
  if (HRSRC r = FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
    const char *text = static_cast<const char *>(LockResource(LoadResource(m, r)));
    if (text) manifest.assign(text, SizeofResource(m, r));
  }
  FreeLibrary(m);
  return manifest;
}

class PeCheck : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Load(TOVRA_I686_EXE)); }

  bool Load(const char *path) {
    const bool loaded = pe.Load(path);
    EXPECT_TRUE(loaded) << "missing or not a PE image: " << path << " (build the i686 tree first)";
    nt = pe.Nt32();
    image_size = pe.Size();
    return loaded;
  }

  std::vector<std::string> Imports() const {
    std::vector<std::string> names;
    for (const PeImage::Import &i : pe.Imports()) names.push_back(i.dll);
    return names;
  }

  PeImage pe;
  const IMAGE_NT_HEADERS32 *nt = nullptr;
  size_t image_size = 0;
};

// The installer's own code (the file less what it carries) and the extractor
// pair it carries stay small: built without exceptions (no unwinder,
// winpthread or demangler), started by our own entry points (no MinGW
// start-up files), zeroed data kept out of the file. The ceiling was 48 KB
// until the installer took on the folder lock, the held and retried writes,
// the extractor's job, the data rule and the system-folder loads (50,129).
TEST_F(PeCheck, OwnCodeAtMost50KBAndPairAtMost80KB) {
  const size_t pair = ReadText(TOVRA_I686_EXTRACTOR).size() + ReadText(TOVRA_I686_CODEC).size();
  const size_t carried = pair + ReadText(TOVRA_I686_ARCHIVE).size();
  ASSERT_GT(carried, 0u);
  ASSERT_GT(image_size, carried);
  EXPECT_LE(image_size - carried, 50u * 1024u);
  EXPECT_LE(pair, 80u * 1024u);
}

// The extractor pair starts with kernel32 and the C runtime alone: under Wine
// a process that imports user32 starts tens of milliseconds later, and the
// front end loads it only for its dialog, which a short run never shows.
TEST_F(PeCheck, ExtractorPairImportsNoWindowLibraries) {
  for (const char *path : {TOVRA_I686_EXTRACTOR, TOVRA_I686_CODEC}) {
    if (!Load(path)) return;
    const std::vector<std::string> dlls = Imports();
    EXPECT_FALSE(dlls.empty()) << path;
    for (const std::string &dll : dlls) {
      EXPECT_TRUE(dll == "KERNEL32.DLL" || dll == "MSVCRT.DLL") << path << " imports " << dll;
    }
  }
}

TEST_F(PeCheck, I386GuiProgram) {
  EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt->FileHeader.Machine);
  EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, nt->OptionalHeader.Magic);
  EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);
}

// Every DLL a shipped image imports is a KnownDLL, or COMCTL32 in a program
// whose manifest binds it to the system's Common Controls 6 (side by side,
// from the system's store: never looked for beside the program). version.dll
// is not a KnownDLL: its functions come from the system folder by full path
// (install/version_check.cpp).
TEST_F(PeCheck, ImportsOnlyKnownDlls) {
  for (const Shipped &shipped : ShippedImages()) {
    if (!Load(shipped.path)) return;
    const std::vector<std::string> dlls = Imports();
    EXPECT_FALSE(dlls.empty()) << shipped.path;
    for (const std::string &dll : dlls) {
      if (dll == "COMCTL32.DLL") {
        const std::string manifest = Manifest(shipped.path);
        EXPECT_TRUE(manifest.find("Microsoft.Windows.Common-Controls") != std::string::npos &&
                    manifest.find("version=\"6.0.0.0\"") != std::string::npos)
            << shipped.path << " imports COMCTL32.DLL without the Common Controls 6 manifest";
        continue;
      }
      EXPECT_NE(std::end(kKnownDlls), std::find(std::begin(kKnownDlls), std::end(kKnownDlls), dll))
          << shipped.path << " imports " << dll << ", not a KnownDLL";
    }
  }
}

// ASLR (relocatable, with its relocations kept) and DEP on all three; the
// programs terminal-server aware; 32-bit images without SE handlers, 64-bit
// ones with high-entropy ASLR (cmake/TovraWindows.cmake, tovra_harden).
TEST_F(PeCheck, HardenedImageFlags) {
  for (const Shipped &shipped : ShippedImages()) {
    if (!Load(shipped.path)) return;
    const WORD flags = pe.DllCharacteristics();
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) << shipped.path;
    EXPECT_NE(0u, pe.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size) << shipped.path;
    EXPECT_FALSE(nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED) << shipped.path;
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT) << shipped.path;
    EXPECT_FALSE(flags & IMAGE_DLLCHARACTERISTICS_FORCE_INTEGRITY) << shipped.path;
    EXPECT_EQ(shipped.program, (flags & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE) != 0)
        << shipped.path;
    if (pe.Is64()) {
      EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA) << shipped.path;
    } else {
      EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_NO_SEH) << shipped.path;
    }
  }
}

// The process's error mode is what the programs it starts begin with: the
// installer, which starts the extractor and the control program, never sets it
// (SetErrorMode) and sets its own threads' mode instead (SetThreadErrorMode,
// looked up by name: util/system_win.cpp). The extractor starts nothing and
// sets its own, so that no system box can hold it.
TEST_F(PeCheck, NoProcessWideErrorModeInTheInstaller) {
  for (const char *installer : {TOVRA_I686_EXE, TOVRA_OWN_EXE}) {
    if (!Load(installer)) return;
    for (const PeImage::Import &import : pe.Imports()) {
      for (const std::string &function : import.functions) {
        EXPECT_NE("SetErrorMode", function) << installer << " imports it from " << import.dll;
      }
    }
  }
}

std::string VersionString(const std::vector<char> &info, const char *key) {
  struct Translation {
    WORD lang, codepage;
  } *tr = nullptr;
  UINT len = 0;
  if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&tr),
                      &len) ||
      len < sizeof *tr)
    return "<no translation>";
  char path[128];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", tr->lang, tr->codepage, key);
  char *value = nullptr;
  if (!VerQueryValueA(info.data(), path, reinterpret_cast<void **>(&value), &len) || !value)
    return "<missing>";
  return value;
}

TEST_F(PeCheck, VersionRecord) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(TOVRA_I686_EXE, &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(TOVRA_I686_EXE, 0, size, info.data()));
  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &len));
  EXPECT_EQ(MAKELONG(0, 3), fixed->dwFileVersionMS);
  EXPECT_EQ(MAKELONG(203, 26), fixed->dwFileVersionLS);
  EXPECT_EQ(MAKELONG(0, 3), fixed->dwProductVersionMS);
  EXPECT_EQ(MAKELONG(203, 26), fixed->dwProductVersionLS);
  EXPECT_EQ("3.0.26.203", VersionString(info, "FileVersion"));
  EXPECT_EQ("3.0.26.203", VersionString(info, "ProductVersion"));
  EXPECT_EQ("Tovra Setup", VersionString(info, "ProductName"));
  EXPECT_EQ("TovraSetup", VersionString(info, "OriginalFilename"));
  EXPECT_EQ("www.tovra.cn", VersionString(info, "CompanyName"));
}

TEST_F(PeCheck, ManifestAsksForNoElevationAndCommonControls6) {
  const std::string manifest = Manifest(TOVRA_I686_EXE);
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
  EXPECT_NE(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
  EXPECT_NE(std::string::npos, manifest.find("version=\"6.0.0.0\""));
}

}  // namespace
