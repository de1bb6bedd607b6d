// Fuzzes the option scanner and lookup. Input: a capacity byte (0..25), a mode
// byte (bit 0: skip a program path whose module name is the text before the
// first 0x01 byte), then the command line. The table holds exactly capacity
// slots, so any write past it is caught by the address sanitizer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const int capacity = data[0] % 26;
  const bool skip = data[1] & 1;
  std::string text(reinterpret_cast<const char *>(data + 2), size - 2);
  std::string module;
  if (skip) {
    size_t split = text.find('\x01');
    if (split == std::string::npos) return 0;
    module = text.substr(0, split);
    text.erase(0, split + 1);
  }

  auto *table = static_cast<OptionTable *>(std::calloc(capacity, sizeof(OptionSlot)));
  int count = ScanCommandLine(text.c_str(), skip ? module.c_str() : nullptr, table, capacity);
  if (count < 0 || count > capacity) std::abort();
  if (text.find_first_of("-/") == std::string::npos && count != 0) std::abort();
  for (int k = 0; k < count; ++k) {
    if (strnlen(table[k].name, sizeof(table[k].name)) >= sizeof(table[k].name)) std::abort();
    if (strnlen(table[k].value, sizeof(table[k].value)) >= sizeof(table[k].value)) std::abort();
    if (table[k].name[0] == '\0') std::abort();  // a name has at least one character
    // The lookup finds this slot or an earlier one of the same name.
    const char *value = FindOption(table[k].name, table, count);
    if (!value || value > table[k].value) std::abort();
  }
  std::free(table);
  return 0;
}
