// Resource and control ids of the filter's dialogs and bitmaps, shared by the code and ZAV_KCF.rc.
#pragma once

#define IDD_ABOUT 101
#define IDD_CONTROL 102
#define IDB_LOGO 104
#define IDB_SAMPLE 106

// Control dialog.
#define IDC_PREVIEW_BUTTON 3
#define IDC_SAVE 4
#define IDC_DIVIDE_EDIT 1007
#define IDC_DIVIDE_SPIN 1008
#define IDC_WHOLE_IMAGE 1009
#define IDC_MATERIAL_CHANNEL 1010
#define IDC_OBJECT_CHANNEL 1011
#define IDC_MATERIAL_EDIT 1012
#define IDC_OBJECT_EDIT 1013
#define IDC_MATERIAL_SPIN 1014
#define IDC_OBJECT_SPIN 1015
#define IDC_GRID_FIRST 1016  /* row r, column c: 1016 + 9r + c */
#define IDC_GRID_LAST 1096
#define IDC_OFFSET_EDIT 1097
#define IDC_OFFSET_SPIN 1098
#define IDC_INVERT 1099
#define IDC_PRESET_LIST 1101
#define IDC_PICTURE 1102
#define IDC_PRESET_NAME 1103
