#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QImage>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "control/port_discovery.h"

// The window tests run on Qt's offscreen platform, with one application for the whole run that is
// never destroyed (Qt's own statics go first at exit).
inline QApplication& testApplication() {
    static int argc = 1;
    static char name[] = "lumenta";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// A port list that shows exactly the names (and descriptions) a test gives it.
class FixedPortProbe : public PortProbe {
public:
    explicit FixedPortProbe(std::vector<std::string> names) : names_(std::move(names)) {}
    std::vector<std::string> presentPortNames() override { return names_; }
    std::string portDescription(const std::string& name) override {
        const auto found = descriptions_.find(name);
        return found == descriptions_.end() ? std::string() : found->second;
    }
    std::vector<std::string> names_;
    std::map<std::string, std::string> descriptions_;
};

// Runs the event loop until the condition holds or the time is up.
inline bool processEventsUntil(const std::function<bool()>& done, int milliseconds = 2000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

// The colour the widget shows at a point, as the window system would put it on screen.
inline QColor pixelAt(QWidget& widget, QPoint point) {
    return widget.grab().toImage().pixelColor(point);
}

// Once a modal window opens (from inside the code under test, which then waits in its own event
// loop), hands it to inspect and then closes it. Returns at once; the check runs later.
inline void whenModalOpens(std::function<void(QWidget&)> inspect) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, inspect] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            inspect(*modal);
            modal->close();
        }
    });
    poll->start(10);
}

// While it lives, closes every message box as it opens, counting them and keeping the last one's texts.
class MessageBoxCloser {
public:
    MessageBoxCloser() {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ++boxes;
                text = box->text();
                details = box->informativeText();
                box->close();
            }
        });
        poll_.start(5);
    }

    int boxes = 0;
    QString text;
    QString details;

private:
    QTimer poll_;
};

// Takes the place of the browser while it lives: every web address the program opens lands here.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
    }
    ~UrlCatcher() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }
    Q_INVOKABLE void open(const QUrl& url) { opened.push_back(url); }

    QList<QUrl> opened;
};
