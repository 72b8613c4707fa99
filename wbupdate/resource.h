// Numbers of the update program's resources: its dialogs, their controls, its
// icon and its string table. A resource library that translates the program
// (patchtxt.dll) uses the same numbers.
#pragma once

#define IDS_ERROR_REINSTALL 1
#define IDS_UPDATE_INCOMPLETE 2
#define IDS_UPDATE_COMPLETE 3
#define IDS_CLOSE_APPLICATIONS 4
#define IDS_COPYING_FILES 6
#define IDS_INTRODUCTION 7
#define IDS_BUTTON_OK 8
#define IDS_BUTTON_CANCEL 9
#define IDS_ADMINISTRATOR_NOTICE 10
#define IDS_REQUIRES_NT 11

#define IDD_WBUPDATE_DIALOG 102
#define IDR_MAINFRAME 133
#define IDC_INTRODUCTION_TEXT 1001
#define IDD_COPYING_DIALOG 1002
#define IDC_COPYING_TEXT 1003
