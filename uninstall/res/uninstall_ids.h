// Resource ids of the uninstaller's dialogs, icons, bitmap and cursor (its strings are in
// strings.txt).
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_UNINSTALL_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BANNER 133
#define IDR_HAND_CURSOR 134
#define IDI_STEP_DONE 163
#define IDI_STEP_FAILED 164

#define IDC_BANNER 1002
#define IDC_STATUS 1012
#define IDC_STEP_CACHE 1013
#define IDC_STEP_MODULES 1014
#define IDC_STEP_ACTIVEX 1015
#define IDC_STEP_OTHER 1016
#define IDC_STEP_CACHE_ICON 1017
#define IDC_STEP_MODULES_ICON 1018
#define IDC_STEP_ACTIVEX_ICON 1019
#define IDC_STEP_OTHER_ICON 1020
#define IDC_SHORTCUT 1022

// The system menu's about item; Windows keeps the low four bits of a system command to itself.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
