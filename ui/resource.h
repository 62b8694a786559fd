// Resource and control identifiers: the contract between the templates and the code.
#pragma once

// Controls that the code never addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Templates and images
#define IDD_MAIN_WINDOW 101
#define IDB_LOGO 134
#define IDD_PRESET_PAGE 135
#define IDD_SAVE_PROMPT 136
#define IDI_APPLICATION_ICON 137
// The logo drawn for 150 % and 200 % display scale, as PNG (IDB_LOGO is 100 %).
#define IDB_LOGO_150 138
#define IDB_LOGO_200 139
#define IDD_SOURCE_TEST 140
#define IDD_FIND_SOURCES 141

// Main window (101)
#define IDC_PRESET_TABS 1002
#define IDC_LOGO 1021
#define IDC_SAVE 1027
// The Close button is IDCLOSE (8).

// Preset page (135)
#define IDC_PROTOCOL 1009
#define IDC_HOST 1011
#define IDC_PORT 1012
#define IDC_STREAM_NAME 1013
#define IDC_SYNC 1015
#define IDC_AUTO_JITTER 1017
#define IDC_JITTER_DELAY 1018
#define IDC_LIP_SYNC 1019
#define IDC_PRESET_NAME 1020
#define IDC_HOST_LABEL 1023
#define IDC_PORT_LABEL 1024
#define IDC_STREAM_NAME_LABEL 1025
#define IDC_JITTER_DELAY_LABEL 1026
#define IDC_ADD_PRESET 1029
#define IDC_REMOVE_PRESET 1030
#define IDC_TEST_SOURCE 1031
#define IDC_FIND_SOURCES 1032

// Save-changes prompt (136): Save is IDC_SAVE (1027), Don't Save is 5, Cancel is IDCANCEL (2).
#define IDC_DONT_SAVE 5
#define IDC_PROMPT_ICON 1028

// Test Source (140): Close is IDCLOSE (8), the Escape key and the close box IDCANCEL (2).
#define IDC_TEST_TARGET 1040
#define IDC_TEST_NEWS 1041
#define IDC_TEST_PROGRESS 1042
#define IDC_TEST_FINDINGS 1043
#define IDC_USE_PROTOCOL 1044
#define IDC_USE_JITTER_BUFFER 1045
#define IDC_TEST_STOP 1046

// Find Sources (141): Close is IDCLOSE (8), the Escape key and the close box IDCANCEL (2).
#define IDC_FIND_USER 1050
#define IDC_FIND_PASSWORD 1051
#define IDC_FIND_SEARCH 1052
#define IDC_FIND_STOP 1053
#define IDC_FIND_NEWS 1054
#define IDC_FIND_PROGRESS 1055
#define IDC_FIND_LIST 1056
#define IDC_FIND_DETAIL 1057
#define IDC_FIND_USE 1058
#define IDC_FIND_ADD 1059
#define IDC_FIND_ADDRESS 1060
#define IDC_FIND_ADD_CAMERA 1061
#define IDC_FIND_SNAPSHOT 1062
