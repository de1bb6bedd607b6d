// MySpeed2 drawn into a memory surface and driven through its parent's mouse
// routing, compared pixel by pixel with the button's frame/corner/face image.
#include "widgets/Myspeed2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tests/ui/surface_form.h"

namespace {

constexpr ui::Color kSentinel = 0xFF00FF;  // never drawn by the button
constexpr ui::Color kParent = 14671839;    // #DFDFDF
constexpr int kX = 10, kY = 10, kW = 63, kH = 26;

// The image of a drawn look of w x h pixels before glyph and caption.
ui::Color Expected(int x, int y, int w, int h, ui::Color frame, ui::Color face, ui::Color parent) {
  const bool corner = (x == 0 && y == 0) || (x == 1 && y == 0) || (x == 0 && y == 1) ||
                      (x == w - 2 && y == 0) || (x == w - 1 && y == 0) || (x == w - 1 && y == 1) ||
                      (x == 0 && y == h - 2) || (x == 0 && y == h - 1) || (x == 1 && y == h - 1) ||
                      (x == w - 1 && y == h - 2) || (x == w - 2 && y == h - 1) ||
                      (x == w - 1 && y == h - 1);
  if (corner) return parent;
  const bool edge = ((y == 0 || y == h - 1) && x >= 2 && x <= w - 3) ||
                    ((x == 0 || x == w - 1) && y >= 2 && y <= h - 3);
  const bool cut = (x == 1 && y == 1) || (x == w - 2 && y == 1) || (x == 1 && y == h - 2) ||
                   (x == w - 2 && y == h - 2);
  return edge || cut ? frame : face;
}

class MySpeed2Test : public ::testing::Test {
 protected:
  void SetUp() override {
    MySpeed2::PaintBusy = false;
    form = std::make_unique<SurfaceForm>(90, 50, kParent);
    btn = form->Add<MySpeed2>();
    btn->SetBounds(kX, kY, kW, kH);
    ui::Font f;
    f.name = "Tahoma";
    f.height = 12;
    btn->SetFont(f);
    btn->SetColor(15395562);  // #EAEAEA
    btn->OverColor = 16245452;
    btn->DownColor = 16046525;
    btn->BorderColor = 16419922;
    btn->BorderOverColor = 16419922;
    btn->CycleColor = 16307128;
    btn->ParentColor = kParent;
    btn->TextHeight = 13;
    btn->TextWidth = 24;
    btn->OnClick = [this] {
      ++clicks;
      pressedDuringClick = btn->MousePressed;
    };
    form->Fill(kSentinel);
  }

  // Every pixel of the button against the image; the surface around it
  // untouched.
  void ExpectLook(ui::Color frame, ui::Color face) {
    int wrong = 0;
    for (int y = 0; y < form->Height(); ++y) {
      for (int x = 0; x < form->Width(); ++x) {
        const bool inside = x >= kX && x < kX + kW && y >= kY && y < kY + kH;
        const ui::Color want =
            inside ? Expected(x - kX, y - kY, kW, kH, frame, face, kParent) : kSentinel;
        if (form->Pixel(x, y) != want && ++wrong <= 5)
          ADD_FAILURE() << "pixel (" << x - kX << ", " << y - kY << ") is " << std::hex
                        << form->Pixel(x, y) << ", want " << want;
      }
    }
    EXPECT_EQ(0, wrong);
  }

  // Paints as the button's message hook does, straight onto the surface;
  // the context taken for it is given back as after a message.
  void PaintNow() {
    btn->Paint();
    btn->GetCanvas().FreeHandle();
  }

  // Sends a mouse message to the parent, in the parent's coordinates.
  void Mouse(UINT msg, int x, int y) {
    SendMessageW(form->Handle(), msg, msg == WM_MOUSEMOVE || msg == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                 MAKELPARAM(x, y));
  }

  // Shows the form, moves the pointer onto the button and presses it there.
  void ShowAndPress() {
    ASSERT_TRUE(form->ShowForTest());
    Mouse(WM_MOUSEMOVE, kX + 30, kY + 10);
    Mouse(WM_LBUTTONDOWN, kX + 30, kY + 10);
  }

