// Templates and control ids of the class layer's test windows.
#pragma once

#define IDD_TEST_DIALOG 100
#define IDC_NAME 1001
#define IDC_FLAG 1002
#define IDC_RADIO1 1003
#define IDC_RADIO2 1004
#define IDC_RADIO3 1005
#define IDC_SECRET 1006
#define IDC_FILTERED 1007

#define IDD_TEST_PAGE1 201
#define IDD_TEST_PAGE2 202
#define IDD_TEST_PAGE3 203
#define IDC_PAGE1_EDIT 2101
#define IDC_PAGE2_EDIT 2201
#define IDC_PAGE3_EDIT 2301

#define IDS_TEST_PAIR 300
