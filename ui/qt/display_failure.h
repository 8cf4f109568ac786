#pragma once

// While one lives (around the construction of the application), Qt failing to reach a display ends
// the program with one line on stderr that names the display, and exit status 1, in place of Qt's
// abort and its advice to reinstall. What the platform plugin says meanwhile is held back, and
// passed on when the display opened.
class DisplayFailureReport {
public:
    explicit DisplayFailureReport(const char* program);
    ~DisplayFailureReport();

    DisplayFailureReport(const DisplayFailureReport&) = delete;
    DisplayFailureReport& operator=(const DisplayFailureReport&) = delete;
};
