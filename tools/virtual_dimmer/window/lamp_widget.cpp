#include "tools/virtual_dimmer/window/lamp_widget.h"

#include <QPainter>
#include <QRadialGradient>
#include <cmath>

#include "tools/virtual_dimmer/channel_report.h"

namespace {

const QColor kTile(36, 36, 46);
const QColor kLampOff(58, 58, 66);
const QColor kLampOn(255, 214, 110);
const QColor kCaption(200, 200, 210);

QColor mix(const QColor& from, const QColor& to, double share) {
    return QColor::fromRgbF(from.redF() + (to.redF() - from.redF()) * share,
                            from.greenF() + (to.greenF() - from.greenF()) * share,
                            from.blueF() + (to.blueF() - from.blueF()) * share);
}

}  // namespace

LampWidget::LampWidget(int channelNumber, QWidget* parent) : QWidget(parent), number_(channelNumber) {
    setMinimumSize(sizeHint());
}

void LampWidget::setState(const ChannelState& state) {
    if (state.level != state_.level || state.mode != state_.mode) {
        state_ = state;
        update();
    }
}

void LampWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kTile);
    painter.drawRoundedRect(rect().adjusted(1, 1, -1, -1), 8, 8);

    // Brightness as the eye sees it: a lamp at half level looks well lit, not half dark.
    const double share = std::sqrt(state_.level / 255.0);
    const QPointF centre(width() / 2.0, height() / 2.0 + 2);
    const double radius = 22;

    // The glow around a lit lamp grows with its level.
    if (state_.level > 0) {
        QRadialGradient glow(centre, radius * 1.9);
        QColor inner = kLampOn;
        inner.setAlphaF(0.75 * share);
        QColor outer = kLampOn;
        outer.setAlpha(0);
        glow.setColorAt(0.45, inner);
        glow.setColorAt(1.0, outer);
        painter.setBrush(glow);
        painter.drawEllipse(centre, radius * 1.9, radius * 1.9);
    }
    QRadialGradient bulb(centre - QPointF(radius / 3, radius / 3), radius * 1.3);
    const QColor face = mix(kLampOff, kLampOn, share);
    bulb.setColorAt(0, mix(face, Qt::white, 0.35 * share));
    bulb.setColorAt(1, face);
    painter.setBrush(bulb);
    painter.setPen(QPen(QColor(20, 20, 26), 1.5));
    painter.drawEllipse(centre, radius, radius);

    painter.setPen(kCaption);
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(0, 4, width(), 16), Qt::AlignCenter, QStringLiteral("CH%1").arg(number_));
    font.setBold(false);
    painter.setFont(font);
    painter.drawText(QRect(0, height() - 20, width(), 16), Qt::AlignCenter,
                     QStringLiteral("%1  %2").arg(modeName(state_.mode)).arg(state_.level, 3));
}
