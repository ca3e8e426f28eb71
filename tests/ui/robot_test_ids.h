// Templates and control ids of the UI robot's own test windows.
#pragma once

#define IDD_KOREAN_DIALOG 100
#define IDC_KOREAN_TEXT 1001
#define IDC_KOREAN_CHECK 1002
#define IDC_KOREAN_EDIT 1003
#define IDC_KOREAN_GAP 1004
