// The UI layer's own contracts: message hooks, routing of the mouse to
// windowless children, canvas text, timer, and the top-level error handler.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/support/refuse.h"
#include "tests/ui/surface_form.h"
#include "ui/application.h"
#include "ui/controls.h"

namespace {

class Probe : public ui::GraphicControl {
 public:
  Probe(ui::WinControl *parent, const ui::ControlArgs &args) : ui::GraphicControl(parent, args) {}
  std::vector<UINT> seen;
  void WndProc(ui::Message &m) override {
    seen.push_back(m.Msg);
    ui::GraphicControl::WndProc(m);
  }
};

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<SurfaceForm>(120, 60, ui::Rgb(0xDF, 0xDF, 0xDF));
    ui::ControlArgs a;
    a.name = "probe";
    a.bounds = {10, 10, 40, 20};
    probe = form->Add<Probe>(a);
    probe->OnClick = [this] { ++clicks; };
    ASSERT_TRUE(form->ShowForTest());
  }
  void Mouse(UINT msg, int x, int y) { SendMessageW(form->Handle(), msg, 0, MAKELPARAM(x, y)); }
  int Count(UINT msg) const {
    int n = 0;
    for (UINT m : probe->seen) n += m == msg;
    return n;
  }
  std::unique_ptr<SurfaceForm> form;
  Probe *probe = nullptr;
  int clicks = 0;
};

