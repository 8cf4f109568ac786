#include "ui/qt/about_dlg.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "ui/qt/dialog_units.h"

using dialog_units::toPixels;

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(dialog_units::toPixelsX(170), dialog_units::toPixelsY(62));
    setFont(dialog_units::dialogFont(font()));

    // The icon at the system's standard icon size, in its template place.
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/lumenta.png")).pixmap(32, 32));
    icon->setGeometry(toPixels(14, 14, 20, 20).adjusted(0, 0, 2, 0));

    auto* name = new QLabel(QStringLiteral("Quillon"), this);
    name->setTextFormat(Qt::PlainText);
    name->setGeometry(toPixels(42, 14, 114, 8));

    auto* line = new QLabel(QString::fromUtf8(kSecondLine), this);
    line->setTextFormat(Qt::PlainText);
    line->setGeometry(toPixels(42, 26, 114, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(toPixels(113, 41, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
