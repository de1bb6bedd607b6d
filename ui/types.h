#pragma once
// Basic types of the UI layer: colours, the message record, fonts, and the
// CP936 <-> UTF-16 conversions every caption goes through.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace ui {

// 0x00BBGGRR; a top byte of 0xFF names a system colour by its index.
using Color = std::uint32_t;
constexpr Color kWindowText = 0xFF000008;  // COLOR_WINDOWTEXT
constexpr Color kBtnFace = 0xFF00000F;     // COLOR_BTNFACE
constexpr Color kWhite = 0xFFFFFF;
constexpr Color kBlue = 0xFF0000;
constexpr Color Rgb(unsigned r, unsigned g, unsigned b) {
  return r | (g << 8) | (b << 16);
}
COLORREF ColorToRgb(Color c);

// Notifications a parent sends to the windowless child under the pointer.
constexpr UINT CM_MOUSEENTER = 0xB013;
constexpr UINT CM_MOUSELEAVE = 0xB014;

struct Message {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};
using WndMethod = std::function<void(Message &)>;

struct Font {
  const char *name = "Tahoma";  // CP936
  int height = 14;              // character height in pixels
  Color color = kWindowText;
  BYTE charset = DEFAULT_CHARSET;
  bool bold = false;
};
HFONT CreateFontHandle(const Font &font);

struct Spacing {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

std::wstring Widen(const std::string &cp936);
std::string Narrow(const std::wstring &text);

}  // namespace ui
