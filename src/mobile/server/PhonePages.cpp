#include "mobile/server/PhonePages.h"

#include "app/Login.h"
#include "bill/BillStore.h"
#include "main/OrderDesk.h"
#include "mobile/TableTokens.h"
#include "mobile/server/PageTemplate.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Log.h"
#include "store/NumberText.h"
#include "store/Schema.h"
#include "store/Settings.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <map>

namespace {

// A request that cannot be carried out; shown as a message page.
struct PageFault {
    int status;
    QString text;
    QString back = QStringLiteral("list.asp");
};

// The counter's objects for one request, over the shared connection.
using Counter = OrderDesk;

const QStringList& categories() {
    static const QStringList names{kDishes, kDrinks, kOthers};
    return names;
}

QString param(const PageRequest& request, const char* name) {
    return request.params.value(QString::fromLatin1(name));
}

QString detailLink(const QString& table) {
    return QStringLiteral("detail.asp?t=%1").arg(table);
}

QString detailLink(int table) {
    return detailLink(QString::number(table));
}

// A table as a page names it: staff by its index, a guest by the token of their code.
struct TableRef {
    int index;
    QString param;
};

int tableIndex(const PageRequest& request, Counter& counter) {
    bool ok = false;
    const int index = param(request, "t").toInt(&ok);
    if (!ok || index < 0 || index >= counter.tables.tableCount())
        throw PageFault{404, QStringLiteral("没有这张餐桌，请返回餐桌列表重新选择。")};
    return index;
}

TableRef resolveTable(const PageRequest& request, Counter& counter, const PageVisitor& visitor) {
    if (!visitor.guest()) {
        const int index = tableIndex(request, counter);
        return {index, QString::number(index)};
    }
    // Looked up by key, so renaming or deleting another table changes nothing for this code.
    const int index = static_cast<int>(counter.settings.tableKeys().indexOf(visitor.guestKey));
    if (index < 0 || index >= counter.tables.tableCount())
        throw PageFault{403, QStringLiteral("这张餐桌的二维码已失效，请联系服务员。")};
    return {index, visitor.guestToken};
}

void openTable(Counter& counter, int table) {
    counter.openTable(table, QDateTime::currentDateTime());
}

// The bill a change was made on must still be the table's bill (the counter may have settled it since).
void checkSameBill(const PageRequest& request, Counter& counter, int table) {
    if (!counter.tables.isOccupied(table) || param(request, "b") != counter.bill.billId())
        throw PageFault{409, QStringLiteral("这张餐桌的账单已经变动（可能已在收银台结账），请返回查看。"),
                        detailLink(table)};
}

int lineIndex(const BillDocument& bill, const QString& lineId, int table) {
    for (int i = 0; i < bill.lines().size(); ++i)
        if (bill.lines().at(i).lineId == lineId && !lineId.isEmpty())
            return i;
    throw PageFault{404, QStringLiteral("这道菜已不在账单中，请返回查看。"), detailLink(table)};
}

// A quantity as a phone may send it: a positive number with at most two decimals.
std::optional<QString> quantityText(const QString& raw) {
    static const QRegularExpression pattern(QStringLiteral("^\\d{1,4}(\\.\\d{1,2})?$"));
    const QString text = raw.trimmed();
    if (!pattern.match(text).hasMatch() || ReadNumber(text) <= 0)
        return std::nullopt;
    return NumberText(ReadNumber(text));
}

// A value too long for its column is the phone's mistake: said on a page that leads back to the form.
void checkFits(const std::function<void()>& check, const QString& back) {
    try {
        check();
    } catch (const StoreError& error) {
        throw PageFault{400, error.text(), back};
    }
}

PageData tableData(Counter& counter, int table) {
    PageData data;
    data.set(QStringLiteral("restaurant"), counter.settings.restaurantName());
    data.set(QStringLiteral("table"), table);
    const BillHeader& header = counter.bill.header();
    data.set(QStringLiteral("tableName"), header.tableName);
    data.set(QStringLiteral("billId"), header.billId);
    data.set(QStringLiteral("opened"), header.openedText);
    data.setFlag(QStringLiteral("occupied"), counter.tables.isOccupied(table));
    data.setFlag(QStringLiteral("hasLines"), !counter.bill.lines().isEmpty());
    data.set(QStringLiteral("lineCount"), static_cast<int>(counter.bill.lines().size()));
    data.set(QStringLiteral("dishes"), header.dishes);
    data.set(QStringLiteral("drinks"), header.drinks);
    data.set(QStringLiteral("others"), header.others);
    data.set(QStringLiteral("receivable"), header.receivable);
    data.set(QStringLiteral("customerName"), header.customerName);
    data.set(QStringLiteral("phone"), header.phone);
    data.set(QStringLiteral("remark"), header.remark);
    return data;
}

PageData tableData(Counter& counter, const TableRef& table, const PageVisitor& visitor) {
    PageData data = tableData(counter, table.index);
    data.set(QStringLiteral("table"), table.param);
    data.setFlag(QStringLiteral("guest"), visitor.guest());
    return data;
}

PageData lineData(const OrderLine& line) {
    PageData row;
    row.set(QStringLiteral("lineId"), line.lineId);
    row.set(QStringLiteral("category"), line.category);
    row.set(QStringLiteral("name"), line.name);
    row.set(QStringLiteral("quantity"), line.quantity);
    row.set(QStringLiteral("unit"), line.unit);
    row.set(QStringLiteral("price"), line.price);
    row.set(QStringLiteral("amount"), line.amount);
    row.set(QStringLiteral("lineRemark"), line.remark);
    row.setFlag(QStringLiteral("served"), !line.served.isEmpty());
    return row;
}

QString doneMessage(const QString& code) {
    static const QHash<QString, QString> texts{{QStringLiteral("added"), QStringLiteral("已加入账单。")},
                                               {QStringLiteral("modified"), QStringLiteral("已修改。")},
                                               {QStringLiteral("deleted"), QStringLiteral("已删除。")},
                                               {QStringLiteral("saved"), QStringLiteral("已保存。")}};
    return texts.value(code);
}

PageResponse redirect(const QString& location) {
    PageResponse response;
    response.status = 303;
    response.location = location;
    return response;
}

const char* const kMessagePage = R"(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>提示</title>
<style>body{font-family:sans-serif;margin:0;background:#f2f2f2;font-size:18px}
header{background:rgb(75,151,199);color:#fff;padding:14px 16px;font-size:20px}
p{margin:24px 16px;line-height:1.6;word-break:break-all}
a{display:block;margin:16px;padding:14px;text-align:center;background:rgb(75,151,199);color:#fff;
text-decoration:none;border-radius:6px}</style></head>
<body><header>提示</header><p id="message">{{message}}</p><a href="{{back}}">返回</a></body></html>
)";

// Staff sign in here; the password is the counter's login password.
const char* const kSignInPage = R"(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>服务员登录</title>
<style>body{font-family:sans-serif;margin:0;background:#f2f2f2;font-size:18px}
header{background:rgb(75,151,199);color:#fff;padding:14px 16px;font-size:20px}
form{margin:24px 16px}p{line-height:1.6}.error{color:#c00}
input,button{box-sizing:border-box;width:100%;font-size:18px;padding:12px;margin:8px 0;border-radius:6px}
input{border:1px solid #bbb}button{border:0;background:rgb(75,151,199);color:#fff}</style></head>
<body><header>服务员登录</header>
<form method="post" action="list.asp">
{{#message}}<p class="error" id="message">{{message}}</p>{{/message}}
<p>请输入收银软件的登录密码。顾客请扫描餐桌上的二维码点菜。</p>
<input type="hidden" name="next" value="{{next}}">
<input type="password" name="password" autocomplete="current-password" maxlength="50" autofocus>
<button type="submit">登录</button>
</form></body></html>
)";

// The pages a guest's code opens.
const QStringList kGuestPages{QStringLiteral("menu.asp"), QStringLiteral("detail.asp"),
                              QStringLiteral("savemenu.asp")};

// The page and query of a shown page, to return to after signing in.
QString pageTarget(const PageRequest& request) {
    QString target = request.page;
    QChar separator = QLatin1Char('?');
    for (auto it = request.params.cbegin(); it != request.params.cend(); ++it) {
        target += separator + QString::fromLatin1(QUrl::toPercentEncoding(it.key())) + QLatin1Char('=') +
                  QString::fromLatin1(QUrl::toPercentEncoding(it.value()));
        separator = QLatin1Char('&');
    }
    return target.size() > 1000 ? request.page : target;
}

} // namespace

PhonePages::PhonePages(Database& db, FairMutex& dbMutex, QString pageFolder)
    : db_(db), dbMutex_(dbMutex), pageFolder_(std::move(pageFolder)) {}

const QStringList& PhonePages::Names() {
    static const QStringList names{QStringLiteral("list.asp"),     QStringLiteral("menu.asp"),
                                   QStringLiteral("savemenu.asp"), QStringLiteral("detail.asp"),
                                   QStringLiteral("modify.asp"),   QStringLiteral("delete.asp"),
                                   QStringLiteral("save.asp")};
    return names;
}

QString PhonePages::MenuFingerprint(const QList<MenuRecord>& menu) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const MenuRecord& record : menu)
        hash.addData(record.toText().toUtf8() + '\n');
    return QString::fromLatin1(hash.result().toHex().left(16));
}

PageResponse PhonePages::Message(int status, const QString& text, const QString& back) {
    static const PageTemplate page(QString::fromUtf8(kMessagePage));
    PageData data;
    data.set(QStringLiteral("message"), text);
    data.set(QStringLiteral("back"), back);
    PageResponse response;
    response.status = status;
    response.body = page.render(data).toUtf8();
    return response;
}

PageResponse PhonePages::handle(const PageRequest& request) {
    PageVisitor visitor;
    try {
        const QString& page = request.page;
        if (!Names().contains(page))
            return Message(404, QStringLiteral("没有这个页面。"));
        if (page == QLatin1String("list.asp") && request.post &&
            request.params.contains(QStringLiteral("password")))
            return signIn(request);
        // A table's code: the guest pages of that table, whether or not the phone is signed in.
        if (const QString table = param(request, "t"); TableTokens::LooksLikeToken(table)) {
            visitor = guestFor(table);
            if (!kGuestPages.contains(page))
                throw PageFault{403, QStringLiteral("顾客只能点菜和查看本桌账单，修改或退菜请联系服务员。")};
            return dispatch(request, visitor);
        }
        if (!sessions_.check(request.staffSession))
            return SignInPage(403, QString(),
                              request.post ? QStringLiteral("list.asp") : pageTarget(request));
        return dispatch(request, visitor);
    } catch (const PageFault& fault) {
        // A guest is never sent to the table list; their way back is their own menu.
        const QString back = visitor.guest() && fault.back == QLatin1String("list.asp")
                                 ? QStringLiteral("menu.asp?t=%1").arg(visitor.guestToken)
                                 : fault.back;
        return Message(fault.status, fault.text, back);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("手机点餐 %1 %2 失败：%3").arg(request.peer, request.page, error.text()));
        return Message(500, QStringLiteral("操作未完成，账单没有改动：%1").arg(error.text()));
    }
}

PageResponse PhonePages::dispatch(const PageRequest& request, const PageVisitor& visitor) {
    const QString& page = request.page;
    if (page == QLatin1String("list.asp"))
        return list();
    if (page == QLatin1String("menu.asp"))
        return menu(request, visitor);
    if (page == QLatin1String("savemenu.asp"))
        return saveMenu(request, visitor);
    if (page == QLatin1String("detail.asp"))
        return detail(request, visitor);
    if (page == QLatin1String("modify.asp"))
        return modify(request);
    if (page == QLatin1String("delete.asp"))
        return remove(request);
    return save(request);
}

PageVisitor PhonePages::guestFor(const QString& token) {
    std::optional<QString> key;
    {
        const std::scoped_lock lock(dbMutex_);
        key = TableTokens::KeyForToken(db_, token);
    }
    if (!key)
        throw PageFault{403,
                        QStringLiteral("这个二维码已失效或不正确，请扫描餐桌上的二维码，或联系服务员。")};
    return PageVisitor{token, *key};
}

PageResponse PhonePages::signIn(const PageRequest& request) {
    static const QRegularExpression ownPage(
        QStringLiteral("^(list|menu|savemenu|detail|modify|delete|save)\\.asp(\\?[A-Za-z0-9%&=._~+-]*)?$"));
    QString next = param(request, "next");
    if (!ownPage.match(next).hasMatch())
        next = QStringLiteral("list.asp");
    bool matches = false;
    {
        const std::scoped_lock lock(dbMutex_);
        const std::optional<SettingsRow> settings = ReadSettingsRow(db_);
        matches = settings && PasswordMatches(param(request, "password"), settings->password);
    }
    const StaffSessions::SignIn result = sessions_.signIn(request.peer, matches);
    switch (result.outcome) {
    case StaffSessions::Outcome::Accepted: {
        PageResponse response = redirect(next);
        response.cookie = result.session;
        return response;
    }
    case StaffSessions::Outcome::WrongPassword:
        return SignInPage(403, QStringLiteral("密码错误！"), next);
    case StaffSessions::Outcome::Locked:
        break;
    }
    Log::write(QStringLiteral("手机点餐：%1 密码错误次数过多，登录暂停一分钟").arg(request.peer));
    return SignInPage(429, QStringLiteral("密码错误次数过多，请一分钟后再试。"), next);
}

PageResponse PhonePages::SignInPage(int status, const QString& message, const QString& next) {
    static const PageTemplate page(QString::fromUtf8(kSignInPage));
    PageData data;
    data.set(QStringLiteral("message"), message);
    data.set(QStringLiteral("next"), next);
    PageResponse response;
    response.status = status;
    response.body = page.render(data).toUtf8();
    return response;
}

std::shared_ptr<const PageTemplate> PhonePages::pageFile(const QString& page, QString& problem) {
    const QString path = pageFolder_ + QLatin1Char('/') + page;
    const QFileInfo info(path);
    if (!info.isFile()) {
        problem = QStringLiteral("页面文件 %1 不存在，请重新启动收银软件。").arg(page);
        return nullptr;
    }
    const QDateTime modified = info.lastModified();
    const qint64 size = info.size();
    {
        const std::scoped_lock lock(cacheMutex_);
        const CachedPage& cached = cache_.value(page);
        if (cached.parsed && cached.modified == modified && cached.size == size)
            return cached.parsed;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("页面文件 %1 无法读取。").arg(page);
        return nullptr;
    }
    auto parsed = std::make_shared<const PageTemplate>(QString::fromUtf8(file.readAll()));
    if (!parsed->error().isEmpty()) {
        problem = QStringLiteral("页面文件 %1 有误：%2").arg(page, parsed->error());
        return nullptr;
    }
    const std::scoped_lock lock(cacheMutex_);
    cache_.insert(page, CachedPage{modified, size, parsed});
    return parsed;
}

PageResponse PhonePages::render(const QString& page, const PageData& data) {
    QString problem;
    const std::shared_ptr<const PageTemplate> parsed = pageFile(page, problem);
    if (!parsed)
        return Message(500, problem);
    PageResponse response;
    response.body = parsed->render(data).toUtf8();
    return response;
}

PageResponse PhonePages::list() {
    PageData data;
    {
        const std::scoped_lock lock(dbMutex_);
        const Transaction reading(db_, Transaction::Kind::Read);
        Counter counter(db_);
        counter.tables.refreshSlots();
        BillStore bills(db_);
        std::vector<PageData> rows;
        for (int i = 0; i < counter.tables.tableCount(); ++i) {
            PageData row;
            row.set(QStringLiteral("index"), i);
            row.set(QStringLiteral("name"), counter.tables.tableName(i));
            const bool occupied = counter.tables.isOccupied(i);
            row.setFlag(QStringLiteral("occupied"), occupied);
            if (occupied)
                if (const std::optional<BillHeader> bill = bills.header(counter.tables.slotValue(i)))
                    row.set(QStringLiteral("total"), bill->receivable);
            rows.push_back(std::move(row));
        }
        data.set(QStringLiteral("restaurant"), counter.settings.restaurantName());
        data.setRows(QStringLiteral("tables"), std::move(rows));
    }
    return render(QStringLiteral("list.asp"), data);
}

PageResponse PhonePages::menu(const PageRequest& request, const PageVisitor& visitor) {
    const QString search = param(request, "s").trimmed();
    if (search.size() > kMaxSearchLength)
        throw PageFault{400, QStringLiteral("查询内容太长，最多 %1 个字。").arg(kMaxSearchLength)};
    const int category = std::clamp(param(request, "c").toInt(), 0, 2);
    PageData data;
    {
        const std::scoped_lock lock(dbMutex_);
        const Transaction reading(db_, Transaction::Kind::Read);
        Counter counter(db_);
        const TableRef ref = resolveTable(request, counter, visitor);
        const int table = ref.index;
        openTable(counter, table);
        counter.menu.chooseCategory(categories().at(category));
        if (!search.isEmpty())
            counter.menu.search(search);
        data = tableData(counter, ref, visitor);
        std::vector<PageData> tabs;
        for (int i = 0; i < categories().size(); ++i) {
            PageData tab;
            tab.set(QStringLiteral("c"), i);
            tab.set(QStringLiteral("categoryName"), categories().at(i));
            tab.setFlag(QStringLiteral("current"), i == category);
            tabs.push_back(std::move(tab));
        }
        std::vector<PageData> items;
        const QList<MenuRecord>& menu = counter.menu.records();
        for (int i = 0; i < menu.size(); ++i) {
            PageData item;
            item.set(QStringLiteral("i"), i);
            item.set(QStringLiteral("name"), menu.at(i).name);
            item.set(QStringLiteral("price"), menu.at(i).price);
            item.set(QStringLiteral("unit"), menu.at(i).unit);
            item.set(QStringLiteral("quantity"), menu.at(i).quantity);
            item.set(QStringLiteral("itemRemark"), menu.at(i).remark);
            items.push_back(std::move(item));
        }
        data.setRows(QStringLiteral("categories"), std::move(tabs));
        data.set(QStringLiteral("c"), category);
        data.set(QStringLiteral("category"), categories().at(category));
        data.set(QStringLiteral("search"), search);
        data.set(QStringLiteral("menuVersion"), MenuFingerprint(menu));
        data.setRows(QStringLiteral("items"), std::move(items));
    }
    return render(QStringLiteral("menu.asp"), data);
}

PageResponse PhonePages::saveMenu(const PageRequest& request, const PageVisitor& visitor) {
    if (!request.post) {
        PageData data;
        {
            const std::scoped_lock lock(dbMutex_);
            Counter counter(db_);
            const TableRef ref = resolveTable(request, counter, visitor);
            openTable(counter, ref.index);
            data = tableData(counter, ref, visitor);
        }
        return render(QStringLiteral("savemenu.asp"), data);
    }
    const QString search = param(request, "s").trimmed();
    if (search.size() > kMaxSearchLength)
        throw PageFault{400, QStringLiteral("查询内容太长，最多 %1 个字。").arg(kMaxSearchLength)};
    const int category = std::clamp(param(request, "c").toInt(), 0, 2);

    // The chosen quantities, by position in the listed menu.
    static const QRegularExpression quantityKey(QStringLiteral("^qty(\\d{1,4})$"));
    std::map<int, QString> chosen;
    for (auto it = request.params.cbegin(); it != request.params.cend(); ++it) {
        const QRegularExpressionMatch match = quantityKey.match(it.key());
        const QString value = it.value().trimmed();
        if (!match.hasMatch() || value.isEmpty() || ReadNumber(value) == 0)
            continue;
        chosen[match.captured(1).toInt()] = value;
    }

    const std::scoped_lock lock(dbMutex_);
    Counter counter(db_);
    const TableRef ref = resolveTable(request, counter, visitor);
    const int table = ref.index;
    const QString back = QStringLiteral("menu.asp?t=%1&c=%2").arg(ref.param).arg(category);
    if (param(request, "tn") != counter.tables.tableName(table))
        throw PageFault{409, QStringLiteral("餐桌设置已经变动，请返回餐桌列表重新选择。")};
    if (chosen.empty())
        throw PageFault{400, QStringLiteral("请先填写要点的菜品数量。"), back};
    if (chosen.size() > kMaxItemsPerOrder)
        throw PageFault{400, QStringLiteral("一次最多点 %1 种菜品。").arg(kMaxItemsPerOrder), back};
    openTable(counter, table);
    counter.menu.chooseCategory(categories().at(category));
    if (!search.isEmpty())
        counter.menu.search(search);

    // The positions refer to the list the phone was shown; it must still be the same list.
    const QList<MenuRecord>& menu = counter.menu.records();
    if (param(request, "v") != MenuFingerprint(menu))
        throw PageFault{409, QStringLiteral("菜单已经变动，请重新选择。"), back};
    // Everything is checked before the first line is added, so a refused order adds nothing.
    std::vector<std::pair<int, QString>> order;
    for (const auto& [index, raw] : chosen) {
        if (index >= menu.size())
            throw PageFault{409, QStringLiteral("菜单已经变动，请重新选择。"), back};
        const QString& name = menu.at(index).name;
        const std::optional<QString> quantity = quantityText(raw);
        if (!quantity)
            throw PageFault{400, QStringLiteral("“%1”的数量“%2”不对，请填写大于 0 的数字。").arg(name, raw),
                            back};
        order.emplace_back(index, *quantity);
    }
    const QDateTime now = QDateTime::currentDateTime();
    for (const auto& [index, quantity] : order) {
        const int at = counter.bill.addItem(menu.at(index), now);
        if (quantity != menu.at(index).quantity)
            counter.bill.setQuantity(at, quantity);
    }
    return redirect(detailLink(ref.param) + QStringLiteral("&m=added"));
}

PageResponse PhonePages::detail(const PageRequest& request, const PageVisitor& visitor) {
    PageData data;
    {
        const std::scoped_lock lock(dbMutex_);
        const Transaction reading(db_, Transaction::Kind::Read);
        Counter counter(db_);
        const TableRef ref = resolveTable(request, counter, visitor);
        openTable(counter, ref.index);
        data = tableData(counter, ref, visitor);
        std::vector<PageData> rows;
        for (const OrderLine& line : counter.bill.lines())
            rows.push_back(lineData(line));
        data.setRows(QStringLiteral("lines"), std::move(rows));
        data.set(QStringLiteral("message"), doneMessage(param(request, "m")));
    }
    return render(QStringLiteral("detail.asp"), data);
}

PageResponse PhonePages::lineForm(const PageRequest& request, const QString& page, const LineChange& change) {
    PageData data;
    {
        const std::scoped_lock lock(dbMutex_);
        Counter counter(db_);
        const int table = tableIndex(request, counter);
        openTable(counter, table);
        const int index = lineIndex(counter.bill, param(request, "l"), table);
        if (request.post) {
            checkSameBill(request, counter, table);
            const QString message = change(counter.bill, table, index);
            return redirect(detailLink(table) + QStringLiteral("&m=") + message);
        }
        data = tableData(counter, table);
        data.setRows(QStringLiteral("line"), {lineData(counter.bill.lines().at(index))});
    }
    return render(page, data);
}

PageResponse PhonePages::modify(const PageRequest& request) {
    return lineForm(request, QStringLiteral("modify.asp"), [&](BillDocument& bill, int table, int index) {
        const QString back = QStringLiteral("modify.asp?t=%1&l=%2").arg(table).arg(param(request, "l"));
        const std::optional<QString> quantity = quantityText(param(request, "qty"));
        if (!quantity)
            throw PageFault{
                400, QStringLiteral("数量“%1”不对，请填写大于 0 的数字。").arg(param(request, "qty")), back};
        const QString remark = param(request, "remark");
        OrderLine changed = bill.lines().at(index);
        changed.quantity = *quantity;
        changed.remark = remark;
        checkFits([&] { BillStore::CheckLineWidths(changed); }, back);
        if (*quantity != bill.lines().at(index).quantity)
            bill.setQuantity(index, *quantity);
        if (remark != bill.lines().at(index).remark)
            bill.setRemark(index, remark);
        return QStringLiteral("modified");
    });
}

PageResponse PhonePages::remove(const PageRequest& request) {
    return lineForm(request, QStringLiteral("delete.asp"), [](BillDocument& bill, int, int index) {
        bill.selectLine(index);
        bill.deleteSelected();
        return QStringLiteral("deleted");
    });
}

PageResponse PhonePages::save(const PageRequest& request) {
    PageData data;
    {
        const std::scoped_lock lock(dbMutex_);
        Counter counter(db_);
        const int table = tableIndex(request, counter);
        openTable(counter, table);
        if (request.post) {
            if (!counter.tables.isOccupied(table))
                throw PageFault{400, QStringLiteral("这张餐桌还没有点菜，请先点菜再填写顾客信息。"),
                                QStringLiteral("menu.asp?t=%1").arg(table)};
            checkSameBill(request, counter, table);
            const QString name = param(request, "name");
            const QString phone = param(request, "phone");
            const QString remark = param(request, "remark");
            BillHeader changed = counter.bill.header();
            changed.customerName = name;
            changed.phone = phone;
            changed.remark = remark;
            checkFits([&] { BillStore::CheckHeaderWidths(changed); },
                      QStringLiteral("save.asp?t=%1").arg(table));
            counter.bill.setCustomerName(name);
            counter.bill.setPhone(phone);
            counter.bill.setBillRemark(remark);
            if (counter.bill.save() == BillDocument::SaveResult::NothingToSave)
                throw PageFault{400, QStringLiteral("账单金额为 0，没有保存。"), detailLink(table)};
            return redirect(detailLink(table) + QStringLiteral("&m=saved"));
        }
        data = tableData(counter, table);
    }
    return render(QStringLiteral("save.asp"), data);
}
