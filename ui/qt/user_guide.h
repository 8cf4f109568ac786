#pragma once

#include <QString>
#include <QUrl>

// The online user guide on the project's documentation site (the address is set in
// cmake/LumentaIdentity.cmake).
extern const char* const kUserGuideUrl;

// What "User Guide" opens for a program in programDir: the guide installed beside the program
// (<prefix>/share/doc/lumenta/user-guide.html for <prefix>/bin) when it is there, the online guide
// otherwise (run from the build tree, or on a system that leaves out /usr/share/doc).
QUrl userGuideAddress(const QString& programDir);

// Hands the guide's address for this program to the desktop's default browser; false when nothing
// could take it.
bool openUserGuideInBrowser();
