#include "ui/win32/user_guide.h"

#include <windows.h>

#include <shellapi.h>

const char* const kUserGuideUrl = "https://lumenta.example.org/index.php/2023/10/15/orvia/";

void openUserGuideInBrowser() {
    ShellExecuteA(nullptr, nullptr, kUserGuideUrl, nullptr, nullptr, SW_SHOWNORMAL);
}
