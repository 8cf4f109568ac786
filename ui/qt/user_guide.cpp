#include "ui/qt/user_guide.h"

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

QString userGuideNotOpenedText(const QUrl& address) {
    if (address.isLocalFile()) {
        return QStringLiteral("The user guide is installed as %1: open it in a web browser.")
            .arg(address.toLocalFile());
    }
    return QStringLiteral("The user guide is online at %1.").arg(address.toString());
}
