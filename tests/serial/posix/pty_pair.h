#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "common/published_port.h"

// A pseudo-terminal for a port to open: the test talks on the master side. The slave side stays open
// here as well, so the line survives the port's close and the test can look at the slave's settings.
// A port opens a pseudo-terminal only as the target of a live virtual port, so the pair publishes
// its slave as one, as the virtual dimmer does, in the test's port directory ($LUMENTA_PORT_DIR,
// made for the process when unset); the slave's path then opens too.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }
    int slave() const { return slave_; }

    // Hangs the line up for whoever has the slave open.
    void closeMaster();
    void closeSlave();

    // Writes every byte to the master side (towards the port).
    void send(const std::string& bytes);
    // Reads from the master side until count bytes have come or the time is up.
    std::string receive(std::size_t count, std::chrono::milliseconds limit = std::chrono::milliseconds(3000));
    // Whatever arrives on the master side within the time.
    std::string drain(std::chrono::milliseconds limit) { return receive(SIZE_MAX, limit); }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::unique_ptr<PublishedPort> published_;
};

// A private directory of virtual ports for the life of the object ($LUMENTA_PORT_DIR points at it).
class PrivatePortDir {
public:
    PrivatePortDir();
    ~PrivatePortDir();
    PrivatePortDir(const PrivatePortDir&) = delete;
    PrivatePortDir& operator=(const PrivatePortDir&) = delete;

    const std::string& path() const { return path_; }
    // Publishes a live virtual port, as the virtual dimmer does: the link name -> target, its lock held.
    void publish(const std::string& name, const std::string& target);
    void unpublish(const std::string& name);

private:
    std::string path_;
    std::map<std::string, std::unique_ptr<PublishedPort>> published_;
    std::string previous_;
    bool hadPrevious_ = false;
};
