// Lumenta.exe as a user starts it, under another file name: it comes up with its window, names its
// warning after its file, shows the About box from the system menu and ends when the window closes.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ui/win32/resource_ids.h"
#include "window_driver.h"

using namespace window_driver;

namespace {

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK matchMainWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && IsWindowVisible(window) && text(window) == L"Tarvex V1.00") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

TEST(LumentaProgram, RenamedItNamesItsWarningAfterItsFileAndEndsWithItsWindow) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring copy = std::wstring(temp) + L"Dimmer Panel.exe";
    ASSERT_TRUE(CopyFileW(hostPath(LUMENTA_EXE).c_str(), copy.c_str(), FALSE));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + copy + L"\"";
    ASSERT_TRUE(CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));

    WindowSearch search{process.dwProcessId, nullptr};
    ASSERT_TRUE(waitFor([&] {
        search.found = nullptr;
        EnumWindows(matchMainWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }));
    HWND panel = search.found;

    // With the list emptied nothing is chosen, and Open Port fails whatever ports the machine has.
    SendMessageW(GetDlgItem(panel, IDC_PORT_LIST), CB_RESETCONTENT, 0, 0);
    clickItem(panel, IDC_PORT_BUTTON);
    HWND box = nullptr;
    ASSERT_TRUE(
        waitFor([&] { return (box = findProcessDialog(process.dwProcessId, L"Dimmer Panel")) != nullptr; }));
    EXPECT_EQ(
        itemText(box, 0xFFFF),
        L"\u4E32\u53E3\u5DF2\u88AB\u5360\u7528\uFF01\n\nNo serial port was found: the port list is empty.");
    clickItem(box, IDOK);
    ASSERT_TRUE(waitFor([&] { return findProcessDialog(process.dwProcessId, L"Dimmer Panel") == nullptr; }));

    PostMessageW(panel, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = nullptr;
    ASSERT_TRUE(
        waitFor([&] { return (about = findProcessDialog(process.dwProcessId, L"Orvia")) != nullptr; }));
    clickItem(about, IDOK);
    ASSERT_TRUE(waitFor([&] { return findProcessDialog(process.dwProcessId, L"Orvia") == nullptr; }));

    PostMessageW(panel, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0)
        << "the program ends with its window";
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    if (exitCode == STILL_ACTIVE)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DeleteFileW(copy.c_str());
}

}  // namespace
