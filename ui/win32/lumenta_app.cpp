#include "ui/win32/lumenta_app.h"

#include <commctrl.h>

#include <memory>

#include "ui/win32/lumenta_dlg.h"

CLumentaApp::CLumentaApp() {
    restartManagerSupportFlags_ = kRestartSupport;
}

bool CLumentaApp::initInstance() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;  // the trackbar among them
    InitCommonControlsEx(&controls);

    WinApp::initInstance();

    auto dialog = std::make_unique<CLumentaDlg>();
    dialog->doModal();
    // Destroying the dialog also destroys the port.
    dialog.reset();
    // No message loop of the application's own: the program ends here.
    return false;
}
