// The setup window's layout: every named control with its place, caption,
// look and visibility, as built before the message loop runs.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/Usetup.h"
#include "tests/support/win_test_support.h"

namespace {

struct Expect {
  const char *name;
  const char *parent;
  ui::Bounds bounds;
  const char *caption;
  bool visible;
};

// Captions as the program holds them (CP936).
const Expect kControls[] = {
    {"panelTitle", "SetupForm", {0, 0, 644, 27}, "", true},
    {"labelCaption", "panelTitle", {8, 5, 84, 17}, "正在安装 . . .", true},
    {"btnMinimize", "panelTitle", {617, 3, 24, 21}, "X", true},
    {"Panel1", "SetupForm", {0, 27, 644, 44}, "", true},
    {"labelProgramFileName",
     "Panel1",
     {13, 8, 462, 28},
     "Tovra - 大屏幕与观众之间的互动通讯",
     true},
    {"Panel2", "SetupForm", {0, 71, 644, 262}, "", true},
    {"labelLine1", "Panel2", {16, 25, 156, 14}, "Tovra应用广泛：", true},
    {"labelLine2", "Panel2", {16, 43, 156, 14}, "Tovra应用广泛：", false},
    {"Label6", "Panel2", {32, 75, 108, 14}, "（一）婚庆寿宴酒席", true},
    {"labelEquepmentLine2", "Panel2", {190, 75, 72, 14}, "（二）大课堂", true},
    {"Label8", "Panel2", {351, 75, 84, 14}, "（三）酒楼大堂", true},
    {"Label2", "Panel2", {32, 109, 124, 14}, "（四）卡拉OK娱乐场所", true},
    {"Label3", "Panel2", {190, 109, 120, 14}, "（五）商家的电视屏幕", true},
    {"Label4", "Panel2", {351, 109, 96, 14}, "（六）商场市广场", true},
    {"Label7", "Panel2", {32, 144, 120, 14}, "（七）学校观摩公开课", true},
    {"Label10", "Panel2", {190, 144, 120, 14}, "（八）公司、单位会议", true},
    {"Label11", "Panel2", {351, 144, 84, 14}, "（九）娱乐演出", true},
    {"labelMoreUseful", "Panel2", {32, 176, 36, 14}, "更多...", true},
    {"Label9", "Panel2", {17, 227, 48, 14}, "安装目录", true},
    {"editSetupFolder", "Panel2", {74, 225, 238, 22}, "D:\\Tovra", true},
    {"cbAutorunStartup", "Panel2", {332, 226, 138, 18}, "电脑启动时自动运行", true},
    {"panelStatus", "SetupForm", {0, 333, 644, 44}, "", true},
    {"btnSetup", "panelStatus", {295, 10, 63, 26}, "安装", true},
    {"labelSetupFinish", "panelStatus", {230, 14, 56, 17}, "安装完成", false},
    {"labelVer", "panelStatus", {480, 15, 84, 14}, "Ver 3.0.26.203", true},
    {"labelWebsite", "panelStatus", {573, 14, 48, 14}, "官方网站", true},
};

// The control of that name anywhere under parent, with its window when it
// has one.
struct Found {
  ui::Control *control = nullptr;
  HWND window = nullptr;
};
Found Find(const ui::WinControl *parent, const char *name) {
  for (const auto &g : parent->GraphicChildren())
    if (std::strcmp(g->Name(), name) == 0) return {g.get(), nullptr};
  for (const auto &w : parent->WinChildren()) {
    if (std::strcmp(w->Name(), name) == 0) return {w.get(), w->Handle()};
    const Found inside = Find(w.get(), name);
    if (inside.control) return inside;
  }
  return {};
}

// The folder box starts with "D:\Tovra" on a PC with a fixed D: drive, which
// the fixture gives the Wine prefix while it runs (see DefaultFolderTest in
// the behaviour suite for the other case). Without one the box's text is
// not checked.
class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive = std::make_unique<test_support::DriveD>(test_support::DriveD::kFixed);
    form = std::make_unique<TSetupForm>();
    ASSERT_TRUE(form->CreateHandle());
    form->DoCreate();
  }
  bool Checks(const std::string &name) const { return name != "editSetupFolder" || drive->Ok(); }
  std::unique_ptr<test_support::DriveD> drive;
  std::unique_ptr<TSetupForm> form;
};

