#pragma once
// Resource ids of the framework tests' dialog templates and strings.

#define IDD_FRAMEWORK_TEST 200
#define IDD_CHILD_TEST 201
#define IDS_TEST_STRING 210

#define IDC_NAME 300
#define IDC_COUNT 301
#define IDC_MODE_FIRST 302
#define IDC_MODE_SECOND 303
#define IDC_MODE_THIRD 304
#define IDC_UNROUTED 305
#define IDC_OPEN_CHILD 306
// In the command id range, so unhandled clicks go on to the application.
#define IDC_APP_COMMAND 0x8123
