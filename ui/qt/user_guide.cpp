#include "ui/qt/user_guide.h"

#include <QDesktopServices>
#include <QUrl>

const char* const kUserGuideUrl = "https://lumenta.example.org/index.php/2023/10/15/orvia/";

bool openUserGuideInBrowser() {
    return QDesktopServices::openUrl(QUrl(QString::fromLatin1(kUserGuideUrl)));
}
