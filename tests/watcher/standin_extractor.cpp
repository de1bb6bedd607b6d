// Stands in for 7ZG.EXE in the extraction tests. Copied into a test folder as
// 7ZG.EXE next to a file "standin.cfg" that holds:
//   line 1: the exit code to end with
//   line 2: a pause in milliseconds before exiting
//   line 3 (optional): a file to wait for until it contains "down", then exit
// It records its command line and working folder in "cmdline.txt" and
// "cwd.txt" beside itself.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string OwnFolder() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self);
  return path.substr(0, path.find_last_of('\\') + 1);
}

void WriteText(const std::string &path, const char *text) {
  if (FILE *f = std::fopen(path.c_str(), "wb")) {
    std::fputs(text, f);
    std::fclose(f);
  }
}

bool FileHas(const char *path, const char *word) {
  FILE *f = std::fopen(path, "rb");
  if (!f) return false;
  char buffer[4096] = {};
  const size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
  std::fclose(f);
  buffer[n] = '\0';
  return std::strstr(buffer, word) != nullptr;
}

}  // namespace

int main() {
  const std::string folder = OwnFolder();
  WriteText(folder + "cmdline.txt", GetCommandLineA());
  char cwd[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, cwd);
  WriteText(folder + "cwd.txt", cwd);

  int code = 0, pause = 0;
  char waitFile[MAX_PATH] = {};
  if (FILE *cfg = std::fopen((folder + "standin.cfg").c_str(), "rb")) {
    if (std::fscanf(cfg, "%d %d ", &code, &pause) != 2) code = 99;
    if (std::fgets(waitFile, sizeof waitFile, cfg)) waitFile[std::strcspn(waitFile, "\r\n")] = 0;
    std::fclose(cfg);
  }
  if (waitFile[0] != '\0') {
    for (int i = 0; i < 500 && !FileHas(waitFile, "down"); ++i) Sleep(2);
  }
  Sleep(pause);
  return code;
}
