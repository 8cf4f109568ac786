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

// What the window says when nothing could open the guide at address: where to find it by hand (the
// installed page's path, or the online address).
QString userGuideNotOpenedText(const QUrl& address);
