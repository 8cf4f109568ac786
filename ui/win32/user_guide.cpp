#include "ui/win32/user_guide.h"

#include <shellapi.h>
#include <windows.h>

const char* const kUserGuideUrl = "https://lumenta.example.org/index.php/2023/10/15/orvia/";

void openUserGuideInBrowser() {
    ShellExecuteA(nullptr, nullptr, kUserGuideUrl, nullptr, nullptr, SW_SHOWNORMAL);
}
