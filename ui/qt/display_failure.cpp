#include "ui/qt/display_failure.h"

#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string g_program;
std::vector<std::string> g_heldBack;  // the platform plugin's messages, formatted
QtMessageHandler g_previous = nullptr;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string failureLine(const std::string& qtReason) {
    const std::string display = environment("DISPLAY");
    const std::string wayland = environment("WAYLAND_DISPLAY");
    if (display.empty() && wayland.empty()) {
        return g_program +
               ": no display to show the window on: DISPLAY is not set (start it in a desktop session, "
               "or set DISPLAY)";
    }
    const std::string which = !display.empty() ? "the display " + display : "the Wayland display " + wayland;
    return g_program + ": cannot open " + which + (qtReason.empty() ? "" : " (" + qtReason + ")");
}

void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        std::string reason;
        for (const std::string& held : g_heldBack) {
            if (held.find("display") != std::string::npos) {
                reason = held;
            }
        }
        std::fprintf(stderr, "%s\n", failureLine(reason).c_str());
        std::fflush(stderr);
        _exit(1);
    }
    if (context.category != nullptr && qstrncmp(context.category, "qt.qpa", 6) == 0) {
        g_heldBack.push_back(message.toStdString());
        return;
    }
    if (g_previous != nullptr) {
        g_previous(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
}

}  // namespace

DisplayFailureReport::DisplayFailureReport(const char* program) {
    g_program = program;
    g_heldBack.clear();
    g_previous = qInstallMessageHandler(onQtMessage);
}

DisplayFailureReport::~DisplayFailureReport() {
    qInstallMessageHandler(g_previous);
    g_previous = nullptr;
    for (const std::string& held : g_heldBack) {
        std::fprintf(stderr, "%s\n", held.c_str());
    }
    g_heldBack.clear();
}
