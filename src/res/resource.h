// Numeric identifiers of the program's resources, controls and commands.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDS_TIMEFORMAT_SHOWS_NOTHING 103
#define IDD_CALENDAR 102
#define IDR_MAINFRAME 128
#define IDC_LINKHAND 130
#define IDD_PARENT 131
#define IDD_TIMEFORMAT 133
#define IDD_SYNC 134

#define IDC_CALENDAR 1000
#define IDC_EDIT 1001
#define IDC_TIMEFORMAT_EDIT 1001
#define IDC_LINK_HOME 1002
#define IDC_LINK_MAIL 1005
#define IDC_TIMEFORMAT_HINT 1006
// The sync dialog's controls: stable, so a test can find them.
#define IDC_SYNC_URL 1010
#define IDC_SYNC_USER 1011
#define IDC_SYNC_PASSWORD 1012
#define IDC_SYNC_NOW 1013
#define IDC_SYNC_STATUS 1014

#define IDM_ABOUTBOX 0x0010
