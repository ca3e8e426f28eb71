// The stand-in status page of the sender pages' test sheet.
#pragma once

#define IDD_TEST_STATUS 9100
#define IDC_TEST_STATUS_TEXT 9101
