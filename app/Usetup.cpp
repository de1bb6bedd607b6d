#include "app/Usetup.h"

#include <shellapi.h>

#include "app/messages.h"
#include "app/options.h"
#include "app/website.h"
#include "install/install_folder.h"
#include "install/install_state.h"
#include "install/worker.h"
#include "ui/application.h"
#include "util/files_win.h"
#include "util/process_win.h"
#include "util/product_version.h"
#include "util/text.h"
#include "util/text_win.h"

namespace {

constexpr ui::Color Hex(unsigned rgb) {
  return ui::Rgb((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

ui::Font Tahoma(int height, bool bold = false) {
  ui::Font f;
  f.name = "Tahoma";
  f.height = height;
  f.bold = bold;
  return f;
}

const ui::Color kFormColor = Hex(0xF3F3F3);
const ui::Color kTitleColor = Hex(0xFAFAC8);
const ui::Color kBannerColor = Hex(0x3A6EA5);
const ui::Color kStatusColor = Hex(0xDFDFDF);

ui::ControlArgs FormArgs() {
  ui::ControlArgs a;
  a.name = "SetupForm";
  a.bounds = {0, 0, 644, 377};
  a.font = Tahoma(14);
  a.color = kFormColor;
  return a;
}

// "D:\Tovra" where D: is a fixed local drive. Without one (no D:, or a CD or
// removable drive there, where no install can stay) "\Tovra" on the system
// drive, which every PC has.
std::string DefaultInstallFolder() {
  if (GetDriveTypeA("D:\\") == DRIVE_FIXED) return "D:\\Tovra";
  char windows[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
  if (length >= 2 && length < sizeof windows && windows[1] == ':') {
    return std::string(windows, 2) + "\\Tovra";
  }
  return "C:\\Tovra";
}

ui::LabelArgs LabelAt(const char *name, ui::Bounds b, const char *caption) {
  ui::LabelArgs a;
  a.name = name;
  a.bounds = b;
  a.caption = caption;
  return a;
}

}  // namespace

TSetupForm::TSetupForm() : ui::Form(FormArgs()) {
  BuildTitle();
  BuildBanner();
  BuildStatus();
  BuildBody();
  timerAutoSetup = AddTimer(6000);
  timerAutoSetup->OnTimer = [this] { timerAutoSetupTimer(); };
}

// The home-made title bar: dragged to move the window, closed with "X". The
// window has a fixed size, so the panels' bounds are those their alignment
// gives (stacked from the top, the status bar at the bottom, the body between)
// and the "X" stays in the top-right corner.
void TSetupForm::BuildTitle() {
  ui::PanelArgs p;
  p.name = "panelTitle";
  p.bounds = {0, 0, 644, 27};
  p.color = kTitleColor;
  p.bevelOuter = ui::Bevel::Raised;
  panelTitle = Add<ui::Panel>(p);
  panelTitle->OnMouseDown = [this](int b, int x, int y) { panelTitleMouseDown(b, x, y); };

  ui::LabelArgs caption = LabelAt("labelCaption", {8, 5, 84, 17}, "正在安装 . . .");
  caption.font = Tahoma(14, true);
  caption.transparent = false;
  labelCaption = panelTitle->Add<ui::Label>(caption);

  ui::SpeedButtonArgs b;
  b.name = "btnMinimize";
  b.bounds = {617, 3, 24, 21};
  b.caption = "X";
  b.font = Tahoma(14);
  b.flat = true;
  b.hint = "托盘显示";
  btnMinimize = panelTitle->Add<ui::SpeedButton>(b);
  btnMinimize->OnClick = [this] { btnMinimizeClick(); };
}

void TSetupForm::BuildBanner() {
  ui::PanelArgs p;
  p.name = "Panel1";
  p.bounds = {0, 27, 644, 44};
  p.color = kBannerColor;
  Panel1 = Add<ui::Panel>(p);

  ui::Font yahei;
  yahei.name = "微软雅黑";
  yahei.height = 21;
  yahei.color = ui::kWhite;
  yahei.charset = GB2312_CHARSET;
  ui::LabelArgs l =
      LabelAt("labelProgramFileName", {13, 8, 462, 28}, "Tovra - 大屏幕与观众之间的互动通讯");
  l.font = yahei;
  l.transparent = false;
  labelProgramFileName = Panel1->Add<ui::Label>(l);
}

void TSetupForm::BuildStatus() {
  ui::PanelArgs p;
  p.name = "panelStatus";
  p.bounds = {0, 333, 644, 44};
  p.color = kStatusColor;
  p.bevelOuter = ui::Bevel::Raised;
  panelStatus = Add<ui::Panel>(p);

  btnSetup = panelStatus->Add<MySpeed2>();
  btnSetup->SetName("btnSetup");
  btnSetup->SetBounds(295, 10, 63, 26);
  btnSetup->SetCaption("安装");
  btnSetup->SetFont(Tahoma(12));
  btnSetup->SetColor(15395562);      // #EAEAEA
  btnSetup->OverColor = 16245452;    // #CCE2F7
  btnSetup->DownColor = 16046525;    // #BDD9F4
  btnSetup->BorderColor = 16419922;  // #528CFA
  btnSetup->BorderOverColor = 16419922;
  btnSetup->CycleColor = 16307128;   // #B8D3F8
  btnSetup->ParentColor = 14671839;  // #DFDFDF
  btnSetup->TextHeight = 13;
  btnSetup->TextWidth = 24;
  btnSetup->SetTag(0);
  btnSetup->OnClick = [this] { btnSetupClick(); };

  ui::LabelArgs finish = LabelAt("labelSetupFinish", {230, 14, 56, 17}, "安装完成");
  finish.visible = false;
  labelSetupFinish = panelStatus->Add<ui::Label>(finish);

  ui::Font ansi12 = Tahoma(12);
  ansi12.charset = ANSI_CHARSET;
  ui::LabelArgs ver = LabelAt("labelVer", {480, 15, 84, 14}, "Ver 3.0.26.202");
  ver.font = ansi12;
  labelVer = panelStatus->Add<ui::Label>(ver);

  ui::LabelArgs web = LabelAt("labelWebsite", {573, 14, 48, 14}, "官方网站");
  web.font = ansi12;
  web.font->color = ui::kBlue;
  web.cursor = ui::Cursor::Hand;
  web.transparent = false;
  labelWebsite = panelStatus->Add<ui::Label>(web);
  labelWebsite->OnClick = [this] { labelWebsiteClick(); };
}

// The body's padding of 5 (left, right, bottom) would only place children
// aligned to its edges; it has none, so the padding is not kept.
void TSetupForm::BuildBody() {
  ui::PanelArgs p;
  p.name = "Panel2";
  p.bounds = {0, 71, 644, 262};
  p.font = Tahoma(12);
  Panel2 = Add<ui::Panel>(p);

  struct Line {
    const char *name;
    ui::Bounds bounds;
    const char *caption;
    bool visible;
  };
  static const Line lines[] = {
      {"labelLine1", {16, 25, 156, 14}, "Tovra应用广泛：", true},
      {"labelLine2", {16, 43, 156, 14}, "Tovra应用广泛：", false},
      {"Label6", {32, 75, 108, 14}, "（一）婚庆寿宴酒席", true},
      {"labelEquepmentLine2", {190, 75, 72, 14}, "（二）大课堂", true},
      {"Label8", {351, 75, 84, 14}, "（三）酒楼大堂", true},
      {"Label2", {32, 109, 124, 14}, "（四）卡拉OK娱乐场所", true},
      {"Label3", {190, 109, 120, 14}, "（五）商家的电视屏幕", true},
      {"Label4", {351, 109, 96, 14}, "（六）商场市广场", true},
      {"Label7", {32, 144, 120, 14}, "（七）学校观摩公开课", true},
      {"Label10", {190, 144, 120, 14}, "（八）公司、单位会议", true},
      {"Label11", {351, 144, 84, 14}, "（九）娱乐演出", true},
      {"Label9", {17, 227, 48, 14}, "安装目录", true},
  };
  for (const Line &line : lines) {
    ui::LabelArgs a = LabelAt(line.name, line.bounds, line.caption);
    a.visible = line.visible;
    Panel2->Add<ui::Label>(a);
  }

  ui::LabelArgs more = LabelAt("labelMoreUseful", {32, 176, 36, 14}, "更多...");
  more.font = Tahoma(12);
  more.font->color = ui::kBlue;
  more.cursor = ui::Cursor::Hand;
  labelMoreUseful = Panel2->Add<ui::Label>(more);
  labelMoreUseful->OnClick = [this] { labelMoreUsefulClick(); };

  ui::ControlArgs edit;
  edit.name = "editSetupFolder";
  edit.bounds = {74, 225, 238, 22};
  edit.caption = DefaultInstallFolder();
  // Tab moves from the folder box to the check box: the order they are made.
  editSetupFolder = Panel2->Add<ui::Edit>(edit);

  ui::ControlArgs cb;
  cb.name = "cbAutorunStartup";
  cb.bounds = {332, 226, 138, 18};
  cb.caption = "电脑启动时自动运行";
  cbAutorunStartup = Panel2->Add<ui::CheckBox>(cb);
}

void TSetupForm::FormCreate() {
  FormCreateFrom(GetCommandLineA());
}

void TSetupForm::FormCreateFrom(const char *commandLine) {
  // The hook acts after the toolkit's own handling of every message.
  ui::WndMethod previous = WindowProc;
  WindowProc = [this, previous](ui::Message &m) {
    previous(m);
    switch (m.Msg) {
      case UM_INSTALL_OK:
        OnInstallOk();
        break;
      case UM_INSTALL_FAILED:
        OnInstallFailed();
        break;
      case UM_SHOW_WEBSITE:
        OnShowWebsite();
        break;
    }
  };

  OptionTable *options = NewOptionTable(20);
  const int count = ParseCommandLine(commandLine, true, options, 20);
  if (FindOption("auto_setup", options, count) != nullptr) {
    SetupFlags.autoSetup = 1;
    // Without its timer the hidden window would wait for ever: that is a
    // failed install (the box, exit 1), reported once the loop runs.
    if (!timerAutoSetup->SetEnabled(true)) PostMessageA(Handle(), UM_INSTALL_FAILED, 0, 0);
  }
  const char *folder = FindOption("target_dir", options, count);
  if (folder != nullptr && folder[0] != '\0') editSetupFolder->SetText(folder);
  FreeOptionTable(options);

  labelVer->SetCaption(std::string("Ver ") + ProductVersion);
  if (SetupFlags.autoSetup) ui::App().ShowMainForm = false;
}

void TSetupForm::OnInstallOk() {
  btnSetup->SetCaption("下一步");
  btnSetup->TextWidth = 0;  // the new caption is measured by the repaint below
  btnSetup->SetEnabled(true);
  btnSetup->SetTag(1);
  labelSetupFinish->SetCaption("安装成功");
  labelSetupFinish->SetVisible(true);
  if (SetupFlags.autoSetup) btnSetupClick();
}

// Failed is final: the inputs stay disabled. Unattended, nobody could close
// the hidden window, so it closes itself once the box is dismissed.
void TSetupForm::OnInstallFailed() {
  installFailed_ = true;
  labelSetupFinish->SetCaption("安装失败");
  labelSetupFinish->SetVisible(true);
  ShowFailureBox();
  if (SetupFlags.autoSetup) Close();
}

void TSetupForm::ShowFailureBox() {
  MessageBoxA(Handle(), "未能安装", ui::App().Title().c_str(), MB_OK);
}

void TSetupForm::OnShowWebsite() {
  labelWebsite->SetVisible(true);
}

void TSetupForm::btnSetupClick() {
  if (btnSetup->Tag() != 0) {
    // InstallDir holds at most kMaxInstallDirLength characters here, so the
    // program path fits.
    char program[kPathSize];
    JoinPath(program, InstallDir, kControlProgram);
    char params[128];
    char *end = CopyTextEnd(params, "-create_sm_shortcut -wizard -setup");
    if (SetupFlags.desktopShortcut) end = CopyTextEnd(end, " -create_dsk_shortcut");
    if (SetupFlags.autorun) end = CopyTextEnd(end, " -reg_autorun");
    if (SetupFlags.autoSetup) end = CopyTextEnd(end, " -auto_setup");
    // Through the process runner's launch: no shell error box may hold the
    // window open (unattended, nobody would answer it); the result is ignored.
    HANDLE process = LaunchProgram(program, params, InstallDir, true);
    if (process != nullptr) CloseHandle(process);
    Close();
    return;
  }
  if (BeginInstall()) return;
  InstallDir[0] = '\0';
  if (SetupFlags.autoSetup) {
    // Unattended, a refused folder would leave a hidden process waiting for
    // ever: it fails like an install instead.
    PostMessageA(Handle(), UM_INSTALL_FAILED, 0, 0);
  } else {
    // The window stays in Ready with its inputs enabled, so the folder can be
    // corrected; without a word the button would only look dead.
    ShowFailureBox();
  }
}

// The Install click up to the worker's start. False when the folder is
// refused (empty, unusable by InstallFolderUsable, or cannot be created),
// before anything is created: the window stays in Ready.
bool TSetupForm::BeginInstall() {
  const std::string typed = editSetupFolder->Text();
  if (typed.empty()) return false;
  // A relative folder ("Tovra", "rel\Tovra") or one relative to the root
  // ("\Tovra") is made absolute against the installer's working folder: the
  // extractor, which runs in the folder, would otherwise resolve it again.
  // Forward slashes become backslashes on the way.
  char full[kPathSize];
  const DWORD length = GetFullPathNameA(typed.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return false;
  const std::string folder = full;
  // The worker builds its paths and the extract command from the folder in
  // fixed buffers; a longer folder is refused here, before anything changes.
  const bool needsSeparator = !EndsInBackslash(folder.c_str());
  if (folder.size() + (needsSeparator ? 1 : 0) > static_cast<size_t>(kMaxInstallDirLength)) {
    return false;
  }
  char *end = CopyTextEnd(InstallDir, folder.c_str());
  if (needsSeparator) CopyTextEnd(end, "\\");
  // The worker's own rule, so that nothing is created for a folder it would
  // refuse.
  if (!InstallFolderUsable(InstallDir)) return false;
  if (!CreateDirectoryChain(InstallDir, false)) return false;

  BackUpClientData();

  btnSetup->SetEnabled(false);
  editSetupFolder->SetEnabled(false);
  cbAutorunStartup->SetEnabled(false);
  SetupFlags.autorun = cbAutorunStartup->Checked() ? 1 : 0;
  // Without a worker no result would ever arrive; report the failure instead
  // of waiting in Installing for good.
  if (!StartInstallWorker(Handle())) PostMessageA(Handle(), UM_INSTALL_FAILED, 0, 0);
  return true;
}

// Fires once: the unattended install starts 6 s after creation.
void TSetupForm::timerAutoSetupTimer() {
  timerAutoSetup->SetEnabled(false);
  btnSetupClick();
}

// Despite its name and hint, the button closes the window.
void TSetupForm::btnMinimizeClick() {
  Close();
}

// The window has no system caption: the title panel moves it, by letting the
// system run its move loop as if the caption had been grabbed.
void TSetupForm::panelTitleMouseDown(int, int, int) {
  ReleaseCapture();
  SendMessageA(Handle(), WM_SYSCOMMAND, 0xF012, 0);  // SC_MOVE | HTCAPTION
}

// The address is fixed when the program is built: joined as literals, it needs
// no formatting code (the C runtime's printf family is bulky in a static link).
void BuildWebsiteAddress(char *out) {
  static constexpr wchar_t kAddress[] = L"http://" TOVRA_WEBSITE_HOST_W L"/?from=pcsetup";
  constexpr int kLength = sizeof kAddress / sizeof kAddress[0] - 1;
  // WideToAnsi writes at most two bytes a character and the terminator.
  static_assert(2 * kLength + 1 <= kWebsiteAddressSize, "website address too long");
  WideToAnsi(out, kAddress, kLength);
}

void TSetupForm::labelWebsiteClick() {
  char address[kWebsiteAddressSize];
  BuildWebsiteAddress(address);
  ShellExecuteA(Handle(), "open", address, nullptr, nullptr, SW_SHOW);
}

void TSetupForm::labelMoreUsefulClick() {
  labelWebsiteClick();
}
