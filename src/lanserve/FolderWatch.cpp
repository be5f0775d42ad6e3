#include "lanserve/FolderWatch.h"

#include <QFile>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kChanges = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
// After these the watch no longer follows the folder's files.
constexpr std::uint32_t kWatchLost = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_Q_OVERFLOW | IN_UNMOUNT;

} // namespace

FolderWatch::FolderWatch(const QString& folder) {
    notices_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notices_ >= 0 && inotify_add_watch(notices_, QFile::encodeName(folder).constData(), kChanges) < 0)
        stopWatching();
}

FolderWatch::~FolderWatch() {
    stopWatching();
}

void FolderWatch::stopWatching() {
    if (notices_ >= 0)
        ::close(notices_);
    notices_ = -1;
}

std::optional<std::uint64_t> FolderWatch::generation() {
    const std::scoped_lock lock(mutex_);
    if (notices_ < 0)
        return std::nullopt;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(notices_, buffer, sizeof buffer);
        if (length <= 0)
            break;
        ++generation_;
        for (ssize_t at = 0; at < length;) {
            const auto* notice = reinterpret_cast<const inotify_event*>(buffer + at);
            if (notice->mask & kWatchLost) {
                stopWatching();
                return std::nullopt;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + notice->len);
        }
    }
    return generation_;
}
