// The template and control ids of the keyboard-security tests' dialog.
#pragma once

#define IDD_KEYCRYPT_TEST 400
#define IDC_KEYCRYPT_PASSWORD 4001
#define IDC_KEYCRYPT_CODE 4002
