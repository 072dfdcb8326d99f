// Resource numbers of PellmorWin.rc, shared by the resource compiler and the dialog code.
#pragma once

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_PELLMORWIN_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_PROGRESS 129

// About box: the release line, filled in from the build's version, and where the log is
#define IDC_ABOUT_RELEASE 1020
#define IDC_ABOUT_LOG 1021

// Main dialog
#define IDC_DIR 1000
#define IDC_STATUS 1001
#define IDC_SHRINK 1003
#define IDC_RESTORE 1004
#define IDC_EXIT 1005
#define IDC_BROWSE 1008
#define IDC_ALL_ARCHIVES 1009
#define IDC_PREVIEW 1011
#define IDC_TEXTURE_SIZE 1012
#define IDC_SMOOTH 1013
#define IDC_CLEAN 1014
#define IDC_CHOICE_NOTE 1015
// The fit's size in MB beside the texture size, and the archives' size today after it
#define IDC_FIT_SIZE 1016
#define IDC_FIT_TODAY 1017

// Progress dialog
#define IDC_PROGRESS_TEXT 1000
#define IDC_PROGRESS 1006
// Cancel, which the progress window also sends to its owner as a command
#define IDC_CANCEL_SHRINK 1007
#define IDC_PROGRESS_DETAIL 1010

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif
