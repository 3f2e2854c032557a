// Resource ids of the program, shared by the resource scripts and the code.
#ifndef LOGSMITH_RESOURCE_H
#define LOGSMITH_RESOURCE_H

// Log file viewer
#define IDD_LOG_FILE_BROWSER 129
#define IDC_LOG_FILE_TEXT 1055

#endif
