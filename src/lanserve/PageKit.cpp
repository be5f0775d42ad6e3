#include "lanserve/PageKit.h"

#include "bill/BillStore.h"
#include "desk/OrderDesk.h"
#include "lanserve/PageTemplate.h"
#include "store/NumberText.h"
#include "store/StoreError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

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

} // namespace

PageContext::PageContext(Database& db, FairMutex& dbMutex, QString pageFolder)
    : db_(db), dbMutex_(dbMutex), pageFolder_(std::move(pageFolder)) {}

QString PageContext::dataFile(const QString& name) const {
    return QDir::cleanPath(pageFolder_ + QStringLiteral("/../") + name);
}

std::shared_ptr<const PageTemplate> PageContext::pageFile(const QString& name, QString& problem) {
    const QString path = pageFolder_ + QLatin1Char('/') + name;
    const QFileInfo info(path);
    if (!info.isFile()) {
        problem = QStringLiteral("页面文件 %1 不存在，请重新启动收银软件。").arg(name);
        return nullptr;
    }
    const QDateTime modified = info.lastModified();
    const qint64 size = info.size();
    {
        const std::scoped_lock lock(cacheMutex_);
        const CachedPage& cached = cache_.value(name);
        if (cached.parsed && cached.modified == modified && cached.size == size)
            return cached.parsed;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("页面文件 %1 无法读取。").arg(name);
        return nullptr;
    }
    auto parsed = std::make_shared<const PageTemplate>(QString::fromUtf8(file.readAll()));
    if (!parsed->error().isEmpty()) {
        problem = QStringLiteral("页面文件 %1 有误：%2").arg(name, parsed->error());
        return nullptr;
    }
    const std::scoped_lock lock(cacheMutex_);
    cache_.insert(name, CachedPage{modified, size, parsed});
    return parsed;
}

PageResponse PageContext::render(PhonePage page, const PageData& data) {
    QString problem;
    const std::shared_ptr<const PageTemplate> parsed = pageFile(PageName(page), problem);
    if (!parsed)
        return MessagePage(500, problem);
    PageResponse response;
    response.body = parsed->render(data).toUtf8();
    return response;
}

PageResponse MessagePage(int status, const QString& text, const QString& back) {
    static const PageTemplate page(QString::fromUtf8(kMessagePage));
    PageData data;
    data.set(QStringLiteral("message"), text);
    data.set(QStringLiteral("back"), back);
    PageResponse response;
    response.status = status;
    response.body = page.render(data).toUtf8();
    return response;
}

PageResponse Redirect(const QString& location) {
    PageResponse response;
    response.status = 303;
    response.location = location;
    return response;
}

QString Param(const PageRequest& request, const char* name) {
    return request.params.value(QString::fromLatin1(name));
}

QString TableLink(PhonePage page, const QString& table) {
    return PageName(page) + QStringLiteral("?t=") + table;
}

QString TableLink(PhonePage page, int table) {
    return TableLink(page, QString::number(table));
}

int TableIndex(const PageRequest& request, OrderDesk& desk) {
    bool ok = false;
    const int index = Param(request, "t").toInt(&ok);
    if (!ok || index < 0 || index >= desk.tables.tableCount())
        throw PageFault{404, QStringLiteral("没有这张餐桌，请返回餐桌列表重新选择。")};
    return index;
}

TableRef ResolveTable(const PageRequest& request, OrderDesk& desk, const PageVisitor& visitor) {
    if (!visitor.guest()) {
        const int index = TableIndex(request, desk);
        return {index, QString::number(index)};
    }
    // Looked up by key, so renaming or deleting another table changes nothing for this code.
    const int index = static_cast<int>(desk.settings.tableKeys().indexOf(visitor.guestKey));
    if (index < 0 || index >= desk.tables.tableCount())
        throw PageFault{403, QStringLiteral("这张餐桌的二维码已失效，请联系服务员。")};
    return {index, visitor.guestToken};
}

void OpenTable(OrderDesk& desk, int table) {
    desk.openTable(table, QDateTime::currentDateTime());
}

void CheckSameBill(const PageRequest& request, OrderDesk& desk, int table) {
    if (!desk.tables.isOccupied(table) || Param(request, "b") != desk.bill.billId())
        throw PageFault{409, QStringLiteral("这张餐桌的账单已经变动（可能已在收银台结账），请返回查看。"),
                        TableLink(PhonePage::Detail, table)};
}

