#include "ui/win32/user_guide.h"

#include <windows.h>

#include <shellapi.h>

#include "lumenta_identity.h"

const char* const kUserGuideUrl = LUMENTA_USER_GUIDE_URL;

void openUserGuideInBrowser() {
    ShellExecuteA(nullptr, nullptr, kUserGuideUrl, nullptr, nullptr, SW_SHOWNORMAL);
}
