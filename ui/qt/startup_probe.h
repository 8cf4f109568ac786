#pragma once

#include <QObject>

class QWidget;

// For the start-up figures (bench/startup-figures): when LUMENTA_STARTUP_T0 holds the wall clock in
// nanoseconds (date +%s%N) taken just before the program was started, the first time the window is
// painted on screen the probe prints to stderr
//   lumenta-startup shown_ms=T cpu_ms=C peak_rss_kb=K
// and ends the window. Without that variable it does nothing.
class StartupProbe : public QObject {
public:
    explicit StartupProbe(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    long long startNs_ = -1;
};
