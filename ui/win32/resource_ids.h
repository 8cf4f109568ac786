#pragma once

// Resource and control ids of the Windows window, shared by the resource script and the code.

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_LUMENTA_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_PORT_LIST 1000
#define IDC_USER_GUIDE 1004
#define IDC_PORT_BUTTON 1013
#define IDC_LEVEL_SLIDER 1093
#define IDC_LEVEL_TEXT 1094
#define IDC_CHANNEL_GROUP 1095
#define IDC_MODE_H 1096
#define IDC_MODE_L 1097

// The About item of the system menu.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
