// Resource ids of BrackenfoldDeviceInterface.rc, shared with the window code.
#pragma once

// Yoke parameters dialog and its controls.
#define IDD_RIDGELINE_YOKE 103
#define IDC_YOKE_GROUP 1000
#define IDC_ROLL_LABEL 1001
#define IDC_PITCH_LABEL 1002
#define IDC_ROLL_LOW 1003
#define IDC_ROLL_MED 1004
#define IDC_ROLL_HIGH 1005
#define IDC_PITCH_LOW 1006
#define IDC_PITCH_MED 1007
#define IDC_PITCH_HIGH 1008

// Texts of the main window.
#define IDS_HARDWARE 105
#define IDS_DEVICE_TYPE 106
#define IDS_PORT 107
#define IDS_VERSION 108
#define IDS_MESSAGE 110
#define IDS_COMMAND 111
#define IDS_LEDS 112
#define IDS_RELOAD_COMMAND_MAP 114

// Program icon and the main window's menu.
#define IDI_BRACKENFOLD 107
#define IDR_MAIN_MENU 130

// Commands of the "&Options" menu.
#define IDM_YOKE_SETTINGS 0x8004
#define IDM_YOKE_RECALIBRATE 0x8005
#define IDM_LEGACY_SUPPORT 0x8006
