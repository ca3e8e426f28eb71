// Ids of the certificate selection dialog's template, controls, pictures and menu commands
// (select.rc, icons.rc).
#pragma once

#define IDD_CERT_SELECT 17000
#define IDC_SELECT_MEDIA 17000
#define IDC_SELECT_CERTS 17001
#define IDC_SELECT_PASSWORD 17002
#define IDC_SELECT_PW_LABEL 17003
#define IDC_SELECT_VIEW 1002
#define IDC_SELECT_SEARCH 1003
#define IDC_SELECT_INSTRUCTION 1010
#define IDC_SELECT_BANNER 1012
#define IDC_SELECT_OK_NOTE 1040
#define IDC_SELECT_GROUP 995
#define IDC_SELECT_RA_LINK 8071

// Pictures of the media bar (48x48; the hard disk's also 16x16) and of the rows (16x16).
#define IDI_SELECT_TOKEN 17009
#define IDI_SELECT_CARD 17008
#define IDI_SELECT_PHONE 17030
#define IDI_SELECT_SECURE_DISK 211
#define IDI_SELECT_REMOVABLE 17007
#define IDI_SELECT_HARD_DISK 17006
#define IDI_SELECT_ROW_VALID 17010
// The expired row shows the viewer's not-valid picture (the same resource, 17011).
#define IDI_SELECT_ROW_EXPIRED 17011
// The expiry tip's renewal-link picture (the tip's other picture is the error icon, 17031).
#define IDI_SELECT_RENEW_LINK 17049

// Banner pictures chosen by the request's banner name, and the registration-authority button's.
#define IDB_SELECT_BANNER 200
#define IDB_SELECT_BANNER_RELAY 202
#define IDB_SELECT_BANNER_SIGN1 203
#define IDB_SELECT_BANNER_SIGN2 205
#define IDB_SELECT_BANNER_SIGN3 204
#define IDB_SELECT_BANNER_SIGN4 206
#define IDB_SELECT_BANNER_BANK 207
#define IDB_SELECT_BANNER_PLAIN 216
#define IDB_SELECT_RA_BUTTON 8050

// Popup-menu commands: drives (letter + 2746), tokens (2839 + n), the token program page, the
// two phone services.
#define IDM_SELECT_DRIVE_FIRST 2811
#define IDM_SELECT_DRIVE_LAST 2837
#define IDM_SELECT_TOKEN_FIRST 2840
#define IDM_SELECT_TOKEN_LAST 2849
#define IDM_SELECT_TOKEN_INSTALL 2860
#define IDM_SELECT_PHONE_SIGN 2870
#define IDM_SELECT_PHONE_USBKEY 2871
