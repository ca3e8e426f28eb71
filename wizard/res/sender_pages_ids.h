// Templates, controls and pictures of the sender's wizard pages: the phone copy's new password and
// the three authorization-code pages.
#pragma once

// The new password of the phone copy.
#define IDD_CHANGE_PASSWD 30240
#define IDC_PW_DESCRIPTION 63008
#define IDC_PW_CHECK 63013
#define IDC_PW_NEW_LABEL 63009
#define IDC_PW_CONFIRM_LABEL 63010
#define IDC_PW_NEW_EDIT 63011
#define IDC_PW_CONFIRM_EDIT 63012
#define IDC_PW_GRADE_LABEL 63021
#define IDC_PW_GRADE_TEXT 63031
#define IDC_PW_RULE_TEXT 63032
#define IDC_PW_IMAGE_WEAK 63040
#define IDC_PW_IMAGE_GOOD 63041
#define IDC_PW_IMAGE_STRONG 63038
#define IDC_PW_RULES_GROUP 63077
#define IDC_PW_RULES 63078

// The grade pictures.
#define IDB_GRADE_STRONG 3015
#define IDB_GRADE_WEAK 3016
#define IDB_GRADE_GOOD 3017

// The code in two groups (8 characters).
#define IDD_INPUT_AN 30232
// The code in either form, chosen by the radio buttons.
#define IDD_INPUT_AN2 2467
// The code in three groups (12 characters).
#define IDD_INPUT_AN3 2468

#define IDC_AN_DESCRIPTION 63007
#define IDC_AN_LABEL 63014
// Groups of the two-group and three-group pages.
#define IDC_AN_GROUP1 63000
#define IDC_AN_GROUP2 63016
#define IDC_AN_GROUP3 63017
// The choosing page: its first 12-character group and its two 8-character groups (its second and
// third 12-character groups are IDC_AN_GROUP2 and IDC_AN_GROUP3).
#define IDC_AN_GROUP12_1 63089
#define IDC_AN_GROUP8_1 63001
#define IDC_AN_GROUP8_2 63020
#define IDC_AN_TYPE12 63087
#define IDC_AN_TYPE8 63088
// Why the typed code cannot be taken (red, empty while there is nothing to say).
#define IDC_AN_HINT 63095
