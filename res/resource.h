// Resource and control identifiers shared by the resource script and the code.
// Controls are grouped by kind: 2xx labels, 3xx edits, 4xx buttons,
// 5xx combo boxes, 6xx check boxes, 9xx up-down controls.
#pragma once

#define IDD_SETTINGS 1
#define IDD_SESSION 2
#define IDD_IR_WAIT 3
#define IDD_DEVICE_CHOOSER 4

#define IDI_PROGRAM 999
#define IDI_PORT_ABSENT 1000

#define IDC_ABORT 3

// Settings dialog.
#define IDC_DIRECTORY_LABEL 201
#define IDC_FILE_NAME_LABEL 202
#define IDC_COM_PORT_LABEL 203
#define IDC_COM_PORT_RANGE 204
#define IDC_BAUD_RATE_LABEL 205
#define IDC_POLLING_LABEL 206
#define IDC_POLLING_RANGE 207
#define IDC_DELAY_LABEL 208
#define IDC_DELAY_RANGE 209
#define IDC_DIRECTORY 301
#define IDC_FILE_NAME 302
#define IDC_COM_PORT 303
#define IDC_POLLING_TIME 304
#define IDC_CHAR_DELAY 305
#define IDC_BROWSE 401
#define IDC_MODEM_CONFIG 402
#define IDC_INTERFACE 501
#define IDC_BAUD_RATE 502
#define IDC_SAVE_MODE 503
#define IDC_ADD_RETURN 601
#define IDC_ADD_LINE_FEED 602
#define IDC_SHOW_ERRORS 603
#define IDC_VIEW_DATA 604
#define IDC_ALWAYS_SHOW 605
#define IDC_KEEP_ONLINE 606
#define IDC_COM_PORT_SPIN 901
#define IDC_POLLING_SPIN 902
#define IDC_DELAY_SPIN 903

// Session window.
#define IDC_STATUS 201
#define IDC_MARKS_LEFT 202
#define IDC_MARKS_BAR 203
#define IDC_MARKS_RIGHT 204
#define IDC_COUNT 205
#define IDC_PORT_ABSENT_ICON 1058

// Device chooser.
#define IDC_DEVICE_LIST 501
