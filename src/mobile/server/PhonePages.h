#pragma once

#include "mobile/server/FairMutex.h"
#include "mobile/server/StaffSessions.h"
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMultiHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include <mutex>

class Database;
struct MenuRecord;
class BillDocument;
class PageData;
class PageTemplate;

// One request to a phone page, already taken apart by the HTTP layer.
struct PageRequest {
    QString page;                        // "list.asp" ...
    bool post = false;                   // POST carries a change; GET only shows
    QMultiHash<QString, QString> params; // query and form fields, decoded
    QString peer;                        // remote address, for the log and the sign-in lock
    QString staffSession;                // the staff session cookie, if the browser sent one
};

struct PageResponse {
    int status = 200;
    QByteArray body;  // UTF-8 HTML
    QString location; // set for the redirect after a change (303)
    QString cookie;   // a new staff session to set in the browser
};

// Who asks: a guest holding a table's code, or staff (signed in).
struct PageVisitor {
    QString guestToken; // empty for staff
    QString guestKey;   // 餐桌设置.编号 of the guest's table
    bool guest() const { return !guestToken.isEmpty(); }
};

// The seven pages of mobile ordering. Each request builds the counter's own objects (settings, table map,
// order session) over the shared connection, so a change from a phone is the change the ordering window
// makes. Page files in `pageFolder` are read on every request: an edited page shows at the next reload.
// A guest with a table's code (t=<token>) may show the menu and the bill of that table and add dishes;
// everything else needs a staff session, given by signing in with the counter's login password.
class PhonePages {
public:
    PhonePages(Database& db, FairMutex& dbMutex, QString pageFolder);

    static const QStringList& Names();
    PageResponse handle(const PageRequest& request);

    // Name of the staff session cookie.
    static constexpr const char* kSessionCookie = "cjstaff";
    StaffSessions& sessions() { return sessions_; }

    // Short text that changes whenever the listed menu does (names, prices, order); the menu page sends it
    // back with the chosen positions.
    static QString MenuFingerprint(const QList<MenuRecord>& menu);

    // A page telling the user what went wrong, with a link back.
    static PageResponse Message(int status, const QString& text,
                                const QString& back = QStringLiteral("list.asp"));

    // The staff sign-in form, with a message (may be empty) and the page to go on to.
    static PageResponse SignInPage(int status, const QString& message, const QString& next);

    // Longest search text and most items accepted in one order.
    static constexpr int kMaxSearchLength = 50;
    static constexpr int kMaxItemsPerOrder = 200;

private:
    PageResponse render(const QString& page, const PageData& data);
    // The parsed page file, parsed again whenever the file's time or size changes.
    std::shared_ptr<const PageTemplate> pageFile(const QString& page, QString& problem);

    PageResponse dispatch(const PageRequest& request, const PageVisitor& visitor);
    PageVisitor guestFor(const QString& token);
    PageResponse signIn(const PageRequest& request);

    PageResponse list();
    PageResponse menu(const PageRequest& request, const PageVisitor& visitor);
    PageResponse saveMenu(const PageRequest& request, const PageVisitor& visitor);
    PageResponse detail(const PageRequest& request, const PageVisitor& visitor);
    PageResponse modify(const PageRequest& request);
    PageResponse remove(const PageRequest& request);
    // A page about one line of a bill (change, delete): GET shows the line, POST runs `change` on the
    // opened bill and returns to the bill with the message key `change` gives back.
    using LineChange = std::function<QString(BillDocument& bill, int table, int line)>;
    PageResponse lineForm(const PageRequest& request, const QString& page, const LineChange& change);
    PageResponse save(const PageRequest& request);

    Database& db_;
    FairMutex& dbMutex_;
    QString pageFolder_;
    StaffSessions sessions_;

    struct CachedPage {
        QDateTime modified;
        qint64 size = -1;
        std::shared_ptr<const PageTemplate> parsed;
    };
    std::mutex cacheMutex_;
    QHash<QString, CachedPage> cache_;
};
