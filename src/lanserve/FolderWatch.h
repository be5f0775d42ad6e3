#pragma once

#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>

// Tells whether the files of a folder may have changed, from the kernel's change notices (inotify): one
// cheap read per question instead of a stat of each file. A notice is queued while the change is made, so
// the first question after an edit already sees it.
class FolderWatch {
public:
    explicit FolderWatch(const QString& folder);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // A number that changes whenever a file in the folder may have changed; nullopt when notices cannot
    // be had (no folder, no watch, the folder itself moved or deleted, lost notices), and then for good:
    // callers look at the files themselves.
    std::optional<std::uint64_t> generation();

private:
    void stopWatching();

    std::mutex mutex_;
    int notices_ = -1;
    std::uint64_t generation_ = 0;
};
