#include "ui/qt/user_guide.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#include "lumenta_identity.h"

const char* const kUserGuideUrl = LUMENTA_USER_GUIDE_URL;

QUrl userGuideAddress(const QString& programDir) {
    const QFileInfo page(QDir(programDir).filePath(QStringLiteral(LUMENTA_GUIDE_FROM_BINDIR)));
    if (page.isFile() && page.isReadable()) {
        return QUrl::fromLocalFile(page.canonicalFilePath());
    }
    return QUrl(QString::fromLatin1(kUserGuideUrl));
}

bool openUserGuideInBrowser() {
    return QDesktopServices::openUrl(userGuideAddress(QCoreApplication::applicationDirPath()));
}
