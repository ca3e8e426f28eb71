// Ids of the certificate viewer's templates, controls and icons (viewer.rc, icons.rc).
#pragma once

// The general page.
#define IDD_CERTVIEW_GENERAL 2000
#define IDC_CV_GROUP 1013
#define IDC_CV_LABEL_ISSUER 1016
#define IDC_CV_LABEL_SUBJECT 1017
#define IDC_CV_LABEL_POLICY 1018
#define IDC_CV_LABEL_VALIDITY 1019
#define IDC_CV_LABEL_FROM 1020
#define IDC_CV_LABEL_TO 1021
#define IDC_CV_LABEL_ALGORITHM 1022
#define IDC_CV_LABEL_PUBKEY 1023
#define IDC_CV_POLICY 2017
#define IDC_CV_NOTICE 2018
#define IDC_CV_SUBJECT 2019
#define IDC_CV_ISSUER 2020
#define IDC_CV_ALGORITHM 2021
#define IDC_CV_VALID_FROM 2022
#define IDC_CV_VALID_TO 2023
#define IDC_CV_VERDICT_ICON 2024
#define IDC_CV_PUBKEY 2025
#define IDC_CV_VERDICT 2028
#define IDC_CV_VIEW_ERROR 2034

// The details page.
#define IDD_CERTVIEW_DETAILS 2001
#define IDC_CV_FIELDS 2014
#define IDC_CV_FIELD_TEXT 2015

// The root verification dialog.
#define IDD_VERIFY_ROOT 2021
#define IDC_ROOT_FINGERPRINTS 17019
#define IDC_ROOT_SITE 2031
#define IDC_ROOT_INTRO 2032
#define IDC_ROOT_HOWTO 1023
#define IDC_ROOT_MISMATCH 1024

// Controls the sheet creates at run time.
#define IDW_CV_MORE_INFO 10011
#define IDW_CV_CHOICE 10012
#define IDW_CV_ROOT_INFO 10013

// Icons.
#define IDI_CV_VALID 2019
#define IDI_CV_INVALID 17011
#define IDI_CV_FIELD 1006
#define IDI_CV_EXTENSION 1007
#define IDI_CV_CRITICAL 1008
#define IDI_CV_PATH 145