TEST_F(LayoutTest, EveryNamedControlHasItsPlaceCaptionAndVisibility) {
  for (const Expect &e : kControls) {
    SCOPED_TRACE(e.name);
    const Found found = Find(form.get(), e.name);
    const ui::Control *c = found.control;
    ASSERT_NE(nullptr, c);
    EXPECT_STREQ(e.parent, c->Parent()->Name());
    const std::vector<int> bounds = {e.bounds.left, e.bounds.top, e.bounds.width, e.bounds.height};
    EXPECT_EQ(bounds, (std::vector<int>{c->Left(), c->Top(), c->Width(), c->Height()}));
    if (Checks(e.name)) {
      EXPECT_EQ(std::string(e.caption), c->Caption());
    }
    EXPECT_EQ(e.visible, c->Visible());
    if (found.window) {  // the real window agrees
      HWND h = found.window;
      RECT r;
      GetWindowRect(h, &r);
      MapWindowPoints(HWND_DESKTOP, GetParent(h), reinterpret_cast<POINT *>(&r), 2);
      EXPECT_EQ(bounds, (std::vector<int>{r.left, r.top, r.right - r.left, r.bottom - r.top}));
    }
  }
}

TEST_F(LayoutTest, WindowIsBorderlessCentredAndSized) {
  HWND h = form->Handle();
  RECT client;
  GetClientRect(h, &client);
  EXPECT_EQ(644, client.right);
  EXPECT_EQ(377, client.bottom);
  const LONG style = GetWindowLongW(h, GWL_STYLE);
  EXPECT_FALSE(style & WS_CAPTION);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 644) / 2, form->Left());
  EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 377) / 2, form->Top());
  EXPECT_EQ(ui::Rgb(0xF3, 0xF3, 0xF3), form->GetColor());
  EXPECT_STREQ("Tahoma", form->GetFont().name);
  EXPECT_EQ(14, form->GetFont().height);
}

TEST_F(LayoutTest, TypedReferencesAndLooks) {
  EXPECT_EQ(Find(form.get(), "btnSetup").control, form->btnSetup);
  EXPECT_EQ(Find(form.get(), "editSetupFolder").control, form->editSetupFolder);
  EXPECT_EQ(Find(form.get(), "cbAutorunStartup").control, form->cbAutorunStartup);
  EXPECT_EQ(Find(form.get(), "labelSetupFinish").control, form->labelSetupFinish);
  EXPECT_EQ(Find(form.get(), "labelWebsite").control, form->labelWebsite);
  EXPECT_EQ(Find(form.get(), "labelVer").control, form->labelVer);

  EXPECT_EQ(ui::Rgb(0xFA, 0xFA, 0xC8), form->panelTitle->GetColor());
  EXPECT_EQ(ui::Bevel::Raised, form->panelTitle->BevelOuter());
  EXPECT_EQ(ui::Rgb(0x3A, 0x6E, 0xA5), form->Panel1->GetColor());
  EXPECT_EQ(ui::Bevel::None, form->Panel1->BevelOuter());
  EXPECT_EQ(form->GetColor(), form->Panel2->GetColor());
  EXPECT_EQ(12, form->Panel2->GetFont().height);
  EXPECT_EQ(ui::Rgb(0xDF, 0xDF, 0xDF), form->panelStatus->GetColor());
  EXPECT_EQ(ui::Bevel::Raised, form->panelStatus->BevelOuter());

  EXPECT_TRUE(form->labelCaption->GetFont().bold);
  const ui::Font &banner = form->labelProgramFileName->GetFont();
  EXPECT_STREQ("微软雅黑", banner.name);
  EXPECT_EQ(21, banner.height);
  EXPECT_EQ(ui::kWhite, banner.color);
  EXPECT_EQ(GB2312_CHARSET, banner.charset);
  EXPECT_EQ(ui::kBlue, form->labelMoreUseful->GetFont().color);
  EXPECT_EQ(ui::Cursor::Hand, form->labelMoreUseful->GetCursor());
  EXPECT_EQ(ui::kBlue, form->labelWebsite->GetFont().color);
  EXPECT_EQ(ANSI_CHARSET, form->labelWebsite->GetFont().charset);
  EXPECT_EQ(ui::Cursor::Hand, form->labelWebsite->GetCursor());
  EXPECT_EQ(ANSI_CHARSET, form->labelVer->GetFont().charset);
  EXPECT_EQ(14, form->labelSetupFinish->GetFont().height) << "the window font";
  EXPECT_EQ(12, Find(form.get(), "Label6").control->GetFont().height);
  EXPECT_EQ("托盘显示", form->btnMinimize->Hint());
  EXPECT_TRUE(form->btnMinimize->Flat());

  MySpeed2 *b = form->btnSetup;
  EXPECT_EQ(15395562u, b->GetColor());
  EXPECT_EQ(16245452u, b->OverColor);
  EXPECT_EQ(16046525u, b->DownColor);
  EXPECT_EQ(16419922u, b->BorderColor);
  EXPECT_EQ(16419922u, b->BorderOverColor);
  EXPECT_EQ(16307128u, b->CycleColor);
  EXPECT_EQ(14671839u, b->ParentColor);
  EXPECT_EQ(13, b->TextHeight);
  EXPECT_EQ(24, b->TextWidth);
  EXPECT_EQ(0, b->Tag());
  EXPECT_EQ(12, b->GetFont().height);
  EXPECT_TRUE(b->Hint().empty());

  if (drive->Ok()) {
    EXPECT_EQ("D:\\Tovra", form->editSetupFolder->Text());
  }
  EXPECT_FALSE(form->cbAutorunStartup->Checked());
  EXPECT_EQ(6000u, form->timerAutoSetup->Interval());
  EXPECT_FALSE(form->timerAutoSetup->Enabled());
}

