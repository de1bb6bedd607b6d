#pragma once
// The setup window: its layout and the handlers bound to it.
#include "ui/controls.h"
#include "ui/form.h"
#include "widgets/Myspeed2.h"

class TSetupForm : public ui::Form {
 public:
  TSetupForm();

  ui::Panel *panelTitle;
  ui::Label *labelCaption;
  ui::SpeedButton *btnMinimize;
  ui::Panel *Panel1;
  ui::Label *labelProgramFileName;
  ui::Panel *panelStatus;
  MySpeed2 *btnSetup;
  ui::Label *labelSetupFinish;
  ui::Label *labelVer;
  ui::Label *labelWebsite;
  ui::Panel *Panel2;
  ui::Label *labelMoreUseful;
  ui::Edit *editSetupFolder;
  ui::CheckBox *cbAutorunStartup;
  ui::Timer *timerAutoSetup;

  // The creation handler: FormCreate.
  void DoCreate() override { FormCreate(); }
  void FormCreate();
  // FormCreate on the given process command line (tests).
  void FormCreateFrom(const char *commandLine);
  void btnSetupClick();
  void timerAutoSetupTimer();
  void btnMinimizeClick();
  void panelTitleMouseDown(int button, int x, int y);
  void labelWebsiteClick();
  void labelMoreUsefulClick();

  // True once an install attempted in this run has failed: the process then
  // exits with 1, so a script running it unattended can tell.
  bool InstallFailed() const { return installFailed_; }

 private:
  void OnInstallOk();
  void OnInstallFailed();
  void OnShowWebsite();
  bool BeginInstall();
  void ShowFailureBox();

  void BuildTitle();
  void BuildBanner();
  void BuildStatus();
  void BuildBody();

  bool installFailed_ = false;
};

// "http://" + the website's host + "/?from=pcsetup" in the ANSI code page;
// out holds at least kWebsiteAddressSize bytes.
constexpr int kWebsiteAddressSize = 128;
void BuildWebsiteAddress(char *out);
