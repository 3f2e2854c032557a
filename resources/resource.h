// Resource ids of the program, shared by the resource scripts (preprocessed as C) and the code.
#ifndef LOGSMITH_RESOURCE_H
#define LOGSMITH_RESOURCE_H

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_DMDEBUGREGISTRY_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_LOG_FILE_BROWSER 129

// Main dialog controls.
#define IDC_DEBUG_LOG_FILE 1062
#define IDC_MODE_TARGET 1063
#define IDC_MODE_GUI 1064
#define IDC_MODE_NONE 1065
#define IDC_BROWSE 1067
#define IDC_MODE_TARGET_AND_GUI 1071
#define IDC_DELETE_LOG_FILE 1072
#define IDC_OPEN_DIRECTORY 1075
#define IDC_APPLY 3

// Log file viewer.
#define IDC_LOG_FILE_TEXT 1055

// The About entry of the system menu.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
