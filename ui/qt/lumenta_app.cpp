#include "ui/qt/lumenta_app.h"

#include <QIcon>
#include <memory>

#include "lumenta_identity.h"
#include "ui/qt/lumenta_dlg.h"
#include "ui/qt/startup_probe.h"

CLumentaApp::CLumentaApp(int& argc, char** argv) : app_(argc, argv) {
    // The name is the caption of the program's message boxes: the executable's own name.
    QApplication::setApplicationVersion(QStringLiteral(LUMENTA_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/lumenta.png")));
}

int CLumentaApp::run() {
    auto dialog = std::make_unique<CLumentaDlg>();
    StartupProbe probe(*dialog);
    dialog->exec();
    dialog.reset();
    return 0;
}
