#pragma once

#include <memory>
#include <string>

#include "common/virtual_port_dir.h"

// A virtual port made visible to the panel's port list: the symbolic link DIR/NAME -> pseudo-terminal.
//
// While the port is published we hold an exclusive lock on DIR/.NAME.lock; the kernel drops it when
// the process ends, however it ends. So a link whose lock is free belongs to a run that was killed:
// it is stale, readers neither list nor open it, and the next publication of the name replaces it.
// A link whose lock is held belongs to a live publisher: publishing the same name again fails.
//
// The directory is opened and checked once (PortDirectory) and everything after works on that open
// directory. The destructor removes the link, if it is still the one we made; the empty lock file
// stays for the next run of that name.
class PublishedPort {
public:
    // Nullptr on failure, with the reason in error. Creates the directory (mode 0700) when missing.
    static std::unique_ptr<PublishedPort> publish(const std::string& directory, const std::string& name,
                                                  const std::string& target, std::string& error);

    ~PublishedPort();
    PublishedPort(const PublishedPort&) = delete;
    PublishedPort& operator=(const PublishedPort&) = delete;

    const std::string& name() const { return name_; }
    const std::string& linkPath() const { return linkPath_; }
    // True when this publication replaced a link left behind by a run that did not end cleanly.
    bool replacedStaleLink() const { return replacedStale_; }

private:
    PublishedPort(PortDirectory directory, std::string name, std::string target, int lockFd,
                  bool replacedStale);

    PortDirectory directory_;
    std::string name_;
    std::string target_;
    std::string linkPath_;
    int lockFd_;
    bool replacedStale_;
};
