#include "tools/virtual_dimmer/window/dimmer_window.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QVBoxLayout>

#include "tools/virtual_dimmer/channel_report.h"

DimmerWindow::DimmerWindow(VirtualDimmer& dimmer)
    : dimmer_(dimmer),
      counts_(new QLabel(this)),
      lastFrame_(new QLabel(this)),
      notifier_(dimmer.masterFd(), QSocketNotifier::Read) {
    setWindowTitle(
        QStringLiteral("Lumenta virtual dimmer - %1").arg(QString::fromStdString(dimmer.port().name())));
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(22, 22, 28));
    dark.setColor(QPalette::WindowText, QColor(220, 220, 228));
    setPalette(dark);
    setAutoFillBackground(true);

    auto* header = new QLabel(
        QStringLiteral("Port <b>%1</b> on %2")
            .arg(QString::fromStdString(dimmer.port().name()), QString::fromStdString(dimmer.ptyPath())),
        this);
    auto* grid = new QGridLayout;
    grid->setSpacing(6);
    for (int number = 1; number <= kDimmerChannelCount; ++number) {
        lamps_[number - 1] = new LampWidget(number, this);
        grid->addWidget(lamps_[number - 1], (number - 1) / 6, (number - 1) % 6);
    }
    lastFrame_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lastFrame_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->addWidget(header);
    layout->addLayout(grid);
    layout->addWidget(counts_);
    layout->addWidget(lastFrame_);
    setFixedSize(sizeHint());

    QObject::connect(&notifier_, &QSocketNotifier::activated, this, [this] { readAndShow(); });
    showState();
}

void DimmerWindow::readAndShow() {
    if (!dimmer_.readAvailable()) {
        // The pseudo-terminal failed; stop listening rather than spin on it.
        notifier_.setEnabled(false);
    }
    showState();
}

void DimmerWindow::showState() {
    for (int number = 1; number <= kDimmerChannelCount; ++number) {
        lamps_[number - 1]->setState(dimmer_.channels().channel(number));
    }
    counts_->setText(QStringLiteral("Frames: %1     Rejected bytes: %2")
                         .arg(dimmer_.acceptedFrames())
                         .arg(dimmer_.rejectedBytes()));
    lastFrame_->setText(
        dimmer_.acceptedFrames() == 0
            ? QStringLiteral("Last frame: none yet")
            : QStringLiteral("Last frame: %1").arg(QString::fromStdString(frameInHex(dimmer_.lastFrame()))));
}
