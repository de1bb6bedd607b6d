#pragma once
// Resource ids of 7ZG.EXE. The dialog's only Button-class children are the
// three push buttons, in this order: the installer's watcher finds them by
// class and position.
#define IDD_PROGRESS 100
#define IDC_FILE 1001
#define IDC_BAR 1002
#define IDC_STATS 1003
#define IDC_MESSAGES 1004
#define IDC_BACKGROUND 1005
#define IDC_PAUSE 1006
// The third button is IDCANCEL (2): "取消" while extracting, "关闭(&C)" at the end.
