// The shipped 32-bit installer: size, machine, subsystem, imports, version record
// and manifest, read from the i686 build's TovraSetup.exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef TOVRA_I686_EXE
#error TOVRA_I686_EXE must name the i686 TovraSetup.exe
#endif

namespace {

// System DLLs present on every Windows the installer targets.
const char *const kAllowedImports[] = {"KERNEL32.DLL", "USER32.DLL",  "GDI32.DLL",
                                       "SHELL32.DLL",  "VERSION.DLL", "COMCTL32.DLL",
                                       "MSVCRT.DLL",   "ADVAPI32.DLL"};

std::vector<unsigned char> ReadFile(const char *path) {
  std::vector<unsigned char> data;
  FILE *f = std::fopen(path, "rb");
  if (!f) return data;
  unsigned char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  std::fclose(f);
  return data;
}

class PeCheck : public ::testing::Test {
 protected:
  void SetUp() override { Load(TOVRA_I686_EXE); }

  void Load(const char *path) {
    image = ReadFile(path);
    ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER))
        << "missing: " << path << " (build the i686 tree first)";
    auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(image.data());
    ASSERT_EQ(IMAGE_DOS_SIGNATURE, dos->e_magic);
    ASSERT_LT(static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32), image.size());
    nt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(image.data() + dos->e_lfanew);
    ASSERT_EQ(IMAGE_NT_SIGNATURE, nt->Signature);
  }

  // File offset of a relative virtual address, through the section table.
  size_t Offset(DWORD rva) const {
    auto *sec = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++sec) {
      const DWORD size = std::max(sec->Misc.VirtualSize, sec->SizeOfRawData);
      if (rva >= sec->VirtualAddress && rva < sec->VirtualAddress + size)
        return rva - sec->VirtualAddress + sec->PointerToRawData;
    }
    return 0;
  }

  // The names of the DLLs in the import directory, upper case.
  std::vector<std::string> Imports() const {
    std::vector<std::string> names;
    const IMAGE_DATA_DIRECTORY &dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    size_t at = Offset(dir.VirtualAddress);
    for (; at != 0 && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= image.size();
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
      IMAGE_IMPORT_DESCRIPTOR d;
      std::memcpy(&d, image.data() + at, sizeof d);
      if (d.Name == 0) break;
      const size_t name = Offset(d.Name);
      if (name == 0) break;
      std::string dll(reinterpret_cast<const char *>(image.data() + name));
      std::transform(dll.begin(), dll.end(), dll.begin(),
                     [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
      names.push_back(dll);
    }
    return names;
  }

  std::vector<unsigned char> image;
  const IMAGE_NT_HEADERS32 *nt = nullptr;
};

// The installer's own code (the file less what it carries) and the extractor
// pair it carries stay small: built without exceptions (no unwinder,
// winpthread or demangler), started by our own entry points (no MinGW
// start-up files), zeroed data kept out of the file.
TEST_F(PeCheck, OwnCodeAtMost48KBAndPairAtMost80KB) {
  const size_t pair = ReadFile(TOVRA_I686_EXTRACTOR).size() + ReadFile(TOVRA_I686_CODEC).size();
  const size_t carried = pair + ReadFile(TOVRA_I686_ARCHIVE).size();
  ASSERT_GT(carried, 0u);
  ASSERT_GT(image.size(), carried);
  EXPECT_LE(image.size() - carried, 48u * 1024u);
  EXPECT_LE(pair, 80u * 1024u);
}

// The extractor pair starts with kernel32 and the C runtime alone: under Wine
// a process that imports user32 starts tens of milliseconds later, and the
// front end loads it only for its dialog, which a short run never shows.
TEST_F(PeCheck, ExtractorPairImportsNoWindowLibraries) {
  for (const char *path : {TOVRA_I686_EXTRACTOR, TOVRA_I686_CODEC}) {
    Load(path);
    if (HasFatalFailure()) return;
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

TEST_F(PeCheck, ImportsOnlySystemDlls) {
  const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  ASSERT_NE(0u, dir.VirtualAddress);
  size_t at = Offset(dir.VirtualAddress);
  ASSERT_NE(0u, at);
  int count = 0;
  for (;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    ASSERT_LE(at + sizeof(IMAGE_IMPORT_DESCRIPTOR), image.size());
    IMAGE_IMPORT_DESCRIPTOR d;
    std::memcpy(&d, image.data() + at, sizeof d);
    if (d.Name == 0) break;
    const size_t name = Offset(d.Name);
    ASSERT_NE(0u, name);
    std::string dll(reinterpret_cast<const char *>(image.data() + name));
    std::transform(dll.begin(), dll.end(), dll.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    EXPECT_NE(std::end(kAllowedImports),
              std::find_if(std::begin(kAllowedImports), std::end(kAllowedImports),
                           [&](const char *a) { return dll == a; }))
        << "imports " << dll;
    ++count;
  }
  EXPECT_GT(count, 0);
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
  HMODULE m = LoadLibraryExA(TOVRA_I686_EXE, nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, m);
  HRSRC r = FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_NE(nullptr, r);
  const char *text = static_cast<const char *>(LockResource(LoadResource(m, r)));
  const std::string manifest(text, SizeofResource(m, r));
  EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
  EXPECT_NE(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
  EXPECT_NE(std::string::npos, manifest.find("version=\"6.0.0.0\""));
  FreeLibrary(m);
}

}  // namespace
