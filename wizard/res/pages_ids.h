// Templates, controls and icons of the transfer wizard's recipient and status pages.
#pragma once

// Registration-number page.
#define IDD_PAGE_INPUT_SSN 30234
#define IDC_SSN_DESCRIPTION 63059
#define IDC_SSN_RADIO_RESIDENT 63055
#define IDC_SSN_RADIO_BUSINESS 63058
#define IDC_SSN_RESIDENT1 63004
#define IDC_SSN_RESIDENT2 63006
#define IDC_SSN_RESIDENT_DASH 63052
#define IDC_SSN_BUSINESS1 63002
#define IDC_SSN_BUSINESS2 63003
#define IDC_SSN_BUSINESS3 63005
#define IDC_SSN_BUSINESS_DASH1 63053
#define IDC_SSN_BUSINESS_DASH2 63054

// Recipient start page.
#define IDD_PAGE_RECIPIENT_START 2469
#define IDC_START_STEPS 63003
#define IDC_START_NEXT 63090

// Code display pages (8 and 12 characters).
#define IDD_PAGE_OUTPUT_AN 30257
#define IDD_PAGE_OUTPUT_AN2 2466
#define IDC_CODE_DESCRIPTION 63007
#define IDC_CODE_LABEL 63014
#define IDC_CODE_GROUP1 63000
#define IDC_CODE_GROUP2 63016
#define IDC_CODE_GROUP3 63017

// Certificate confirmation page.
#define IDD_PAGE_CERT_DN 30236
#define IDC_CERT_DN_DESCRIPTION 63005
#define IDC_CERT_DN_SUBJECT 63006

// Status pages.
#define IDD_PAGE_STATUS 30233
#define IDC_STATUS_TEXT 2003
#define IDC_STATUS_ICON 63045
#define IDC_STATUS_HEADING 63022

// The status icons; the failed icon is the error dialog's (small_dialogs.rc).
#define IDI_STATUS_WORKING 30253
#define IDI_STATUS_DONE 1011
#define IDI_STATUS_FAILED 17031
