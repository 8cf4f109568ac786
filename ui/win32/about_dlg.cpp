#include "ui/win32/about_dlg.h"

#include "ui/win32/resource_ids.h"

CAboutDlg::CAboutDlg(HWND owner) : ModalDialog(IDD_ABOUTBOX, owner) {}
