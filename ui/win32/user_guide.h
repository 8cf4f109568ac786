#pragma once

// The online user guide on the project's documentation site, opened by the panel's "User Guide"
// button (the address is set in cmake/LumentaIdentity.cmake).
extern const char* const kUserGuideUrl;

// Hands the guide's address to the system, which opens it in the default browser. A failure is not
// reported: whatever the system shows then is its own.
void openUserGuideInBrowser();
