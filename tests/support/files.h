#pragma once
// Files and whole folder trees for the Windows suites (test programs and the
// helper programs beside them): reading and writing a file, listing what an
// install or an extraction left below a folder, removing a tree, and the
// names of what an install leaves. Wide paths are UTF-16; narrow ones are in
// the system's code page (CP936 here).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "util/product_files.h"

namespace test_support {

// Calls visit(relative path, is a folder) for everything below root, parents
// before their children; root may end in a backslash or not.
inline void WalkTree(const std::wstring &root,
                     const std::function<void(const std::wstring &, bool)> &visit,
                     const std::wstring &rel = L"") {
  const std::wstring base = root.empty() || root.back() == L'\\' ? root : root + L"\\";
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((base + rel + L"*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    visit(rel + name, folder);
    if (folder) WalkTree(base, visit, rel + name + L"\\");
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

inline bool ReadFileBytes(const std::wstring &path, std::string *out) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  out->clear();
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) out->append(buf, got);
  CloseHandle(f);
  return true;
}

inline bool WriteFileBytes(const std::wstring &path, const std::string &data) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  bool ok = WriteFile(f, data.data(), DWORD(data.size()), &put, nullptr) && put == data.size();
  CloseHandle(f);
  return ok;
}

inline bool Exists(const std::wstring &path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::wstring FromAnsi(const std::string &s) {
  std::wstring w(s.size(), L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), &w[0], int(w.size()));
  w.resize(n > 0 ? n : 0);
  return w;
}

inline std::string ToAnsi(const std::wstring &w) {
  std::string s(w.size() * 2 + 1, '\0');
  int n = WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), &s[0], int(s.size()), nullptr,
                              nullptr);
  s.resize(n > 0 ? n : 0);
  return s;
}

inline std::wstring Widen(const std::string &utf8) {
  std::wstring w(utf8.size() + 1, L'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &w[0], int(w.size()));
  w.resize(n > 0 ? n : 0);
  return w;
}

// A path the build gave with forward slashes, as Windows spells it.
inline std::wstring Slashes(std::wstring p) {
  for (wchar_t &c : p) c = c == L'/' ? L'\\' : c;
  return p;
}

// The installer's own three files, written before the extraction, and the
// product's three it relies on: every name an install must leave.
inline std::vector<std::wstring> InstallerFiles() {
  return {FromAnsi(kCodecFile), FromAnsi(kExtractorFile), FromAnsi(kArchiveFile)};
}
inline std::vector<std::wstring> InstalledFiles() {
  std::vector<std::wstring> names = InstallerFiles();
  for (const char *name : {kServiceProgram, kControlProgram, kClientData})
    names.push_back(FromAnsi(name));
  return names;
}

// The same for narrow paths. A file that cannot be read reads as empty.
inline std::string ReadText(const std::string &path) {
  std::string text;
  ReadFileBytes(FromAnsi(path), &text);
  return text;
}
inline bool WriteText(const std::string &path, const std::string &text) {
  return WriteFileBytes(FromAnsi(path), text);
}
inline bool Exists(const std::string &path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The folder of this program's file, ending in a backslash.
inline std::string ProgramFolder() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string path(self);
  return path.substr(0, path.find_last_of('\\') + 1);
}

inline uint64_t Fnv1a(const std::string &bytes) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

// Relative path -> "<dir>" for a folder, otherwise what describe makes of the
// file's bytes.
inline std::map<std::wstring, std::string> ListTree(
    const std::wstring &root, const std::function<std::string(const std::string &)> &describe) {
  const std::wstring base = root.empty() || root.back() == L'\\' ? root : root + L"\\";
  std::map<std::wstring, std::string> out;
  WalkTree(base, [&](const std::wstring &rel, bool folder) {
    if (folder) {
      out[rel] = "<dir>";
    } else {
      std::string bytes;
      ReadFileBytes(base + rel, &bytes);
      out[rel] = describe(bytes);
    }
  });
  return out;
}

// Relative path -> "<dir>" or the file's whole content.
inline std::map<std::wstring, std::string> TreeContents(const std::wstring &root) {
  return ListTree(root, [](const std::string &bytes) { return bytes; });
}

// Relative path -> "<dir>" or "<size> <hash>": a listing to compare before
// and after, without holding the files.
inline std::map<std::wstring, std::string> TreeDigest(const std::wstring &root) {
  return ListTree(root, [](const std::string &bytes) {
    return std::to_string(bytes.size()) + " " + std::to_string(Fnv1a(bytes));
  });
}

// Removes path and everything below it, read-only files too. What cannot go
// (a file another process still holds open) stays.
inline void RemoveTree(const std::wstring &path) {
  const std::wstring base = path.empty() || path.back() == L'\\' ? path : path + L"\\";
  std::map<std::wstring, bool> entries;  // relative path -> is a folder
  WalkTree(base, [&](const std::wstring &rel, bool folder) { entries[rel] = folder; });
  // Backwards: children sort after their parent ("a" < "a\b").
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    const std::wstring full = base + it->first;
    if (it->second) {
      RemoveDirectoryW(full.c_str());
    } else {
      SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(full.c_str());
    }
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace test_support
