#pragma once

#include <QLabel>
#include <QSocketNotifier>
#include <QWidget>
#include <array>

#include "tools/virtual_dimmer/virtual_dimmer.h"
#include "tools/virtual_dimmer/window/lamp_widget.h"

// The virtual dimmer's window: its port, the 24 lamps in the panel's layout (4 rows of 6), the count
// of accepted frames and of rejected bytes, and the last frame in hex. It reads the pseudo-terminal
// on the GUI thread whenever bytes are queued there.
class DimmerWindow : public QWidget {
public:
    explicit DimmerWindow(VirtualDimmer& dimmer);

    // Reads what is queued and shows the result; the socket notifier calls it, tests may too.
    void readAndShow();

    LampWidget& lamp(int channelNumber) const { return *lamps_.at(channelNumber - 1); }
    QString countsText() const { return counts_->text(); }
    QString lastFrameText() const { return lastFrame_->text(); }

private:
    void showState();

    VirtualDimmer& dimmer_;
    std::array<LampWidget*, kDimmerChannelCount> lamps_{};
    QLabel* counts_;
    QLabel* lastFrame_;
    QSocketNotifier notifier_;
};
