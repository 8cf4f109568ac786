#pragma once

// The online user guide, opened by the panel's "User Guide" button.
extern const char* const kUserGuideUrl;

// Hands the guide's address to the system, which opens it in the default browser. A failure is not
// reported: whatever the system shows then is its own.
void openUserGuideInBrowser();
