// Resource ids of setup.exe, shared by the resource script and the code.
#pragma once

#define IDI_SETUP 128
#define IDB_LOGO 129
#define IDD_SETUP 132
#define IDD_ABOUT 103
#define IDS_ABOUT_MENU 101
#define IDS_DEFAULT_TITLE 102
#define IDS_INSTALL_FINISHED 110
#define IDS_INSTALL_INCOMPLETE 111
#define IDS_UNINSTALL_FINISHED 112
#define IDS_UNINSTALL_INCOMPLETE 113
#define IDS_UNINSTALL_QUESTION 114

#define IDC_LOGO 1000
#define IDC_TOOL 1001
#define IDC_EMAIL 1002
#define IDC_PROGRAM_PATH 1006
#define IDC_BROWSE 1007
#define IDC_VERSIONS 1008
#define IDC_PROGRESS 1012
#define IDC_SETUP 1015

#define IDM_ABOUT 16
