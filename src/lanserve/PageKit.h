#pragma once

#include "desk/OrderDesk.h"
#include "lanserve/FairMutex.h"
#include "lanserve/PageRoutes.h"
#include "lanserve/PageTemplate.h"
#include "store/Database.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMultiHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class BillDocument;
class Database;
class PageData;
class PageTemplate;
struct OrderDesk;
struct OrderLine;

// One request to a phone page, already taken apart by the HTTP layer.
struct PageRequest {
    QString page;                        // "list.asp" ...
    bool post = false;                   // POST carries a change; GET only shows
    QMultiHash<QString, QString> params; // query and form fields, decoded
    QString peer;                        // remote address, for the log and the sign-in lock
    QString staffSession;                // the staff session cookie, if the browser sent one
    QString deviceToken;                 // the device cookie of a phone that signed in before
    QStringList unreadableFields;        // fields whose bytes were not UTF-8 (their text above is garbled)
};

struct PageResponse {
    int status = 200;
    QByteArray body;         // UTF-8 HTML, or the bytes of contentType
    QString location;        // set for the redirect after a change (303)
    QString cookie;          // a new staff session to set in the browser
    QString deviceCookie;    // the device cookie to keep in the browser (set with a new session)
    bool endSession = false; // the browser forgets its staff session (sign-out)
    QByteArray contentType;  // empty for an HTML page
    QByteArray cacheControl; // empty: the browser keeps nothing (every page shows what is stored now)
};

// Who asks: a guest holding a table's code, or staff (signed in).
struct PageVisitor {
    QString guestToken; // empty for staff
    QString guestKey;   // 餐桌设置.编号 of the guest's table
    QString staff;      // the signed-in staff's 工号
    bool guest() const { return !guestToken.isEmpty(); }
};

// A request that cannot be carried out; shown as a message page with a link back.
struct PageFault {
    int status;
    QString text;
    QString back = PageName(PhonePage::List);
};

// What every page works with: the shared connection, its lock, and the page files in the data folder.
// Page files are read on every request, so an edited page shows at the next reload; a parsed file is kept
// until the file's time or size changes.
class PageContext {
public:
    PageContext(Database& db, FairMutex& dbMutex, QString pageFolder);

    Database& db() { return db_; }
    // A file beside the page folder, in the data folder.
    QString dataFile(const QString& name) const;
    FairMutex& dbMutex() { return dbMutex_; }
    // The page's template filled with the data, or a message page saying what is wrong with the file.
    PageResponse render(PhonePage page, const PageData& data);

private:
    std::shared_ptr<const PageTemplate> pageFile(const QString& name, QString& problem);

    Database& db_;
    FairMutex& dbMutex_;
    QString pageFolder_;
    struct CachedPage {
        QDateTime modified;
        qint64 size = -1;
        std::shared_ptr<const PageTemplate> parsed;
    };
    std::mutex cacheMutex_;
    QHash<QString, CachedPage> cache_;
};

// A page telling the user what went wrong, with a link back.
PageResponse MessagePage(int status, const QString& text, const QString& back = PageName(PhonePage::List));
// The answer after a change: the browser goes on to `location` (303).
PageResponse Redirect(const QString& location);

QString Param(const PageRequest& request, const char* name);
// "page?t=<table>": a page about one table, named by index (staff) or by the guest's code.
QString TableLink(PhonePage page, const QString& table);
QString TableLink(PhonePage page, int table);

// A table as a page names it: staff by its index, a guest by the token of their code.
struct TableRef {
    int index;
    QString param;
};
// The table a staff page names in "t"; a 404 fault when there is no such table.
int TableIndex(const PageRequest& request, OrderDesk& desk);
// The table a page is about: the guest's own table, or the one staff named.
TableRef ResolveTable(const PageRequest& request, OrderDesk& desk, const PageVisitor& visitor);
void OpenTable(OrderDesk& desk, int table);
// The bill a change was made on must still be the table's bill (the counter may have settled it since).
void CheckSameBill(const PageRequest& request, OrderDesk& desk, int table);
// The position of a line in the open bill; a 404 fault when the bill no longer has it.
int LineIndex(const BillDocument& bill, const QString& lineId, int table);
// A quantity as a phone may send it: 0.01 to 9999.99 with at most two decimals.
std::optional<QString> QuantityText(const QString& raw);
// That rule, as the pages tell it.
inline const QString kQuantityRule = QStringLiteral("请填写 0.01 到 9999.99 之间、最多两位小数的数字。");
// A value too long for its column is the phone's mistake: said on a page that leads back to the form.
void CheckFits(const std::function<void()>& check, const QString& back);
// Text a phone sent in another encoding (GBK) or broken would be stored as "����": a 400 fault naming the
// field, before anything is looked up or stored.
void RequireReadableFields(const PageRequest& request);

// The values every table page shows: the restaurant, the table and its bill's header.
PageData TableData(OrderDesk& desk, int table);
PageData TableData(OrderDesk& desk, const TableRef& table, const PageVisitor& visitor);
PageData LineData(const OrderLine& line);

// How a page about one table opens: the connection held for the request, the table the page names (the
// guest's own, or the one staff named) opened on a desk, and the values every table page shows. A page
// that reads several things sees them as of one moment with Reading::OneMoment.
class OpenedTable {
public:
    enum class Reading { OneMoment, AsItGoes };
    OpenedTable(PageContext& context, const PageRequest& request, const PageVisitor& visitor,
                Reading reading);

    OrderDesk& desk() { return desk_; }
    const TableRef& table() const { return table_; }
    PageData& data() { return data_; }

private:
    static std::optional<Transaction> ReadStep(Database& db, Reading reading);

    std::scoped_lock<FairMutex> lock_;
    std::optional<Transaction> reading_;
    OrderDesk desk_;
    TableRef table_;
    PageData data_;
};
