#include "ui/win32/win_app.h"

namespace {
WinApp* theApp = nullptr;
}

WinApp::WinApp() {
    theApp = this;
}

WinApp::~WinApp() {
    if (theApp == this) {
        theApp = nullptr;
    }
}

WinApp* WinApp::current() {
    return theApp;
}

int WinApp::run() {
    // There is no message loop of the application's own: a program whose start-up returns true would
    // have nothing to run it, so both ends are the same here.
    initInstance();
    return 0;
}

bool WinApp::initInstance() {
    if (restartManagerSupportFlags_ & kRestartSupport) {
        // Restart with the same (empty) command line; no recovery callback.
        RegisterApplicationRestart(nullptr, 0);
    }
    return true;
}

std::wstring fileStem(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
}

std::wstring applicationName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return L"Lumenta";
        }
        if (length < path.size()) {
            path.resize(length);
            return fileStem(path);
        }
        path.resize(path.size() * 2);
    }
}
