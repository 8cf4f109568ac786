#pragma once

#include <QApplication>

// Starts the program: prepares Qt, runs the panel's window modally and ends when it ends, whatever
// its result. The window is destroyed (and with it the serial port) before run returns.
class CLumentaApp {
public:
    CLumentaApp(int& argc, char** argv);

    int run();

private:
    QApplication app_;
};
