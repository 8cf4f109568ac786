#include "ui/qt/lumenta_dlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QTimerEvent>

#include "diagnosis/port_problem.h"
#include "ui/qt/about_dlg.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/user_guide.h"

using dialog_units::toPixels;

namespace {

constexpr const char* kAboutItemText = "&About Lumenta...";

// The channel grid in client pixels (it does not follow the dialog font): "ALL CH" across the top,
// then CH1..CH24 in 4 rows of 6, each 50 x 35, 10 px apart across and 12 px down.
QRect channelButtonRect(int index) {
    if (index == 0) {
        return QRect(QPoint(120, 30), QPoint(470 - 1, 65 - 1));
    }
    const int row = (index - 1) / 6;
    const int column = (index - 1) % 6;
    return QRect(120 + 60 * column, 77 + 47 * row, 50, 35);
}

QColor toQColor(Colour colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

}  // namespace

CLumentaDlg::CLumentaDlg(PortProbe& probe)
    : QDialog(nullptr), appIcon_(QStringLiteral(":/lumenta.png")), controller_(*this, port_, probe) {
    setWindowTitle(QString::fromLatin1(kTitle));
    // A title bar with the window menu, minimise and close; no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(dialog_units::dialogFont(font()));

    createTemplateControls();
    createAboutItem();
    setWindowIcon(appIcon_);
    createChannelGrid();

    // Positions 0 (top) to 255 (bottom); the thumb starts at the bottom, which is level 0.
    levelSlider_->setRange(0, 255);
    levelSlider_->setPageStep(1);
    levelSlider_->setSingleStep(1);
    levelSlider_->setValue(255);
    modeButtons_[0]->setChecked(true);

    connectEvents();
    for (auto& source : systemPortEventSources()) {
        watchPortEvents(std::move(source));
    }
    controller_.onInit();
    port_.connectListener(this);
    port_.connectLossListener(this);
    portList_->setFocus(Qt::OtherFocusReason);
}

CLumentaDlg::~CLumentaDlg() {
    // Timers first, so that no tick reaches a controller whose port is going. The port then closes
    // itself, and joins its threads, as the facade goes.
    timers_.clear();
}

// The controls of the dialog template, in template order: that is their tab order, and they are
// stacked in it (the group box then goes to the bottom, as it only frames what is inside it).
void CLumentaDlg::createTemplateControls() {
    portList_ = new CPortListBox(this);
    const QRect listRect = toPixels(7, 19, 50, 81);
    portList_->setGeometry(listRect.x(), listRect.y(), listRect.width(), portList_->sizeHint().height());
    portList_->setMaxVisibleItems(8);

    portButton_ = new QPushButton(QStringLiteral("Open Port"), this);
    portButton_->setGeometry(toPixels(7, 69, 50, 25));

    userGuideButton_ = new QPushButton(QStringLiteral("User Guide"), this);
    userGuideButton_->setGeometry(toPixels(7, 132, 50, 25));

    levelSlider_ = new QSlider(Qt::Vertical, this);
    levelSlider_->setGeometry(toPixels(350, 35, 18, 105));
    levelSlider_->setTickPosition(QSlider::NoTicks);
    // Minimum at the top, and the arrow keys move the thumb the way they point.
    levelSlider_->setInvertedAppearance(true);
    levelSlider_->setInvertedControls(true);
    // Some styles fill the groove from the minimum to the thumb, which here would show the position,
    // not the level; keep the groove one colour.
    QPalette groove = levelSlider_->palette();
    groove.setColor(QPalette::Highlight, groove.color(QPalette::Window).darker(115));
    levelSlider_->setPalette(groove);

    // H and L are one group of automatic radio buttons, reached with the mouse, not with Tab.
    modeButtons_[0] = new QRadioButton(QStringLiteral("H"), this);
    modeButtons_[0]->setGeometry(toPixels(373, 56, 21, 10));
    modeButtons_[1] = new QRadioButton(QStringLiteral("L"), this);
    modeButtons_[1]->setGeometry(toPixels(375, 108, 19, 10));
    for (QRadioButton* mode : modeButtons_) {
        mode->setFocusPolicy(Qt::ClickFocus);
    }

    exitButton_ = new QPushButton(QStringLiteral("Exit"), this);
    exitButton_->setGeometry(toPixels(178, 176, 50, 14));
    exitButton_->setDefault(true);

    channelGroup_ = new QGroupBox(QStringLiteral("CH"), this);
    channelGroup_->setGeometry(toPixels(338, 14, 56, 138));
    channelGroup_->setAttribute(Qt::WA_TransparentForMouseEvents);
    channelGroup_->lower();

    levelText_ = new QLabel(QStringLiteral("Static"), this);
    levelText_->setGeometry(toPixels(359, 141, 19, 8));
    levelText_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

// The About item: the dialog's context menu and Alt+A (its mnemonic) stand in for a system menu.
void CLumentaDlg::createAboutItem() {
    auto* about = new QAction(QString::fromLatin1(kAboutItemText), this);
    about->setShortcut(QKeySequence(Qt::ALT | Qt::Key_A));
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, &CLumentaDlg::showAboutBox);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void CLumentaDlg::createChannelGrid() {
    const QColor normal = toQColor(PanelController::kNormalFaceColour);
    for (int index = 0; index < PanelController::kChannelButtonCount; ++index) {
        const QString caption = index == 0 ? QStringLiteral("ALL CH") : QStringLiteral("CH%1").arg(index);
        channelButtons_[index] = std::make_unique<CColourButton>(caption, normal, this);
        channelButtons_[index]->setGeometry(channelButtonRect(index));
    }
}

void CLumentaDlg::connectEvents() {
    for (int index = 0; index < PanelController::kChannelButtonCount; ++index) {
        const unsigned int commandId = PanelController::kFirstChannelCommand + index;
        connect(channelButtons_[index].get(), &QAbstractButton::clicked, this,
                [this, commandId] { controller_.onChannelButton(commandId); });
    }
    // Every move of the thumb (drag, arrow keys, page steps, wheel) and the end of a drag.
    connect(levelSlider_, &QSlider::valueChanged, this,
            [this](int position) { controller_.onLevelScroll(true, position); });
    connect(levelSlider_, &QSlider::sliderReleased, this,
            [this] { controller_.onLevelScroll(true, levelSlider_->value()); });
    connect(modeButtons_[0], &QRadioButton::clicked, this, [this] { controller_.onModeH(); });
    connect(modeButtons_[1], &QRadioButton::clicked, this, [this] { controller_.onModeL(); });
    connect(portButton_, &QPushButton::clicked, this, [this] { controller_.onPortButton(); });
    portList_->setCloseUpHandler([this] { controller_.onPortListCloseUp(); });
    connect(userGuideButton_, &QPushButton::clicked, this, &CLumentaDlg::openUserGuide);
    connect(exitButton_, &QPushButton::clicked, this, &QDialog::accept);
}

void CLumentaDlg::setButtonFaceColour(int index, Colour colour) {
    if (index < 0 || index >= PanelController::kChannelButtonCount) {
        return;
    }
    channelButtons_[index]->setFaceColour(toQColor(colour));
    channelButtons_[index]->repaint();
}

void CLumentaDlg::setChannelCaption(const std::string& text) {
    channelGroup_->setTitle(QString::fromStdString(text));
}

void CLumentaDlg::setLevelText(const std::string& text) {
    levelText_->setText(QString::fromStdString(text));
}

void CLumentaDlg::setPortButtonCaption(const std::string& text) {
    portButton_->setText(QString::fromStdString(text));
}

void CLumentaDlg::setPortListEnabled(bool enabled) {
    portList_->setEnabled(enabled);
}

std::string CLumentaDlg::chosenPortName() const {
    return portList_->chosenName().toStdString();
}

bool CLumentaDlg::portListDroppedDown() const {
    return portList_->droppedDown();
}

void CLumentaDlg::showWarning(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    box.setInformativeText(text == PanelController::kPortLostWarning ? lostDetails() : busyDetails());
    box.exec();
}

QString CLumentaDlg::busyDetails() {
    if (port_.port() == nullptr) {
        return {};
    }
    return QString::fromStdString(openFailureDetails(chosenPortName(), port_.lastStatus()));
}

// The port that went away is the one the port was opened by, whatever the list shows by now.
QString CLumentaDlg::lostDetails() {
    CSerialPortBase* port = port_.port();
    if (port == nullptr) {
        return {};
    }
    return QString::fromStdString(lostPortDetails(port->portName(), port_.lastStatus()));
}

void CLumentaDlg::startTimer(unsigned int id, unsigned int milliseconds) {
    // Precise, so that the send delay never ends early; starting a running timer begins its period anew.
    timers_[id].start(static_cast<int>(milliseconds), Qt::PreciseTimer, this);
}

void CLumentaDlg::stopTimer(unsigned int id) {
    if (auto timer = timers_.find(id); timer != timers_.end()) {
        timer->second.stop();
    }
}

void CLumentaDlg::timerEvent(QTimerEvent* event) {
    for (auto& [id, timer] : timers_) {
        if (timer.timerId() == event->timerId()) {
            controller_.onTimer(id);
            return;
        }
    }
    QDialog::timerEvent(event);
}

// The list keeps its entries in text order, byte by byte, so a name that begins a longer one comes
// first: COM1, COM10, COM2.
void CLumentaDlg::clearPortList() {
    portList_->clearNames();
}

void CLumentaDlg::addPortName(const std::string& name) {
    portList_->addName(QString::fromStdString(name));
}

int CLumentaDlg::portNameCount() const {
    return portList_->count();
}

void CLumentaDlg::selectPortName(int index) {
    portList_->setCurrentIndex(index);
}

int CLumentaDlg::findPortName(const std::string& name) const {
    return portList_->findName(QString::fromStdString(name));
}

void CLumentaDlg::setPortDescription(const std::string& name, const std::string& description) {
    portList_->setDescription(QString::fromStdString(name), QString::fromStdString(description));
}

void CLumentaDlg::onDataReceived(const char*, unsigned int) {}

// The receive thread ends before the port goes, and the port before the dialog's QObject, whose
// going drops a call still queued.
void CLumentaDlg::onPortLost(const char*) {
    QMetaObject::invokeMethod(
        this, [this] { controller_.onPortLost(); }, Qt::QueuedConnection);
}

void CLumentaDlg::watchPortEvents(std::unique_ptr<PortEventSource> source) {
    if (source == nullptr || source->descriptor() < 0) {
        return;
    }
    auto notifier = std::make_unique<QSocketNotifier>(source->descriptor(), QSocketNotifier::Read);
    PortEventSource* news = source.get();
    connect(notifier.get(), &QSocketNotifier::activated, this, [this, news] {
        if (news->takeNews()) {
            controller_.onPortsChanged();
        }
    });
    portEvents_.push_back(WatchedSource{std::move(source), std::move(notifier)});
}

void CLumentaDlg::showAboutBox() {
    CAboutDlg about(this);
    about.exec();
}

// The desktop's browser gets the guide; when there is none (no xdg-open, no browser), the window
// says so and where the guide is.
void CLumentaDlg::openUserGuide() {
    const QUrl address = userGuideAddress(QCoreApplication::applicationDirPath());
    if (QDesktopServices::openUrl(address)) {
        return;
    }
    QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(),
                    QStringLiteral("No program could open the user guide."), QMessageBox::Ok, this);
    box.setInformativeText(userGuideNotOpenedText(address));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}
