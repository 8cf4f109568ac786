#pragma once

#include <memory>
#include <string>

// A virtual port made visible to the panel's port list: the symbolic link DIR/NAME -> pseudo-terminal.
//
// While the port is published we hold an exclusive lock on DIR/.NAME.lock; the kernel drops it when
// the process ends, however it ends. So a link whose lock is free belongs to a run that was killed:
// it is stale and is replaced. A link whose lock is held belongs to a live dimmer: publishing the
// same name again fails. The destructor removes the link; the
// empty lock file stays for the next run of that name.
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
    PublishedPort(std::string name, std::string linkPath, int lockFd, bool replacedStale);

    std::string name_;
    std::string linkPath_;
    int lockFd_;
    bool replacedStale_;
};
