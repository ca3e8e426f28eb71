// Resource ids of the control's module.
#pragma once

// Dialogs
#define IDD_ABOUTBOX_CERTRELAY 1
#define IDD_PROPPAGE_CERTRELAY 200

// Strings: control/res/strings.txt, generated into "control/res/string_ids.h".
#include "control/res/string_ids.h"

// The about box's icon and the toolbox bitmap.
#define IDI_ABOUTDLL 1
#define IDB_CERTRELAY 1

// Controls of the about box.
#define IDC_ABOUT_ICON 1000
#define IDC_ABOUT_TEXT 1001
