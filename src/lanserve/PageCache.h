#pragma once

#include "lanserve/FolderWatch.h"
#include "lanserve/JoinedReads.h"
#include "lanserve/PageKit.h"
#include "store/Database.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

// Rendered phone pages, kept while nothing they show can have changed. Most requests on a busy evening
// reload the table list or a menu that no one has changed since the last reload; those are answered
// from here without building the page again.
//
// A kept page is used only for the same page, the same fields and the same visitor (staff, or the guest
// holding that table's code), and only while the database and the page file are as they were when it was
// rendered: the database's counters of commits from other connections (the counter program) and of this
// connection's own changes, and the page files (their folder's change notices, or else the file's time
// and size). Callers ask only after the access checks,
// so a kept page never reaches anyone the checks would have refused.
class PageCache {
public:
    PageCache(PageContext& context, QString pageFolder);

    // The page for this request: a kept one when still valid, else what `render` makes, kept when it is
    // a plain page (200, no cookie, no redirect).
    PageResponse answer(PhonePage page, const PageRequest& request, const PageVisitor& visitor,
                        const std::function<PageResponse()>& render);

    // The table key of a guest's code as `lookUp` finds it in the database; a key found is kept while
    // the database is unchanged, so a guest's reloads need no look-up.
    std::optional<QString> guestKey(const QString& token,
                                    const std::function<std::optional<QString>()>& lookUp);

    // The stamps of the staff's stored passwords as `read` gives them, kept while the database is
    // unchanged, so checking a staff session needs no look-up on most requests.
    QHash<QString, QString> passwordStamps(const std::function<QHash<QString, QString>()>& read);

    // Pages kept at most; past that the cache starts again (many searches would otherwise fill it).
    static constexpr int kMaxPages = 256;
    // Requests with longer field text are never kept.
    static constexpr int kMaxKeyLength = 2048;

private:
    // What a rendered page depends on besides the request.
    struct Stamp {
        qint64 otherCommits = -1;           // PRAGMA data_version: changes when another connection commits
        qint64 ownChanges = -1;             // rows this connection has changed since it opened
        std::uint64_t pageFilesChanged = 0; // the page folder's change count, while it is watched
        qint64 fileTime = -1;               // else the page file's modification time, nanoseconds,
        qint64 fileSize = -1;               // and size
        bool operator==(const Stamp&) const = default;
    };
    struct Kept {
        Stamp stamp;
        QByteArray body;
    };

    // The database's two counters.
    struct Commits {
        qint64 others = -1;
        qint64 own = -1;
        bool operator==(const Commits&) const = default;
    };
    struct KeptKey {
        Commits commits;
        QString key;
    };

    static bool Cacheable(PhonePage page, const PageRequest& request);
    static QString KeyOf(PhonePage page, const PageRequest& request, const PageVisitor& visitor);
    Stamp stampOf(PhonePage page);
    Commits readCommits();

    PageContext& context_;
    const QString pageFolder_;
    FolderWatch pageFiles_;
    // Requests that come together share one look at the counters instead of each queueing for the
    // database lock.
    JoinedReads<Commits> commits_;
    std::mutex mutex_;
    QHash<QString, Kept> pages_;
    QHash<QString, KeptKey> guestKeys_;
    struct KeptStamps {
        Commits commits;
        QHash<QString, QString> stamps;
    };
    std::optional<KeptStamps> passwordStamps_;
};
