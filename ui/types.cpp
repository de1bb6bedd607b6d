#include "ui/types.h"

namespace ui {

COLORREF ColorToRgb(Color c) {
  if ((c & 0xFF000000u) == 0xFF000000u) return GetSysColor(static_cast<int>(c & 0xFF));
  return c & 0xFFFFFFu;
}

// A negative height asks for the character height, not the cell height, which
// is how the layout gives its font sizes.
HFONT CreateFontHandle(const Font &font) {
  LOGFONTW lf = {};
  lf.lfHeight = -font.height;
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = font.charset;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  // A name too long for the face buffer still leaves it terminated.
  MultiByteToWideChar(936, 0, font.name, -1, lf.lfFaceName, LF_FACESIZE);
  lf.lfFaceName[LF_FACESIZE - 1] = L'\0';
  return CreateFontIndirectW(&lf);
}

// Captions are CP936 whatever the system code page is, so the conversion names
// 936 rather than CP_ACP.
std::wstring Widen(const std::string &cp936) {
  if (cp936.empty()) return std::wstring();
  const int n =
      MultiByteToWideChar(936, 0, cp936.data(), static_cast<int>(cp936.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(936, 0, cp936.data(), static_cast<int>(cp936.size()), &out[0], n);
  return out;
}

std::string Narrow(const std::wstring &text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
  return out;
}

}  // namespace ui