  // The darkest pixel of the rectangle that is not the sentinel.
  ui::Color Darkest(int left, int top, int right, int bottom) {
    ui::Color darkest = kSentinel;
    int best = 3 * 255 + 1;
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) {
        const ui::Color c = form->Pixel(x, y);
        const int sum = (c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF);
        if (c != kSentinel && sum < best) best = sum, darkest = c;
      }
    }
    return darkest;
  }

  // Pixels of the caption: inside the face, neither face nor frame colour.
  int InkCount(ui::Color face) {
    int n = 0;
    for (int y = kY + 2; y < kY + kH - 2; ++y)
      for (int x = kX + 2; x < kX + kW - 2; ++x) n += form->Pixel(x, y) != face;
    return n;
  }

  std::unique_ptr<SurfaceForm> form;
  MySpeed2 *btn = nullptr;
  int clicks = 0;
  bool pressedDuringClick = false;
};

TEST_F(MySpeed2Test, LooksMatchTheFrameCornerFaceImage) {
  btn->SetCaption("");
  PaintNow();
  SCOPED_TRACE("Normal");
  ExpectLook(16419922, 15395562);

  btn->MouseOver = true;
  PaintNow();
  SCOPED_TRACE("Over");
  ExpectLook(16419922, 16245452);

  btn->MousePressed = true;
  PaintNow();
  SCOPED_TRACE("Down");
  ExpectLook(6052956, 16046525);
}

// Pointer over a disabled button: no face and no frame, only the caption in
// the disabled colour, straight onto what was there.
TEST_F(MySpeed2Test, NoneLookDrawsNothingButTheCaption) {
  btn->SetCaption("安装");
  btn->SetEnabled(false);  // no window yet: nothing is repainted
  btn->MouseOver = true;
  PaintNow();
  const POINT at = btn->CaptionOrigin();
  int ink = 0, outside = 0;
  for (int y = 0; y < form->Height(); ++y) {
    for (int x = 0; x < form->Width(); ++x) {
      const ui::Color c = form->Pixel(x, y);
      if (c == kSentinel) continue;
      const int cx = x - kX - at.x, cy = y - kY - at.y;
      const bool inCaption = cx >= 0 && cx < btn->TextWidth && cy >= 0 && cy < kH - at.y;
      if (!inCaption && ++outside <= 5) ADD_FAILURE() << "drawn at " << x - kX << ", " << y - kY;
      ++ink;
    }
  }
  EXPECT_EQ(0, outside) << "a face or a frame was drawn";
  EXPECT_GT(ink, 10) << "the caption was not drawn";
  EXPECT_EQ(DisabledCaptionColor(ui::kWindowText, 15395562),
            Darkest(0, 0, form->Width(), form->Height()));
}

TEST_F(MySpeed2Test, FaceEqualToParentColourGivesTheSameImage) {
  btn->SetCaption("");
  btn->SetColor(kParent);
  PaintNow();
  ExpectLook(16419922, kParent);
}

TEST_F(MySpeed2Test, DefaultsWithoutALayout) {
  SurfaceForm surface(90, 50, kParent);
  auto *b = surface.Add<MySpeed2>();
  EXPECT_EQ(60, b->Width());
  EXPECT_EQ(24, b->Height());
  EXPECT_EQ(0, b->TextWidth);
  EXPECT_EQ(14, b->TextHeight);
  EXPECT_TRUE(b->NeedsMeasure);
  EXPECT_EQ(16307128u, b->GetColor());
  EXPECT_EQ(b->GetColor(), b->ParentColor);
  EXPECT_EQ(15784428u, b->OverColor);
  EXPECT_EQ(16744576u, b->BorderOverColor);
  b->SetBounds(0, 0, 60, 24);
  surface.Fill(kSentinel);
  b->Paint();
  b->GetCanvas().FreeHandle();
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 60; ++x)
      ASSERT_EQ(Expected(x, y, 60, 24, 9011433, 16307128, 16307128), surface.Pixel(x, y))
          << x << ", " << y;
}

