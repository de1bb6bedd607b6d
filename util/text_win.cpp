#include "util/text_win.h"

#include <windows.h>

int WideToAnsi(char *out, const wchar_t *text, int length) {
  int written =
      WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, text, length, out, 2 * length, NULL, NULL);
  // A failed conversion answers 0, so the terminator then empties out.
  out[written] = '\0';
  return written;
}
