// Lumenta.exe: the panel's Windows program.
#include <windows.h>

#include "ui/win32/lumenta_app.h"

CLumentaApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return WinApp::current()->run();
}
