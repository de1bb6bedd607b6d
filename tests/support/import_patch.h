#pragma once
// Replaces a function this program imports from a system DLL, so a test can
// see the calls the code under test makes (its arguments) and still pass them
// on. Works on the import table of the main executable, where the statically
// linked code under test calls through.
#include <windows.h>

#include <cstring>

namespace test_support {

// Puts replacement into the import table entry of dll!function and returns
// the entry it held; nullptr when this program does not import it by name.
inline void *PatchImport(const char *dll, const char *function, void *replacement) {
  auto *base = reinterpret_cast<BYTE *>(GetModuleHandleW(nullptr));
  const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) return nullptr;
  for (auto *imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
       imp->Name != 0; ++imp) {
    if (lstrcmpiA(reinterpret_cast<const char *>(base + imp->Name), dll) != 0) continue;
    if (imp->OriginalFirstThunk == 0) continue;
    auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + imp->OriginalFirstThunk);
    auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + imp->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto *byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(
          base + static_cast<size_t>(names->u1.AddressOfData));
      if (std::strcmp(reinterpret_cast<const char *>(byName->Name), function) != 0) continue;
      DWORD old = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old))
        return nullptr;
      void *previous = reinterpret_cast<void *>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
      return previous;
    }
  }
  return nullptr;
}

}  // namespace test_support
