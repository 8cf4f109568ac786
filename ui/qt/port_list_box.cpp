#include "ui/qt/port_list_box.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QStylePainter>
#include <algorithm>

namespace {

constexpr int kNameRole = Qt::UserRole;
constexpr int kDescriptionRole = Qt::UserRole + 1;

}  // namespace

CPortListBox::CPortListBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    // The drop-down is a window of its own; its hiding is the close-up, whatever closed it.
    view()->window()->installEventFilter(this);
    connect(this, &QComboBox::currentIndexChanged, this, [this] { showChosenDescription(); });
}

void CPortListBox::clearNames() {
    clear();
    view()->setMinimumWidth(0);
}

void CPortListBox::addName(const QString& name) {
    const std::string key = name.toStdString();
    int at = 0;
    while (at < count() && nameAt(at).toStdString() <= key) {
        ++at;
    }
    insertItem(at, name, name);
    widenDropDown(name);
}

void CPortListBox::setDescription(const QString& name, const QString& description) {
    const int index = findName(name);
    if (index < 0) {
        return;
    }
    const QString text = description.isEmpty() ? name : name + QStringLiteral(" \u2014 ") + description;
    setItemText(index, text);
    setItemData(index, description, kDescriptionRole);
    setItemData(index, description, Qt::ToolTipRole);
    widenDropDown(text);
    if (index == currentIndex()) {
        showChosenDescription();
    }
}

int CPortListBox::findName(const QString& name) const {
    return findData(name, kNameRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

QString CPortListBox::nameAt(int index) const {
    return itemData(index, kNameRole).toString();
}

QString CPortListBox::descriptionAt(int index) const {
    return itemData(index, kDescriptionRole).toString();
}

QString CPortListBox::chosenName() const {
    return currentIndex() < 0 ? QString() : nameAt(currentIndex());
}

bool CPortListBox::droppedDown() const {
    return view()->window()->isVisible();
}

// As QComboBox paints itself, with the bare name in the box.
void CPortListBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText = chosenName();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

// The entry clicked in the drop-down becomes the chosen one right after the drop-down hides, so the
// handler runs later, from the event loop.
bool CPortListBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide && watched == view()->window() && closeUp_) {
        QMetaObject::invokeMethod(
            this, [this] { closeUp_(); }, Qt::QueuedConnection);
    }
    return QComboBox::eventFilter(watched, event);
}

// The dropped-down list is as wide as its longest entry, even where the closed box is narrower.
void CPortListBox::widenDropDown(const QString& text) {
    const int wanted = fontMetrics().horizontalAdvance(text) + 24;
    view()->setMinimumWidth(std::max(view()->minimumWidth(), wanted));
}

void CPortListBox::showChosenDescription() {
    const QString description = currentIndex() < 0 ? QString() : descriptionAt(currentIndex());
    setToolTip(description.isEmpty() ? QString() : chosenName() + QStringLiteral(" \u2014 ") + description);
}