TEST_F(MySpeed2Test, FirstPaintMeasuresThenCaptionSitsAt20And6) {
  btn->SetCaption("安装");
  PaintNow();
  EXPECT_FALSE(btn->NeedsMeasure);
  EXPECT_GT(btn->TextWidth, 0);
  const int measured = btn->TextWidth;
  EXPECT_EQ(CentringOffset(kW - measured), btn->CaptionOrigin().x);

  // With the layout's width of 24 the caption's corner is (20, 6).
  btn->TextWidth = 24;
  form->Fill(kSentinel);
  PaintNow();
  EXPECT_EQ(24, btn->TextWidth) << "a non-zero width is not measured again";
  EXPECT_EQ(20, btn->CaptionOrigin().x);
  EXPECT_EQ(6, btn->CaptionOrigin().y);
  std::vector<ui::Color> up;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) up.push_back(form->Pixel(kX + x, kY + y));

  // Pressed (pointer off the button: Normal look) the caption drops a pixel.
  btn->MousePressed = true;
  form->Fill(kSentinel);
  PaintNow();
  EXPECT_EQ(20, btn->CaptionOrigin().x);
  EXPECT_EQ(7, btn->CaptionOrigin().y);
  int ink = 0;
  for (int y = 3; y < kH - 3; ++y) {
    for (int x = 2; x < kW - 2; ++x) {
      const ui::Color before = up[(y - 1) * kW + x];
      ASSERT_EQ(before, form->Pixel(kX + x, kY + y)) << x << ", " << y;
      ink += before != 15395562;
    }
  }
  EXPECT_GT(ink, 10) << "the caption was drawn";
  // The caption's ink starts at the origin or right of it, never left.
  for (int y = 2; y < kH - 2; ++y)
    for (int x = 2; x < 20; ++x) EXPECT_EQ(15395562u, up[y * kW + x]) << x << ", " << y;
}

TEST_F(MySpeed2Test, CentringPutsTheSparePixelLeftAndKeepsTheSign) {
  EXPECT_EQ(20, CentringOffset(39));
  EXPECT_EQ(19, CentringOffset(38));
  EXPECT_EQ(-2, CentringOffset(-3));
  EXPECT_EQ(-2, CentringOffset(-4));
  EXPECT_EQ(-1, CentringOffset(-1));
  btn->NeedsMeasure = false;
  btn->TextWidth = 66;  // wider than the button: 63 - 66 = -3
  PaintNow();
  EXPECT_EQ(-2, btn->CaptionOrigin().x);
  btn->TextWidth = -5;  // negative widths are used unchanged, never measured
  PaintNow();
  EXPECT_EQ(-5, btn->TextWidth);
  EXPECT_EQ(34, btn->CaptionOrigin().x);
  btn->TextHeight = 14;  // 26 - 14 = 12: no remainder term vertically
  PaintNow();
  EXPECT_EQ(6, btn->CaptionOrigin().y);
  btn->TextHeight = 15;
  PaintNow();
  EXPECT_EQ(5, btn->CaptionOrigin().y);
}

TEST_F(MySpeed2Test, DisabledCaptionIsTheChannelMean) {
  EXPECT_EQ(ui::Rgb(0x79, 0x75, 0x75), DisabledCaptionColor(ui::kWindowText, 15395562));
  EXPECT_EQ(ui::Rgb(0x7F, 0x7F, 0x7F), DisabledCaptionColor(0xFFFFFFFF, 0));
  btn->SetCaption("安装");
  btn->SetEnabled(false);
  PaintNow();
  // The darkest caption pixel is the full disabled colour (smoothed edges
  // only blend it with the face).
  EXPECT_EQ(ui::Rgb(0x79, 0x75, 0x75), Darkest(kX + 2, kY + 2, kX + kW - 2, kY + kH - 2));
}

