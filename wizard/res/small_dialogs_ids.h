// Templates, controls and pictures of the error, password, PIN and status dialogs.
#pragma once

#define IDD_ERROR_DLG 23000
#define IDC_ERROR_DETAIL 23000
#define IDC_ERROR_ICON 23002
#define IDC_ERROR_SUMMARY 23003
#define IDI_ERROR_DLG 17031

#define IDD_INPUT_PASSWD 129
#define IDC_PASSWD_EDIT 35473
#define IDC_PASSWD_LABEL 52482

#define IDD_INPUT_PIN 17013
#define IDC_PIN_EDIT 18000
#define IDC_PIN_LABEL 1008

#define IDD_STATUS2 27644
#define IDC_STATUS2_TEXT 63060

#define IDD_STATUS3 18001
#define IDC_STATUS3_TEXT 18002
#define IDC_STATUS3_PICTURE 8021
#define IDB_STATUS3 8031