// The message loop hands keys to IsDialogMessage, which moves the focus
// along the tab stops: the folder box, then the check box, and round again.
TEST_F(LayoutTest, TabKeyMovesFromTheFolderToTheCheckBox) {
  HWND edit = form->editSetupFolder->Handle();
  HWND cb = form->cbAutorunStartup->Handle();
  EXPECT_EQ(cb, GetNextDlgTabItem(form->Handle(), edit, FALSE));
  EXPECT_EQ(edit, GetNextDlgTabItem(form->Handle(), cb, FALSE));

  form->Show();
  SetForegroundWindow(form->Handle());
  SetFocus(edit);
  ASSERT_EQ(edit, GetFocus());
  auto tab = [&](HWND from) {
    MSG msg = {from, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    return IsDialogMessageW(form->Handle(), &msg) != FALSE;
  };
  EXPECT_TRUE(tab(edit));
  EXPECT_EQ(cb, GetFocus());
  EXPECT_TRUE(tab(cb));
  EXPECT_EQ(edit, GetFocus());
}

TEST_F(LayoutTest, CaptionsReachTheWindowsAsUnicode) {
  wchar_t text[64] = {};
  GetWindowTextW(form->cbAutorunStartup->Handle(), text, 64);
  EXPECT_STREQ(L"电脑启动时自动运行", text);
  GetWindowTextW(form->editSetupFolder->Handle(), text, 64);
  if (drive->Ok()) {
    EXPECT_STREQ(L"D:\\Tovra", text);
  }
}

// The window cannot be resized (no sizing frame, WindowIsBorderlessCentredAndSized):
// the "X" sits 3 pixels from the title bar's right edge, which is the window's,
// and the panels fill the width.
TEST_F(LayoutTest, MinimizeButtonStaysInTheTopRightCorner) {
  RECT client;
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client.right, form->panelTitle->Width());
  EXPECT_EQ(client.right - 3, form->btnMinimize->Left() + form->btnMinimize->Width());
  EXPECT_EQ(3, form->btnMinimize->Top());
  EXPECT_EQ(client.right, form->Panel2->Width());
  EXPECT_EQ(client.bottom, form->panelStatus->Top() + form->panelStatus->Height());
}

TEST_F(LayoutTest, MinimizeButtonClosesTheWindow) {
  HWND h = form->Handle();
  form->btnMinimize->Click();
  MSG msg;
  while (PeekMessageW(&msg, h, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_FALSE(IsWindow(h));
}

}  // namespace
