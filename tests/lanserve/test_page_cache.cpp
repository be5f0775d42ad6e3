// Kept phone pages: a page is rendered again as soon as anything it shows may have changed (a commit from
// the counter's connection, a change on the server's own, an edited page file), and a kept page never
// goes to another visitor or to a request that changes something.

#include "common/TestHome.h"
#include "lanserve/JoinedReads.h"
#include "lanserve/PageCache.h"
#include "mobile/ServicePages.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

PageRequest pageRequest(const QString& page, const QList<QPair<QString, QString>>& fields = {},
                        bool post = false) {
    PageRequest request;
    request.page = page;
    request.post = post;
    for (const auto& [key, value] : fields)
        request.params.insert(key, value);
    return request;
}

PageVisitor guest(const QString& token) {
    return PageVisitor{token, QStringLiteral("key-") + token, {}};
}

} // namespace

class TestPageCache : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void keptUntilEitherConnectionChangesData();
    void editedPageFileRendersAgain();
    void replacedPageFolderIsFollowed();
    void visitorsAndFieldsKeepTheirOwnPages();
    void onlyPlainReadingPagesAreKept();
    void guestCodesFollowTheDatabase();
    void sharedReadingsBeganAfterTheAsking();

private:
    // The page through the cache; `renders_` counts the times it had to be rendered.
    PageResponse answer(PhonePage page, const PageRequest& request, const PageVisitor& visitor = {},
                        int status = 200);

    std::unique_ptr<TestHome> home_;
    QString folder_;
    std::unique_ptr<Database> db_;
    FairMutex mutex_;
    std::unique_ptr<PageContext> context_;
    std::unique_ptr<PageCache> cache_;
    int renders_ = 0;
};

void TestPageCache::init() {
    home_ = std::make_unique<TestHome>();
    folder_ = home_->path(QStringLiteral("data"));
    db_ = OpenProgramDatabase(folder_);
    WriteServicePages(folder_);
    context_ = std::make_unique<PageContext>(*db_, mutex_, folder_ + QStringLiteral("/phone"));
    cache_ = std::make_unique<PageCache>(*context_, folder_ + QStringLiteral("/phone"));
    renders_ = 0;
}

void TestPageCache::cleanup() {
    cache_.reset();
    context_.reset();
    db_.reset();
    home_.reset();
}

PageResponse TestPageCache::answer(PhonePage page, const PageRequest& request, const PageVisitor& visitor,
                                   int status) {
    return cache_->answer(page, request, visitor, [&] {
        ++renders_;
        PageResponse response;
        response.status = status;
        response.body = "render " + QByteArray::number(renders_);
        return response;
    });
}

void TestPageCache::keptUntilEitherConnectionChangesData() {
    const PageRequest list = pageRequest(QStringLiteral("list.asp"));
    QCOMPARE(answer(PhonePage::List, list).body, QByteArray("render 1"));
    QCOMPARE(answer(PhonePage::List, list).body, QByteArray("render 1"));
    QCOMPARE(renders_, 1);

    // The counter program commits on a connection of its own.
    {
        Database counter(folder_ + QLatin1Char('/') + kDatabaseFileName, DatabasePassword());
        counter.exec("UPDATE \"综合设置\" SET \"电话\" = 'x'");
    }
    QCOMPARE(answer(PhonePage::List, list).body, QByteArray("render 2"));
    QCOMPARE(answer(PhonePage::List, list).body, QByteArray("render 2"));

    // A change made on the server's own connection (an order from another phone).
    db_->exec("UPDATE \"综合设置\" SET \"电话\" = 'y'");
    QCOMPARE(answer(PhonePage::List, list).body, QByteArray("render 3"));
    QCOMPARE(renders_, 3);
}

void TestPageCache::editedPageFileRendersAgain() {
    const PageRequest menu = pageRequest(QStringLiteral("menu.asp"), {{"t", "1"}, {"c", "0"}});
    answer(PhonePage::Menu, menu);
    answer(PhonePage::Menu, menu);
    QCOMPARE(renders_, 1);
    QFile file(folder_ + QStringLiteral("/phone/menu.asp"));
    QVERIFY(file.open(QIODevice::Append));
    file.write("<!-- 今日特价 -->");
    file.close();
    answer(PhonePage::Menu, menu);
    QCOMPARE(renders_, 2);
}

void TestPageCache::replacedPageFolderIsFollowed() {
    const PageRequest list = pageRequest(QStringLiteral("list.asp"));
    answer(PhonePage::List, list);
    answer(PhonePage::List, list);
    QCOMPARE(renders_, 1);
    // The whole folder is put anew, as an installer would.
    const QString pages = folder_ + QStringLiteral("/phone");
    QVERIFY(QDir().rename(pages, pages + QStringLiteral(".old")));
    QVERIFY(QDir().mkpath(pages));
    QVERIFY(QFile::copy(pages + QStringLiteral(".old/list.asp"), pages + QStringLiteral("/list.asp")));
    answer(PhonePage::List, list);
    QCOMPARE(renders_, 2);
    answer(PhonePage::List, list);
    QCOMPARE(renders_, 2);
    // Edits in the new folder still show.
    QFile file(pages + QStringLiteral("/list.asp"));
    QVERIFY(file.open(QIODevice::Append));
    file.write("<!-- 新 -->");
    file.close();
    answer(PhonePage::List, list);
    QCOMPARE(renders_, 3);
}

