#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

#include "common/published_port.h"

// A raw pseudo-terminal: the peer under test opens the slave, the benchmark drives the master. Our
// port opens a pseudo-terminal only as the target of a live virtual port, so the line publishes its
// slave as one, in a port directory of the benchmark's own ($LUMENTA_PORT_DIR points at it).
class PtyLine {
public:
    PtyLine();
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    bool isValid() const { return master_ >= 0; }
    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

private:
    int master_ = -1;
    std::string slavePath_;
    std::unique_ptr<PublishedPort> published_;
};

// A process of its own that writes total bytes into a line's master once started, so that the
// sender's CPU time is not counted against the receiver.
class SenderProcess {
public:
    SenderProcess(int master, std::size_t total);
    ~SenderProcess();
    SenderProcess(const SenderProcess&) = delete;
    SenderProcess& operator=(const SenderProcess&) = delete;

    bool isValid() const { return pid_ > 0; }
    void start();
    // True when the sender wrote everything.
    bool finish();

private:
    pid_t pid_ = -1;
    int go_ = -1;
};
