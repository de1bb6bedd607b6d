#pragma once
// The setup window: its layout and the handlers bound to it.
#include <memory>

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

  void FormCreate();
  void btnSetupClick();
  void timerAutoSetupTimer();
  void btnMinimizeClick();
  void panelTitleMouseDown(int button, int x, int y);
  void labelWebsiteClick();
  void labelMoreUsefulClick();

 private:
  void BuildTitle();
  void BuildBanner();
  void BuildStatus();
  void BuildBody();

  std::unique_ptr<ui::Timer> timer_;
};
