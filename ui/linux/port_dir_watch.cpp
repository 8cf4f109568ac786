#include "ui/linux/port_dir_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

#include "common/virtual_port_dir.h"

namespace {

// Entries made, removed or renamed, and a file closed after writing (the lock file of a publisher
// that ended); and the directory itself going away.
constexpr std::uint32_t kEntryChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE;
constexpr std::uint32_t kDirectoryGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED;

}  // namespace

PortDirWatch::PortDirWatch(std::string directory) : directory_(std::move(directory)) {
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    watchDirectory();
}

PortDirWatch::~PortDirWatch() {
    if (inotify_ >= 0) {
        ::close(inotify_);
    }
}

void PortDirWatch::watchDirectory() {
    if (inotify_ < 0) {
        return;
    }
    std::string refused;
    const PortDirectory dir = PortDirectory::open(directory_, true, refused);
    if (!dir.isOpen()) {
        watch_ = -1;
        return;
    }
    // The open descriptor's entry in /proc leads to the checked directory itself, not to its path.
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", dir.fd());
    watch_ = inotify_add_watch(inotify_, path, kEntryChanges | kDirectoryGone | IN_ONLYDIR);
}

bool PortDirWatch::takeNews() {
    bool news = false;
    bool gone = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t size = read(inotify_, buffer, sizeof buffer);
        if (size <= 0) {
            break;
        }
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            news = news || (event->mask & (kEntryChanges | IN_Q_OVERFLOW)) != 0;
            gone = gone || (event->wd == watch_ && (event->mask & kDirectoryGone) != 0);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (gone) {
        // A moved directory still sends its events; the ports live at the path, so watch that again.
        if (watch_ >= 0) {
            inotify_rm_watch(inotify_, watch_);
        }
        watchDirectory();
        news = true;
    }
    return news;
}
