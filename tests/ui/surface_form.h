#pragma once
// A test form whose surface is a 32-bit top-down DIB section: the paint cycle
// and direct paints of its windowless children land in memory, pixel-exact.
#include <cstdint>

#include "ui/form.h"

class SurfaceForm : public ui::Form {
 public:
  SurfaceForm(int width, int height, ui::Color color) : ui::Form(Args(width, height, color)) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<std::uint32_t *>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~SurfaceForm() override {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }

  HDC GetSurfaceDC() override { return dc_; }
  void ReleaseSurfaceDC(HDC) override {}
  HDC PaintSurface(HDC) override { return dc_; }

  // As a colour value: red in the low byte.
  ui::Color Pixel(int x, int y) const {
    const std::uint32_t v = bits_[y * Width() + x];
    return ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);
  }
  void Fill(ui::Color c) {
    const std::uint32_t v = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    for (int i = 0; i < Width() * Height(); ++i) bits_[i] = v;
  }
  bool ShowForTest() {
    if (!CreateHandle()) return false;
    SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    return true;
  }

 private:
  static ui::ControlArgs Args(int width, int height, ui::Color color) {
    ui::ControlArgs a;
    a.name = "surface";
    a.bounds = {0, 0, width, height};
    a.color = color;
    return a;
  }
  HBITMAP bitmap_;
  HDC dc_;
  HGDIOBJ old_;
  std::uint32_t *bits_ = nullptr;
};
