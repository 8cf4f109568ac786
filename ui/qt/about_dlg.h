#pragma once

#include <QDialog>

#include "lumenta_identity.h"

// The About box: the program's icon, its name line "Quillon", a second line with the version and the
// copyright (as the Windows box has), and OK. Modal over the
// panel; the panel's timers keep running while it is open.
class CAboutDlg : public QDialog {
public:
    static constexpr const char* kTitle = "Orvia";
    static constexpr const char* kSecondLine = LUMENTA_ABOUT_LINE;  // UTF-8

    explicit CAboutDlg(QWidget* parent);
};
