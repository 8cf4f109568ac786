#pragma once

#include "ui/win32/win_app.h"

// Lumenta's application object: prepares the common controls, runs the panel's window modally and
// ends the program when the window has ended, however it ended.
class CLumentaApp : public WinApp {
public:
    CLumentaApp();

protected:
    bool initInstance() override;
};