TEST_F(MySpeed2Test, MarginsPushTheCaptionFromOneSide) {
  btn->NeedsMeasure = false;
  btn->TextWidth = 60;  // centred at 2
  btn->Margins.Left = 10;
  btn->Margins.Right = 3;
  PaintNow();
  EXPECT_EQ(10, btn->CaptionOrigin().x);
  btn->TextWidth = 20;  // centred at 22, already right of 10
  PaintNow();
  EXPECT_EQ(22, btn->CaptionOrigin().x);

  btn->Margins.Left = 3;
  btn->Margins.Right = 10;
  btn->TextWidth = 50;  // centred at 7, would end at 57 > 53
  PaintNow();
  EXPECT_EQ(3, btn->CaptionOrigin().x);
  EXPECT_EQ(kW - 10, btn->CaptionOrigin().x + btn->TextWidth);

  btn->Margins.Left = 10;
  btn->Margins.Right = 10;  // equal: no change
  PaintNow();
  EXPECT_EQ(7, btn->CaptionOrigin().x);
}

TEST_F(MySpeed2Test, ZeroTextWidthMeasuresTheNewCaption) {
  btn->SetCaption("安装");
  PaintNow();
  const int oldWidth = btn->TextWidth;
  btn->SetCaption("下一步");
  PaintNow();
  EXPECT_EQ(oldWidth, btn->TextWidth) << "without the reset the old width places it";
  btn->TextWidth = 0;
  PaintNow();
  EXPECT_GT(btn->TextWidth, oldWidth);
  EXPECT_EQ(CentringOffset(kW - btn->TextWidth), btn->CaptionOrigin().x);
}

TEST_F(MySpeed2Test, GuardsSkipThePaint) {
  btn->GetCanvas().Lock();
  btn->GetCanvas().Lock();
  PaintNow();
  EXPECT_TRUE(btn->NeedsMeasure) << "a skipped paint keeps NeedsMeasure";
  btn->GetCanvas().Unlock();
  btn->GetCanvas().Unlock();
  EXPECT_EQ(kSentinel, form->Pixel(kX + 5, kY + 5));

  MySpeed2::PaintBusy = true;
  PaintNow();
  EXPECT_EQ(kSentinel, form->Pixel(kX + 5, kY + 5));
  MySpeed2::PaintBusy = false;

  // The paint cycle's own single lock lets it through.
  form->PaintControls(form->GetSurfaceDC());
  EXPECT_EQ(15395562u, form->Pixel(kX + 5, kY + 5));
  EXPECT_FALSE(MySpeed2::PaintBusy);
}

TEST_F(MySpeed2Test, InvalidateParentFillsTheInnerRectangleWithoutItsLastRowAndColumn) {
  btn->SetCaption("");
  PaintNow();  // leaves the outline off
  form->Fill(kSentinel);
  btn->InvalidateParent();
  btn->GetCanvas().FreeHandle();
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const bool filled = x >= 2 && x <= kW - 6 && y >= 2 && y <= kH - 6;
      ASSERT_EQ(filled ? kParent : kSentinel, form->Pixel(kX + x, kY + y)) << x << ", " << y;
    }
  }
}

TEST_F(MySpeed2Test, GlyphIsCentredWithTheCaptionBesideIt) {
  btn->SetCaption("");
  HDC screen = GetDC(nullptr);
  HBITMAP glyph = CreateCompatibleBitmap(screen, 10, 8);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, glyph);
  RECT all = {0, 0, 10, 8}, solid = {2, 2, 8, 6};
  HBRUSH green = CreateSolidBrush(RGB(0, 200, 0)), red = CreateSolidBrush(RGB(200, 0, 0));
  FillRect(dc, &all, green);  // the bottom-left colour: transparent
  FillRect(dc, &solid, red);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(green);
  DeleteObject(red);
  ReleaseDC(nullptr, screen);
  btn->SetGlyph(glyph);
  PaintNow();
  // No caption width: G = 10, glyph at (27, 9); the caption follows at 40.
  EXPECT_EQ(ui::Rgb(200, 0, 0), form->Pixel(kX + 27 + 2, kY + 9 + 2));
  EXPECT_EQ(15395562u, form->Pixel(kX + 27, kY + 9));
  EXPECT_EQ(40, btn->CaptionOrigin().x);
}

// ------------------------------------------------ driven through the parent

