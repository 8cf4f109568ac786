#include "ui/qt/colour_button.h"

#include <qdrawutil.h>
#include <QPainter>

namespace {

// The classic 3-D border colours, fixed so that no style or palette changes the look.
QPalette classicBorder() {
    QPalette palette;
    palette.setColor(QPalette::Light, QColor(255, 255, 255));
    palette.setColor(QPalette::Midlight, QColor(227, 227, 227));
    palette.setColor(QPalette::Dark, QColor(160, 160, 160));
    palette.setColor(QPalette::Shadow, QColor(105, 105, 105));
    return palette;
}

}  // namespace

CColourButton::CColourButton(const QString& caption, QColor face, QWidget* parent)
    : QAbstractButton(parent), face_(face) {
    setText(caption);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CColourButton::setFaceColour(QColor face) {
    face_ = face;
    update();
}

void CColourButton::paintEvent(QPaintEvent*) {
    static const QPalette border = classicBorder();
    QPainter painter(this);
    painter.fillRect(rect(), face_);
    qDrawWinPanel(&painter, rect(), border, isDown());
    painter.setPen(Qt::white);
    painter.setFont(font());
    // The caption moves by a pixel with the pressed face, as classic buttons do.
    const QRect textArea = isDown() ? rect().translated(1, 1) : rect();
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextSingleLine, text());
}
