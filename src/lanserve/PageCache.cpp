#include "lanserve/PageCache.h"

#include "store/Database.h"

#include <QFile>
#include <QStringList>

#include <sys/stat.h>

PageCache::PageCache(PageContext& context, QString pageFolder)
    : context_(context), pageFolder_(std::move(pageFolder)), pageFiles_(pageFolder_),
      commits_([this] { return readCommits(); }) {}

// The pages that only show what is stored. The others either change something or show a new bill's id,
// which is made from the clock.
bool PageCache::Cacheable(PhonePage page, const PageRequest& request) {
    if (request.post)
        return false;
    return page == PhonePage::List || page == PhonePage::Menu || page == PhonePage::Detail;
}

namespace {

// Each part with its length in front, so no text a phone sends can run two parts together.
QString counted(const QString& text) {
    return QString::number(text.size()) + QLatin1Char(':') + text;
}

} // namespace

QString PageCache::KeyOf(PhonePage page, const PageRequest& request, const PageVisitor& visitor) {
    QStringList fields;
    fields.reserve(request.params.size());
    for (auto it = request.params.cbegin(); it != request.params.cend(); ++it)
        fields.append(counted(it.key()) + counted(it.value()));
    fields.sort();
    // The guest's code, or nothing for staff: a guest never gets a page rendered for anyone else.
    return counted(PageName(page)) + counted(visitor.guestToken) + fields.join(QString());
}

PageCache::Stamp PageCache::stampOf(PhonePage page) {
    Stamp stamp;
    struct stat file {};
    if (const std::optional<std::uint64_t> changes = pageFiles_.generation()) {
        stamp.pageFilesChanged = *changes;
    } else if (::stat(QFile::encodeName(pageFolder_ + QLatin1Char('/') + PageName(page)).constData(),
                      &file) == 0) {
        stamp.fileTime = static_cast<qint64>(file.st_mtim.tv_sec) * 1'000'000'000 + file.st_mtim.tv_nsec;
        stamp.fileSize = static_cast<qint64>(file.st_size);
    }
    const Commits commits = commits_.get();
    stamp.otherCommits = commits.others;
    stamp.ownChanges = commits.own;
    return stamp;
}

PageCache::Commits PageCache::readCommits() {
    const std::scoped_lock lock(context_.dbMutex());
    Commits commits;
    commits.others = context_.db().commitsByOthers();
    commits.own = context_.db().ownChanges();
    return commits;
}

PageResponse PageCache::answer(PhonePage page, const PageRequest& request, const PageVisitor& visitor,
                               const std::function<PageResponse()>& render) {
    if (!Cacheable(page, request))
        return render();
    const QString key = KeyOf(page, request, visitor);
    if (key.size() > kMaxKeyLength)
        return render();
    // Taken before rendering: a change that lands meanwhile makes the next request render again.
    const Stamp stamp = stampOf(page);
    {
        const std::scoped_lock lock(mutex_);
        if (const auto kept = pages_.constFind(key); kept != pages_.cend() && kept->stamp == stamp) {
            PageResponse response;
            response.body = kept->body;
            return response;
        }
    }
    PageResponse response = render();
    const bool plainPage = response.status == 200 && response.location.isEmpty() &&
                           response.cookie.isEmpty() && !response.endSession;
    if (plainPage) {
        const std::scoped_lock lock(mutex_);
        if (pages_.size() >= kMaxPages)
            pages_.clear();
        pages_.insert(key, Kept{stamp, response.body});
    }
    return response;
}

std::optional<QString> PageCache::guestKey(const QString& token,
                                           const std::function<std::optional<QString>()>& lookUp) {
    const Commits commits = commits_.get();
    {
        const std::scoped_lock lock(mutex_);
        if (const auto kept = guestKeys_.constFind(token);
            kept != guestKeys_.cend() && kept->commits == commits)
            return kept->key;
    }
    // Unknown codes are looked up every time: only real tables' codes are kept, so made-up ones cannot
    // crowd them out.
    const std::optional<QString> key = lookUp();
    if (key) {
        const std::scoped_lock lock(mutex_);
        if (guestKeys_.size() >= kMaxPages)
            guestKeys_.clear();
        guestKeys_.insert(token, KeptKey{commits, *key});
    }
    return key;
}

QHash<QString, QString> PageCache::passwordStamps(const std::function<QHash<QString, QString>()>& read) {
    const Commits commits = commits_.get();
    {
        const std::scoped_lock lock(mutex_);
        if (passwordStamps_ && passwordStamps_->commits == commits)
            return passwordStamps_->stamps;
    }
    QHash<QString, QString> stamps = read();
    const std::scoped_lock lock(mutex_);
    passwordStamps_ = KeptStamps{commits, stamps};
    return stamps;
}