// A hook installed as FormCreate installs its own sees each message of the
// real window once the toolkit has handled it: the window's text that
// WM_SETTEXT sets, and the background that WM_PAINT fills, are there when the
// hook looks after passing the message on, and were not before.
TEST_F(UiTest, HookSeesMessagesAfterTheToolkitAndPassesOnTheRest) {
  constexpr ui::Color kSentinel = 0xFF00FF;
  auto text = [&] {
    wchar_t buffer[32] = {};
    GetWindowTextW(form->Handle(), buffer, 32);
    return std::wstring(buffer);
  };
  std::wstring textBefore, textAfter;
  ui::Color pixelBefore = 0, pixelAfter = 0;
  std::vector<UINT> posted;
  ui::WndMethod previous = form->WindowProc;
  form->WindowProc = [&](ui::Message &m) {
    if (m.Msg == WM_SETTEXT) textBefore = text();
    if (m.Msg == WM_PAINT) pixelBefore = form->Pixel(100, 50);
    previous(m);
    if (m.Msg == WM_SETTEXT) textAfter = text();
    if (m.Msg == WM_PAINT) pixelAfter = form->Pixel(100, 50);
    if (m.Msg >= WM_USER) posted.push_back(m.Msg);
  };
  SetWindowTextW(form->Handle(), L"安装Tovra");
  EXPECT_EQ(L"", textBefore);
  EXPECT_EQ(L"安装Tovra", textAfter);

  form->Fill(kSentinel);
  InvalidateRect(form->Handle(), nullptr, TRUE);
  UpdateWindow(form->Handle());
  EXPECT_EQ(kSentinel, pixelBefore);
  EXPECT_EQ(ui::Rgb(0xDF, 0xDF, 0xDF), pixelAfter);

  // Posted messages arrive through the message loop as the worker's do.
  PostMessageW(form->Handle(), WM_USER + 1, 0, 0);
  PostMessageW(form->Handle(), WM_USER + 4, 0, 0);
  MSG msg;
  while (PeekMessageW(&msg, form->Handle(), 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_EQ((std::vector<UINT>{WM_USER + 1, WM_USER + 4}), posted);
}

TEST_F(UiTest, EnterAndLeaveReachADisabledChildButPressesDoNot) {
  probe->SetEnabled(false);
  Mouse(WM_MOUSEMOVE, 20, 20);
  Mouse(WM_LBUTTONDOWN, 20, 20);
  Mouse(WM_LBUTTONUP, 20, 20);
  Mouse(WM_MOUSEMOVE, 100, 50);
  EXPECT_EQ(1, Count(ui::CM_MOUSEENTER));
  EXPECT_EQ(1, Count(ui::CM_MOUSELEAVE));
  EXPECT_EQ(0, Count(WM_LBUTTONDOWN));
  EXPECT_EQ(0, clicks);
}

TEST_F(UiTest, PressCapturesAndOnlyAReleaseInsideClicks) {
  Mouse(WM_MOUSEMOVE, 20, 20);
  Mouse(WM_LBUTTONDOWN, 20, 20);
  EXPECT_EQ(probe, form->CaptureChild());
  Mouse(WM_LBUTTONUP, 45, 25);  // local (35, 15): inside
  EXPECT_EQ(1, clicks);
  EXPECT_EQ(nullptr, form->CaptureChild());
  Mouse(WM_LBUTTONDOWN, 20, 20);
  Mouse(WM_MOUSEMOVE, 110, 55);
  Mouse(WM_LBUTTONUP, 110, 55);  // outside, still delivered to the probe
  EXPECT_EQ(1, clicks);
  EXPECT_EQ(2, Count(WM_LBUTTONUP));
  // Coordinates arrive in the child's own space.
  Mouse(WM_LBUTTONDOWN, 11, 12);
  EXPECT_EQ(nullptr, form->ChildAt({5, 5}, false));
  Mouse(WM_LBUTTONUP, 11, 12);
  EXPECT_EQ(2, clicks);
}

// The parent hears of the lost capture and hands it to the child whose press
// held it; the press is cancelled, so a release inside clicks nothing, and
// the next press captures again.
TEST_F(UiTest, LostCaptureReachesTheCapturedChildAndCancelsItsPress) {
  Mouse(WM_LBUTTONDOWN, 20, 20);
  ASSERT_EQ(probe, form->CaptureChild());
  SendMessageW(form->Handle(), WM_CANCELMODE, 0, 0);
  EXPECT_EQ(nullptr, form->CaptureChild());
  EXPECT_EQ(1, Count(WM_CAPTURECHANGED));
  Mouse(WM_LBUTTONUP, 20, 20);
  EXPECT_EQ(0, clicks);
  Mouse(WM_LBUTTONDOWN, 20, 20);
  EXPECT_EQ(probe, form->CaptureChild());
  Mouse(WM_LBUTTONUP, 20, 20);
  EXPECT_EQ(1, clicks);
  EXPECT_EQ(1, Count(WM_CAPTURECHANGED)) << "a release of our own is no loss";
}

TEST_F(UiTest, PanelMouseDownFiresOnlyOffTheChildren) {
  int downs = 0;
  form->OnMouseDown = [&](int button, int, int) { downs += button == 0; };
  Mouse(WM_LBUTTONDOWN, 20, 20);
  Mouse(WM_LBUTTONUP, 20, 20);
  EXPECT_EQ(0, downs);
  Mouse(WM_LBUTTONDOWN, 100, 50);
  EXPECT_EQ(1, downs);
}

TEST_F(UiTest, HiddenLabelIsNotPaintedAndShowingItRepaints) {
  ui::LabelArgs a;
  a.bounds = {60, 10, 50, 20};
  a.caption = "安装";
  a.visible = false;
  a.font = ui::Font();
  a.font->color = ui::Rgb(0, 0, 0);
  auto *label = form->Add<ui::Label>(a);
  auto inked = [&] {
    int n = 0;
    for (int y = 10; y < 30; ++y)
      for (int x = 60; x < 110; ++x) n += form->Pixel(x, y) != ui::Rgb(0xDF, 0xDF, 0xDF);
    return n;
  };
  UpdateWindow(form->Handle());
  EXPECT_EQ(0, inked());
  label->SetVisible(true);
  UpdateWindow(form->Handle());
  EXPECT_GT(inked(), 10);
  label->SetVisible(false);
  UpdateWindow(form->Handle());
  EXPECT_EQ(0, inked());
}

TEST_F(UiTest, CanvasMeasuresAndDrawsCp936Text) {
  ui::Canvas &c = probe->GetCanvas();
  c.font.name = "Tahoma";
  c.font.height = 12;
  const int one = c.TextWidth("安");
  EXPECT_GT(one, 0);
  EXPECT_EQ(2 * one, c.TextWidth("安安"));
  EXPECT_GT(c.TextWidth("Tovra"), 0);
  EXPECT_EQ(0, c.TextWidth(""));
  EXPECT_EQ(ui::Widen("安装Tovra"), std::wstring(L"安装Tovra"));
  EXPECT_EQ(ui::Narrow(L"安装Tovra"), std::string("安装Tovra"));
}

// The toolkit is built without exceptions: a handler reports its error as a
// value, and it reaches the sink (not a dialog) once.
TEST_F(UiTest, ErrorsReportedFromAHandlerReachTheErrorSink) {
  std::vector<std::string> errors;
  ui::App().ErrorSink = [&](const std::string &m) { errors.push_back(m); };
  probe->OnClick = [] { ui::App().HandleError("no room"); };
  Mouse(WM_LBUTTONDOWN, 20, 20);
  Mouse(WM_LBUTTONUP, 20, 20);
  ui::App().ErrorSink = nullptr;
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ("no room", errors[0]);
}

// After start-up a toolkit error goes to the framework's error dialog (here
// its sink) at once: a timer that cannot be set, a control added later whose
// window cannot be made.
TEST_F(UiTest, ToolkitErrorsAfterStartUpReachTheErrorDialog) {
  std::vector<std::string> errors;
  ui::App().ErrorSink = [&](const std::string &m) { errors.push_back(m); };
  {
    test_support::RefuseTimers refuse;
    ASSERT_TRUE(refuse.Active());
    EXPECT_FALSE(form->AddTimer(20)->SetEnabled(true));
  }
  {
    test_support::RefuseWindows refuse(L"TovraPanel");
    ui::PanelArgs p;
    p.bounds = {0, 0, 10, 10};
    form->Add<ui::Panel>(p);
  }
  ui::App().ErrorSink = nullptr;
  EXPECT_EQ((std::vector<std::string>{"Not enough timers available", "Error creating window"}),
            errors);
}

// During start-up a form that cannot be made fails CreateForm; start-up
// shows the recorded error once, rather than the toolkit at once.
TEST(Application, ErrorsWhileCreatingAFormAreLeftToStartUp) {
  struct PlainForm : ui::Form {
    PlainForm() : ui::Form(ui::ControlArgs()) {}
  };
  std::vector<std::string> errors;
  ui::App().ErrorSink = [&](const std::string &m) { errors.push_back(m); };
  test_support::RefuseWindows refuse(L"TovraForm");
  EXPECT_EQ(nullptr, ui::App().CreateForm<PlainForm>());
  ui::App().ErrorSink = nullptr;
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ("Error creating window", ui::App().LastError());
}

// The timer runs on the form's window: WM_TIMER reaches the handler of the
// timer it names, and a disabled timer fires no more.
TEST_F(UiTest, TimerFiresAfterItsIntervalUntilDisabled) {
  ui::Timer *timer = form->AddTimer(20);
  ui::Timer *other = form->AddTimer(10000);
  int fired = 0, otherFired = 0;
  timer->OnTimer = [&] {
    ++fired;
    timer->SetEnabled(false);  // one-shot use
  };
  other->OnTimer = [&] { ++otherFired; };
  EXPECT_FALSE(timer->Enabled());
  ASSERT_TRUE(timer->SetEnabled(true));
  ASSERT_TRUE(other->SetEnabled(true));
  const DWORD start = GetTickCount();
  MSG msg;
  while (GetTickCount() - start < 300) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
  EXPECT_EQ(1, fired);
  EXPECT_EQ(0, otherFired);
  EXPECT_FALSE(timer->Enabled());
  // A WM_TIMER that names none of the form's timers reaches none of them.
  SendMessageW(form->Handle(), WM_TIMER, 12345, 0);
  EXPECT_EQ(1, fired);
  EXPECT_EQ(0, otherFired);
}

}  // namespace