void TestPageCache::visitorsAndFieldsKeepTheirOwnPages() {
    const PageRequest menu = pageRequest(QStringLiteral("menu.asp"), {{"t", "0"}, {"c", "0"}});
    const QString tokenA(32, QLatin1Char('a'));
    const QString tokenB(32, QLatin1Char('b'));
    const QByteArray forA = answer(PhonePage::Menu, menu, guest(tokenA)).body;
    const QByteArray forB = answer(PhonePage::Menu, menu, guest(tokenB)).body;
    const QByteArray forStaff = answer(PhonePage::Menu, menu).body;
    QCOMPARE(renders_, 3);
    QVERIFY(forA != forB && forB != forStaff && forA != forStaff);
    QCOMPARE(answer(PhonePage::Menu, menu, guest(tokenA)).body, forA);

    // The same fields in another order are the same page; another value is not.
    QCOMPARE(answer(PhonePage::Menu, pageRequest("menu.asp", {{"c", "0"}, {"t", "0"}})).body, forStaff);
    answer(PhonePage::Menu, pageRequest("menu.asp", {{"t", "0"}, {"c", "1"}}));
    answer(PhonePage::Menu, pageRequest("menu.asp", {{"t", "0"}, {"c", "0"}, {"s", "gb"}}));
    QCOMPARE(renders_, 5);
    // Fields cannot be run together: a value holding control characters is a page of its own.
    const QString runTogether =
        QStringLiteral("0") + QChar(1) + QStringLiteral("c") + QChar(0) + QStringLiteral("0");
    QVERIFY(answer(PhonePage::Menu, pageRequest("menu.asp", {{"t", runTogether}})).body != forStaff);
    QCOMPARE(renders_, 6);
}

void TestPageCache::onlyPlainReadingPagesAreKept() {
    const auto twice = [&](PhonePage page, const PageRequest& request, int status = 200) {
        const int before = renders_;
        answer(page, request, {}, status);
        answer(page, request, {}, status);
        return renders_ - before;
    };
    QCOMPARE(twice(PhonePage::Detail, pageRequest("detail.asp", {{"t", "2"}})), 1);
    QCOMPARE(twice(PhonePage::SaveMenu, pageRequest("savemenu.asp", {{"t", "2"}, {"q1", "1"}}, true)), 2);
    QCOMPARE(twice(PhonePage::List, pageRequest("list.asp", {{"password", "739"}}, true)), 2);
    // These show a new bill's id, made from the clock.
    QCOMPARE(twice(PhonePage::Save, pageRequest("save.asp", {{"t", "2"}})), 2);
    QCOMPARE(twice(PhonePage::Modify, pageRequest("modify.asp", {{"t", "2"}})), 2);
    // A refusal is never kept.
    QCOMPARE(twice(PhonePage::Detail, pageRequest("detail.asp", {{"t", "99"}}), 404), 2);
}

void TestPageCache::guestCodesFollowTheDatabase() {
    int lookUps = 0;
    std::optional<QString> stored = QStringLiteral("K1");
    const auto lookUp = [&] {
        ++lookUps;
        return stored;
    };
    const QString token(32, QLatin1Char('c'));
    QCOMPARE(cache_->guestKey(token, lookUp), stored);
    QCOMPARE(cache_->guestKey(token, lookUp), stored);
    QCOMPARE(lookUps, 1);
    // The counter renews the codes: the next request looks again and is refused, every time.
    stored.reset();
    {
        Database counter(folder_ + QLatin1Char('/') + kDatabaseFileName, DatabasePassword());
        counter.exec("UPDATE \"综合设置\" SET \"电话\" = 'z'");
    }
    QCOMPARE(cache_->guestKey(token, lookUp), std::nullopt);
    QCOMPARE(cache_->guestKey(token, lookUp), std::nullopt);
    QCOMPARE(lookUps, 3);
}

void TestPageCache::sharedReadingsBeganAfterTheAsking() {
    std::atomic<int> begun{0};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    JoinedReads<int> reads([&] {
        const int number = ++begun;
        if (number == 1)
            released.wait_for(std::chrono::seconds(10)); // the first reading is slow
        return number;
    });
    std::future<int> first = std::async(std::launch::async, [&] { return reads.get(); });
    for (int wait = 0; wait < 1000 && begun == 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    QCOMPARE(begun.load(), 1);
    // These ask while the first reading is under way: it began too early for them.
    std::future<int> second = std::async(std::launch::async, [&] { return reads.get(); });
    std::future<int> third = std::async(std::launch::async, [&] { return reads.get(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    release.set_value();
    QCOMPARE(first.get(), 1);
    QVERIFY(second.get() >= 2);
    QVERIFY(third.get() >= 2);
    // With no one else asking, a caller gets a reading of its own.
    const int before = begun;
    QCOMPARE(reads.get(), before + 1);
}

QTEST_GUILESS_MAIN(TestPageCache)
#include "test_page_cache.moc"
