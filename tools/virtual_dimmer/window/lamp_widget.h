#pragma once

#include <QWidget>

#include "tools/virtual_dimmer/channel_table.h"

// One channel of the virtual dimmer: a lamp whose brightness follows the level (dark at 0, full at
// 255), with the channel's number, its mode and its level.
class LampWidget : public QWidget {
public:
    LampWidget(int channelNumber, QWidget* parent);

    void setState(const ChannelState& state);
    const ChannelState& state() const { return state_; }

    QSize sizeHint() const override { return {84, 104}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int number_;
    ChannelState state_;
};
