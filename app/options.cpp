#include "app/options.h"

#include <cstdlib>
#include <cstring>

#include "util/text.h"

// Case folding covers A-Z only: the installer's option names are plain ASCII,
// and the program's file name is compared after the same folding on both sides.
static char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}
static char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

OptionTable *NewOptionTable(int count) {
  if (count < 1) return nullptr;
  return static_cast<OptionTable *>(std::calloc(static_cast<size_t>(count), sizeof(OptionSlot)));
}

void FreeOptionTable(OptionTable *table) {
  std::free(table);
}

// Where the options start in a whole command line: after the first space that
// follows the program's file name, searched case-blind in the first 2599
// characters. The module's name is searched as the system reports it, so a
// program started without its ".exe" is not found and there are no options.
// nullptr when there is no such place.
static const char *SkipProgramPath(const char *text, const char *moduleFileName) {
  char work[2600];
  CopyTextBounded(work, text, sizeof(work));
  for (char *p = work; *p; ++p) *p = Lower(*p);

  char name[600];
  CopyTextBounded(name, moduleFileName, sizeof(name));
  CopyTextEnd(name, LastPathComponent(name));  // moves forward in place
  for (char *p = name; *p; ++p) *p = Lower(*p);
  if (!name[0]) return nullptr;  // no file name known: nothing to find

  const char *found = std::strstr(work, name);
  if (!found) return nullptr;
  const char *p = found + std::strlen(name);
  if (*p == '"') ++p;
  if (!*p) return nullptr;
  const char *space = std::strchr(p, ' ');
  if (!space) return nullptr;
  // Read from the text as typed, so names and values keep their case.
  return text + (space - work) + 1;
}

static bool IsMarker(char c) {
  return c == '-' || c == '/';
}

int ScanCommandLine(const char *text, const char *moduleFileName, OptionTable *table,
                    int capacity) {
  if (!text || !table || capacity < 1) return 0;
  const char *s = moduleFileName ? SkipProgramPath(text, moduleFileName) : text;
  if (!s) return 0;
  const int length = static_cast<int>(std::strlen(s));
  int count = 0;
  int i = 0;
  while (i < length) {
    // A marker anywhere in passed-over text starts an option, as long as a
    // character follows it.
    if (!IsMarker(s[i]) || i + 1 >= length) {
      ++i;
      continue;
    }
    OptionSlot &slot = table[count++];
    // The first character after the marker belongs to the name whatever it is
    // (a second marker, even a space); a name that reaches 63 characters ends
    // there and the rest of the word becomes its value.
    int j = i + 1;
    int n = 0;
    slot.name[n++] = s[j++];
    while (j < length && s[j] != ' ' && n < 63) slot.name[n++] = s[j++];
    slot.name[n] = '\0';
    slot.value[0] = '\0';

    while (j < length && s[j] == ' ') ++j;
    if (j >= length) break;

    if (s[j] == '"') {
      const char *close = std::strchr(s + j + 1, '"');
      if (close) {
        int stretch = static_cast<int>(close - (s + j + 1));
        CopyTextLimited(slot.value, s + j + 1, stretch + 1, sizeof(slot.value));
        // The character right after the closing quote is passed over unread,
        // so a marker placed directly there starts no option.
        i = static_cast<int>(close - s) + 2;
      } else {
        i = j + 2;  // no closing quote: the value stays empty
      }
    } else if (IsMarker(s[j])) {
      i = j;  // no value; this marker starts the next option
    } else {
      int end = j;
      while (end < length && s[end] != ' ') ++end;
      CopyTextLimited(slot.value, s + j, end - j + 1, sizeof(slot.value));
      i = end + 1;
    }
    if (count == capacity) break;
  }
  return count;
}

const char *FindOption(const char *name, const OptionTable *table, int count) {
  if (!name || !table) return nullptr;
  for (int k = 0; k < count; ++k) {
    const char *a = name;
    const char *b = table[k].name;
    while (*a && Upper(*a) == Upper(*b)) ++a, ++b;
    if (Upper(*a) == Upper(*b)) return table[k].value;
  }
  return nullptr;
}