int LineIndex(const BillDocument& bill, const QString& lineId, int table) {
    for (int i = 0; i < bill.lines().size(); ++i)
        if (bill.lines().at(i).lineId == lineId && !lineId.isEmpty())
            return i;
    throw PageFault{404, QStringLiteral("这道菜已不在账单中，请返回查看。"),
                    TableLink(PhonePage::Detail, table)};
}

std::optional<QString> QuantityText(const QString& raw) {
    static const QRegularExpression pattern(QStringLiteral("^\\d{1,4}(\\.\\d{1,2})?$"));
    const QString text = raw.trimmed();
    if (!pattern.match(text).hasMatch() || ReadNumber(text) <= 0)
        return std::nullopt;
    return NumberText(ReadNumber(text));
}

void CheckFits(const std::function<void()>& check, const QString& back) {
    try {
        check();
    } catch (const StoreError& error) {
        throw PageFault{400, error.text(), back};
    }
}

namespace {

// The field as its form names it for the user.
QString fieldLabel(const QString& name) {
    static const QHash<QString, QString> labels{{QStringLiteral("remark"), QStringLiteral("备注")},
                                                {QStringLiteral("name"), QStringLiteral("姓名")},
                                                {QStringLiteral("phone"), QStringLiteral("电话")},
                                                {QStringLiteral("qty"), QStringLiteral("数量")},
                                                {QStringLiteral("s"), QStringLiteral("查询")},
                                                {QStringLiteral("password"), QStringLiteral("密码")},
                                                {QStringLiteral("tn"), QStringLiteral("餐桌名称")}};
    if (const auto label = labels.constFind(name); label != labels.cend())
        return *label;
    // The 下单 sheet's boxes: q<menu key> a dish's quantity, r<menu key> its remark.
    if (name.size() > 1 && name.front() == u'q')
        return QStringLiteral("数量");
    if (name.size() > 1 && name.front() == u'r')
        return QStringLiteral("菜品备注");
    return name;
}

} // namespace

void RequireReadableFields(const PageRequest& request) {
    if (request.unreadableFields.isEmpty())
        return;
    throw PageFault{400, QStringLiteral("“%1”里有无法识别的文字（可能是输入法或浏览器的编码不对），"
                                        "这次提交没有保存任何内容。请删掉后重新输入。")
                             .arg(fieldLabel(request.unreadableFields.first()))};
}

PageData TableData(OrderDesk& desk, int table) {
    PageData data;
    const BillHeader& header = desk.bill.header();
    data.set(QStringLiteral("restaurant"), desk.settings.restaurantName());
    data.set(QStringLiteral("table"), table);
    data.set(QStringLiteral("tableName"), header.tableName);
    data.set(QStringLiteral("billId"), header.billId);
    data.set(QStringLiteral("opened"), header.openedText);
    data.setFlag(QStringLiteral("occupied"), desk.tables.isOccupied(table));
    data.setFlag(QStringLiteral("hasLines"), !desk.bill.lines().isEmpty());
    data.set(QStringLiteral("lineCount"), static_cast<int>(desk.bill.lines().size()));
    data.set(QStringLiteral("dishes"), header.dishes);
    data.set(QStringLiteral("drinks"), header.drinks);
    data.set(QStringLiteral("others"), header.others);
    data.set(QStringLiteral("receivable"), header.receivable);
    data.set(QStringLiteral("customerName"), header.customerName);
    data.set(QStringLiteral("phone"), header.phone);
    data.set(QStringLiteral("remark"), header.remark);
    return data;
}

PageData TableData(OrderDesk& desk, const TableRef& table, const PageVisitor& visitor) {
    PageData data = TableData(desk, table.index);
    data.set(QStringLiteral("table"), table.param);
    data.setFlag(QStringLiteral("guest"), visitor.guest());
    // A table's code stays on the table for every party: the diner's name, phone and remark are staff's.
    if (visitor.guest())
        for (const char* name : {"customerName", "phone", "remark"})
            data.set(QString::fromLatin1(name), QString());
    return data;
}

OpenedTable::OpenedTable(PageContext& context, const PageRequest& request, const PageVisitor& visitor,
                         Reading reading)
    : lock_(context.dbMutex()), reading_(ReadStep(context.db(), reading)), desk_(context.db()),
      table_(ResolveTable(request, desk_, visitor)) {
    OpenTable(desk_, table_.index);
    data_ = TableData(desk_, table_, visitor);
}

// Begun before the desk reads anything, so every read is of the same moment.
std::optional<Transaction> OpenedTable::ReadStep(Database& db, Reading reading) {
    if (reading == Reading::AsItGoes)
        return std::nullopt;
    return std::optional<Transaction>(std::in_place, db, Transaction::Kind::Read);
}

PageData LineData(const OrderLine& line) {
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
