#pragma once

// The online user guide, opened by the panel's "User Guide" button.
extern const char* const kUserGuideUrl;

// Hands the guide's address to the desktop's default browser; false when nothing could take it.
bool openUserGuideInBrowser();
