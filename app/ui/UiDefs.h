// The Win32 message, command and style numbers the dialog code uses, with the values <windows.h> gives them.
// UiWin32.cpp includes <windows.h> first, so every name here is guarded and then comes from the system.
#pragma once

#ifndef WM_CLOSE
#define WM_CLOSE 0x0010
#endif
#ifndef WM_PAINT
#define WM_PAINT 0x000F
#endif
#ifndef WM_ICONERASEBKGND
#define WM_ICONERASEBKGND 0x0027
#endif
#ifndef WM_QUERYDRAGICON
#define WM_QUERYDRAGICON 0x0037
#endif
#ifndef WM_SETICON
#define WM_SETICON 0x0080
#endif
#ifndef WM_INITDIALOG
#define WM_INITDIALOG 0x0110
#endif
#ifndef WM_COMMAND
#define WM_COMMAND 0x0111
#endif
#ifndef WM_SYSCOMMAND
#define WM_SYSCOMMAND 0x0112
#endif
#ifndef WM_TIMER
#define WM_TIMER 0x0113
#endif
#ifndef WM_USER
#define WM_USER 0x0400
#endif

#ifndef BN_CLICKED
#define BN_CLICKED 0
#endif
#ifndef EN_CHANGE
#define EN_CHANGE 0x0300
#endif
#ifndef CBN_SELCHANGE
#define CBN_SELCHANGE 1
#endif
#ifndef CB_ERR
#define CB_ERR (-1)
#endif
#ifndef CB_ADDSTRING
#define CB_ADDSTRING 0x0143
#endif
#ifndef CB_GETCURSEL
#define CB_GETCURSEL 0x0147
#endif
#ifndef CB_SETCURSEL
#define CB_SETCURSEL 0x014E
#endif
#ifndef BST_UNCHECKED
#define BST_UNCHECKED 0
#endif
#ifndef BST_CHECKED
#define BST_CHECKED 1
#endif
#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif
#ifndef IDYES
#define IDYES 6
#endif
#ifndef IDNO
#define IDNO 7
#endif

#ifndef SC_CLOSE
#define SC_CLOSE 0xF060
#endif

#ifndef MB_OK
#define MB_OK 0x00000000
#endif
#ifndef MB_YESNO
#define MB_YESNO 0x00000004
#endif
#ifndef MB_TYPEMASK
#define MB_TYPEMASK 0x0000000F
#endif
#ifndef MB_ICONEXCLAMATION
#define MB_ICONEXCLAMATION 0x00000030
#endif
#ifndef MB_ICONQUESTION
#define MB_ICONQUESTION 0x00000020
#endif
#ifndef MB_ICONWARNING
#define MB_ICONWARNING 0x00000030
#endif
#ifndef MB_DEFBUTTON2
#define MB_DEFBUTTON2 0x00000100
#endif

#ifndef SW_HIDE
#define SW_HIDE 0
#endif
#ifndef SW_SHOW
#define SW_SHOW 5
#endif

#ifndef MF_STRING
#define MF_STRING 0x00000000
#endif
#ifndef MF_SEPARATOR
#define MF_SEPARATOR 0x00000800
#endif

#ifndef ICON_SMALL
#define ICON_SMALL 0
#endif
#ifndef ICON_BIG
#define ICON_BIG 1
#endif

#ifndef PBM_SETRANGE
#define PBM_SETRANGE (WM_USER + 1)
#endif
#ifndef PBM_SETPOS
#define PBM_SETPOS (WM_USER + 2)
#endif
#ifndef PBM_GETPOS
#define PBM_GETPOS (WM_USER + 8)
#endif