TEST_F(MySpeed2Test, ColourWritesDoNotRepaint) {
  ASSERT_TRUE(form->ShowForTest());
  Mouse(WM_MOUSEMOVE, kX + 30, kY + 10);  // enter: Over look at once
  ASSERT_TRUE(btn->MouseOver);
  EXPECT_EQ(16245452u, form->Pixel(kX + 5, kY + 5));
  ValidateRect(form->Handle(), nullptr);
  btn->OverColor = ui::Rgb(255, 0, 0);
  btn->BorderOverColor = ui::Rgb(0, 0, 255);
  btn->SetColor(ui::Rgb(0, 255, 0));
  RECT r;
  EXPECT_FALSE(GetUpdateRect(form->Handle(), &r, FALSE)) << "nothing was invalidated";
  EXPECT_EQ(16245452u, form->Pixel(kX + 5, kY + 5));
  btn->Perform(ui::CM_MOUSELEAVE);
  btn->Perform(ui::CM_MOUSEENTER);
  EXPECT_EQ(ui::Rgb(255, 0, 0), form->Pixel(kX + 5, kY + 5));
  EXPECT_EQ(ui::Rgb(0, 0, 255), form->Pixel(kX + 5, kY));
}

TEST_F(MySpeed2Test, DoubleClickShowsNoDownLook) {
  ASSERT_NO_FATAL_FAILURE(ShowAndPress());
  EXPECT_EQ(16046525u, form->Pixel(kX + 5, kY + 5)) << "first press: Down";
  Mouse(WM_LBUTTONUP, kX + 30, kY + 10);
  EXPECT_EQ(16245452u, form->Pixel(kX + 5, kY + 5));
  Mouse(WM_LBUTTONDBLCLK, kX + 30, kY + 10);
  EXPECT_FALSE(btn->MousePressed);
  EXPECT_EQ(16245452u, form->Pixel(kX + 5, kY + 5)) << "second press: still Over";
  Mouse(WM_LBUTTONUP, kX + 30, kY + 10);
  EXPECT_FALSE(btn->MousePressed);
  // The base logic arms the button on the second press as on the first:
  // a double click is two clicks.
  EXPECT_EQ(2, clicks);
}

TEST_F(MySpeed2Test, PressDragOffReleaseOffGivesNoClick) {
  ASSERT_NO_FATAL_FAILURE(ShowAndPress());
  EXPECT_TRUE(btn->MousePressed);
  EXPECT_EQ(form->Handle(), GetCapture()) << "the press captured the mouse";

  Mouse(WM_MOUSEMOVE, 3, 3);  // off: Normal look, caption still lowered
  EXPECT_FALSE(btn->MouseOver);
  EXPECT_EQ(15395562u, form->Pixel(kX + 5, kY + 5));
  EXPECT_EQ(7, btn->CaptionOrigin().y);
  Mouse(WM_MOUSEMOVE, kX + 30, kY + 10);  // back on: Down
  EXPECT_EQ(16046525u, form->Pixel(kX + 5, kY + 5));
  Mouse(WM_MOUSEMOVE, 3, 3);
  Mouse(WM_LBUTTONUP, 3, 3);  // reaches the button through the capture
  EXPECT_EQ(0, clicks);
  EXPECT_FALSE(btn->MousePressed);
  EXPECT_EQ(nullptr, GetCapture());
  EXPECT_EQ(15395562u, form->Pixel(kX + 5, kY + 5));
  EXPECT_EQ(6, btn->CaptionOrigin().y);
}

