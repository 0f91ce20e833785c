// Resource identifiers of quarnver.dll.
#pragma once

// About box (dialog template 100).
#define IDD_ABOUT              100
#define IDC_ABOUT_TITLE        1000
#define IDC_ABOUT_NOTICES      1001
#define IDC_ABOUT_VERSION      1002
#define IDC_ABOUT_ICON         1003
#define IDC_ABOUT_NOTICE_BOX   1004

// Registration scripts (type "REGISTRY").
#define IDR_QUARN5LOGON        102
#define IDR_QUARN5ABOUT        203

// Logon dialog (template 201) and its pictures.
#define IDS_BROWSE_TITLE       101
#define IDS_BROWSE_NAME        103
#define IDD_LOGON              201
#define IDC_LOGON_USER         201
#define IDC_LOGON_PASSWORD     202
#define IDC_LOGON_SERVER       203
#define IDC_LOGON_USER_LABEL   204
#define IDC_LOGON_PASSWORD_LABEL 205
#define IDC_LOGON_SERVER_LABEL 206
#define IDI_LOGON_SERVER       205
#define IDI_LOGON_PASSWORD     206
#define IDI_LOGON_USER         207
#define IDB_BROWSE             208
#define IDC_LOGON_BROWSE       208
