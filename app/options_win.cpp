#include <windows.h>

#include "app/options.h"

int ParseCommandLine(const char *text, bool skipProgramPath, OptionTable *table, int capacity) {
  if (!skipProgramPath) return ScanCommandLine(text, nullptr, table, capacity);
  // A path cut at the buffer's end may be left unterminated; an unanswered
  // call leaves the empty text, which finds no options.
  char module[600] = "";
  GetModuleFileNameA(NULL, module, sizeof(module));
  module[sizeof(module) - 1] = '\0';
  return ScanCommandLine(text, module, table, capacity);
}
