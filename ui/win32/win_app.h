#pragma once

#include <windows.h>

#include <string>

// The application object: one global instance per program, constructed before WinMain, which calls
// run(). The program's work happens in initInstance; when it returns false the program ends.
class WinApp {
public:
    // Restart-manager support flags: bit 0 asks the system to restart the program after a crash or an
    // update; no other bit is used.
    static constexpr DWORD kRestartSupport = 0x1;

    WinApp();
    virtual ~WinApp();
    WinApp(const WinApp&) = delete;
    WinApp& operator=(const WinApp&) = delete;

    // The one application object, or null when the program has none (the tests).
    static WinApp* current();

    // Runs initInstance; the program's exit code.
    int run();

protected:
    // The base start-up: registers with the restart manager when the flags ask for it. Derived classes
    // call it from their own initInstance. Returns true.
    virtual bool initInstance();

    DWORD restartManagerSupportFlags_ = 0;
};

// The executable's file name without its extension, read at the moment of the call, so that a renamed
// program names itself by its new name. Caption of the program's message boxes.
std::wstring applicationName();

// The file-name part of a path, without its extension ("C:\\x\\Lumenta.exe" -> "Lumenta").
std::wstring fileStem(const std::wstring& path);