// The capture taken away mid-press (WM_CANCELMODE, as on Alt+Tab or a popup):
// the press is cancelled at once, the look is Over again with the caption
// back in place, and a later release over the button clicks nothing.
TEST_F(MySpeed2Test, LosingTheCaptureCancelsThePress) {
  ASSERT_NO_FATAL_FAILURE(ShowAndPress());
  ASSERT_EQ(16046525u, form->Pixel(kX + 5, kY + 5)) << "Down";
  SendMessageW(form->Handle(), WM_CANCELMODE, 0, 0);  // the default handling releases it
  EXPECT_EQ(nullptr, GetCapture());
  EXPECT_FALSE(btn->MousePressed);
  EXPECT_EQ(16245452u, form->Pixel(kX + 5, kY + 5)) << "Over again at once";
  EXPECT_EQ(6, btn->CaptionOrigin().y);
  Mouse(WM_LBUTTONUP, kX + 30, kY + 10);
  EXPECT_EQ(0, clicks);
  EXPECT_EQ(16245452u, form->Pixel(kX + 5, kY + 5));
  // The button still works: a new press and release click once.
  Mouse(WM_LBUTTONDOWN, kX + 30, kY + 10);
  Mouse(WM_LBUTTONUP, kX + 30, kY + 10);
  EXPECT_EQ(1, clicks);
}

// Another window takes the capture while the press was dragged off: the look
// goes back to Normal with the caption in place; a release back over the
// button clicks nothing.
TEST_F(MySpeed2Test, CaptureTakenByAnotherWindowEndsThePressInTheNormalLook) {
  ASSERT_NO_FATAL_FAILURE(ShowAndPress());
  Mouse(WM_MOUSEMOVE, 3, 3);
  ASSERT_EQ(7, btn->CaptionOrigin().y) << "dragged off: Normal, caption lowered";
  HWND popup = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                               nullptr);
  ASSERT_NE(nullptr, popup);
  SetCapture(popup);
  EXPECT_FALSE(btn->MousePressed);
  EXPECT_EQ(15395562u, form->Pixel(kX + 5, kY + 5));
  EXPECT_EQ(6, btn->CaptionOrigin().y);
  ReleaseCapture();
  DestroyWindow(popup);
  Mouse(WM_MOUSEMOVE, kX + 30, kY + 10);
  Mouse(WM_LBUTTONUP, kX + 30, kY + 10);
  EXPECT_EQ(0, clicks);
  EXPECT_EQ(16245452u, form->Pixel(kX + 5, kY + 5)) << "Over, not a stuck Down";
}

TEST_F(MySpeed2Test, ReleaseOnTheButtonClicksWhilePressedIsStillSet) {
  ASSERT_NO_FATAL_FAILURE(ShowAndPress());
  Mouse(WM_LBUTTONUP, kX + 31, kY + 11);
  EXPECT_EQ(1, clicks);
  EXPECT_TRUE(pressedDuringClick);
  EXPECT_FALSE(btn->MousePressed);
}

TEST_F(MySpeed2Test, EnablingRepaintsAtOnceAndMeasures) {
  ASSERT_TRUE(form->ShowForTest());
  btn->SetCaption("安装");
  PaintNow();
  btn->SetEnabled(false);
  const int disabledInk = InkCount(15395562);
  EXPECT_GT(disabledInk, 0);
  // The success path: new caption, width reset, enabled: the repaint that
  // the enabling causes measures and centres "下一步".
  form->Fill(kSentinel);
  btn->SetCaption("下一步");
  btn->TextWidth = 0;
  btn->SetEnabled(true);
  EXPECT_EQ(15395562u, form->Pixel(kX + 5, kY + 5)) << "drawn without pumping messages";
  EXPECT_GT(btn->TextWidth, 24);
  EXPECT_EQ(CentringOffset(kW - btn->TextWidth), btn->CaptionOrigin().x);
}

TEST_F(MySpeed2Test, DisabledButtonGetsEnterAndLeaveButNoPresses) {
  ASSERT_TRUE(form->ShowForTest());
  btn->SetCaption("");
  btn->SetEnabled(false);
  Mouse(WM_MOUSEMOVE, kX + 30, kY + 10);
  EXPECT_TRUE(btn->MouseOver);
  Mouse(WM_LBUTTONDOWN, kX + 30, kY + 10);
  EXPECT_FALSE(btn->MousePressed);
  Mouse(WM_LBUTTONUP, kX + 30, kY + 10);
  EXPECT_EQ(0, clicks);
  Mouse(WM_MOUSEMOVE, 3, 3);
  EXPECT_FALSE(btn->MouseOver);
}

}  // namespace
