#pragma once

#include "ui/win32/modal_dialog.h"

// The About box (template 100): the icon, the program's name and a line of text, and OK. Run modally
// over the main window, which stays disabled meanwhile.
class CAboutDlg : public ModalDialog {
public:
    explicit CAboutDlg(HWND owner);
};
