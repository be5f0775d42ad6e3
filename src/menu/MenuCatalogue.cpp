#include "menu/MenuCatalogue.h"

#include "print/PrinterStore.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "store/NumberText.h"
#include "store/Schema.h"

namespace {

const QString kTable = QStringLiteral("菜单");
constexpr QChar kEscape = u'\\';

QString numberText(const QString& boxText) {
    return NumberText(ReadNumber(boxText));
}

// The search key must fit whole, or the item could not be found by its initials.
void checkSearchKey(const QString& searchKey) {
    const int width = ColumnWidth(kTable, QStringLiteral("查询"));
    const int length = CharacterCount(searchKey);
    if (length > width)
        throw StoreError(QStringLiteral("名称太长：名称、“-”和拼音合起来最多 %1 个字符，现在是 %2 个字符，"
                                        "请缩短名称或拼音。未保存。")
                             .arg(width)
                             .arg(length));
}

// 打印机 holds the names joined by commas, as the kitchen routing reads them.
QStringList readPrinterNames(const QString& stored) {
    QStringList names;
    for (const QString& name : stored.split(QLatin1Char(','), Qt::SkipEmptyParts))
        names.append(name.trimmed());
    return names;
}

QString printerNamesText(const QStringList& names) {
    for (const QString& name : names)
        if (name.contains(QLatin1Char(',')))
            throw StoreError(QStringLiteral("打印机名称“%1”中有逗号，未保存。").arg(name));
    QStringList unique = names;
    unique.removeAll(QString());
    unique.removeDuplicates();
    return unique.join(QLatin1Char(','));
}

} // namespace

QString MenuSearchKey(const QString& name, const QString& initials) {
    return name + QLatin1Char('-') + initials;
}

QString ContainsLikePattern(const QString& text) {
    QString pattern;
    pattern.reserve(text.size() * 2 + 2);
    pattern.append(QLatin1Char('%'));
    for (const QChar c : text) {
        if (c == kEscape || c == QLatin1Char('%') || c == QLatin1Char('_'))
            pattern.append(kEscape);
        pattern.append(c);
    }
    pattern.append(QLatin1Char('%'));
    return pattern;
}

QList<MenuItem> MenuCatalogue::search(const QString& category, const QString& text) const {
    Statement query(
        db_, "SELECT \"序号\", \"名称\", \"数量\", \"单位\", \"单价\", \"拼音\", \"备注\", \"分类\", "
             "\"打印机\" FROM \"菜单\" WHERE \"查询\" LIKE ? ESCAPE '\\' AND \"分类\" = ? ORDER BY rowid");
    query.bind(1, ContainsLikePattern(text)).bind(2, category);
    QList<MenuItem> items;
    while (query.next()) {
        items.append({query.text(0), RestoreBrackets(query.text(1)), numberText(query.text(2)), query.text(3),
                      numberText(query.text(4)), query.text(5), query.text(6), query.text(7),
                      readPrinterNames(query.text(8))});
    }
    return items;
}

std::optional<MenuItem> MenuCatalogue::item(const QString& key) const {
    Statement query(db_,
                    "SELECT \"序号\", \"名称\", \"数量\", \"单位\", \"单价\", \"拼音\", \"备注\", \"分类\", "
                    "\"打印机\" FROM \"菜单\" WHERE \"序号\" = ? ORDER BY rowid LIMIT 1");
    query.bind(1, key);
    if (key.isEmpty() || !query.next())
        return std::nullopt;
    return MenuItem{query.text(0),
                    RestoreBrackets(query.text(1)),
                    numberText(query.text(2)),
                    query.text(3),
                    numberText(query.text(4)),
                    query.text(5),
                    query.text(6),
                    query.text(7),
                    readPrinterNames(query.text(8))};
}

bool MenuCatalogue::keyInUse(const QString& key) const {
    Statement query(db_, "SELECT 1 FROM \"菜单\" WHERE \"序号\" = ? LIMIT 1");
    query.bind(1, key);
    return query.next();
}

QString MenuCatalogue::newKey(const QDateTime& now) const {
    QDateTime time = now;
    QString key = BillId(time);
    while (keyInUse(key)) {
        time = time.addSecs(1);
        key = BillId(time);
    }
    return key;
}

void MenuCatalogue::save(const QString& key, const QString& category, const DishEntry& entry) {
    const QString name = EscapeBrackets(entry.name);
    const QString quantity = numberText(entry.quantity);
    const QString price = numberText(entry.price);
    const QString searchKey = MenuSearchKey(entry.name, entry.initials);
    const QString printers = printerNamesText(entry.printers);
    checkSearchKey(searchKey);
    CheckWidths(kTable, {{"名称", name},
                         {"数量", quantity},
                         {"单位", entry.unit},
                         {"单价", price},
                         {"拼音", entry.initials},
                         {"备注", entry.remark},
                         {"分类", category},
                         {"序号", key},
                         {"打印机", printers}});

    Transaction transaction(db_);
    Statement update(
        db_, "UPDATE \"菜单\" SET \"名称\" = ?, \"数量\" = ?, \"单位\" = ?, \"单价\" = ?, \"拼音\" = ?, "
             "\"备注\" = ?, \"分类\" = ?, \"序号\" = ?, \"查询\" = ?, \"打印机\" = ?, "
             "\"备用1\" = '', \"备用2\" = '', \"备用3\" = '' "
             "WHERE rowid = (SELECT rowid FROM \"菜单\" WHERE \"序号\" = ? ORDER BY rowid LIMIT 1)");
    update.bind(1, name).bind(2, quantity).bind(3, entry.unit).bind(4, price).bind(5, entry.initials);
    update.bind(6, entry.remark).bind(7, category).bind(8, key).bind(9, searchKey).bind(10, printers);
    update.bind(11, key);
    update.run();
    if (db_.changes() == 0) {
        Statement insert(db_,
                         "INSERT INTO \"菜单\" (\"名称\", \"数量\", \"单位\", \"单价\", \"拼音\", \"备注\", "
                         "\"分类\", \"序号\", \"查询\", \"打印机\", \"备用1\", \"备用2\", \"备用3\") "
                         "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '', '', '')");
        insert.bind(1, name).bind(2, quantity).bind(3, entry.unit).bind(4, price).bind(5, entry.initials);
        insert.bind(6, entry.remark).bind(7, category).bind(8, key).bind(9, searchKey).bind(10, printers);
        insert.run();
    }
    transaction.commit();
}

QList<Printer> MenuCatalogue::kitchenPrinters() const {
    QList<Printer> kitchen = PrinterStore(db_).all();
    kitchen.removeIf([](const Printer& printer) { return !printer.kitchen; });
    return kitchen;
}

bool MenuCatalogue::remove(const QString& key) {
    Statement remove(db_,
                     "DELETE FROM \"菜单\" "
                     "WHERE rowid = (SELECT rowid FROM \"菜单\" WHERE \"序号\" = ? ORDER BY rowid LIMIT 1)");
    remove.bind(1, key);
    remove.run();
    return db_.changes() > 0;
}

int MenuCatalogue::clear(const QString& category) {
    Statement clear(db_, "DELETE FROM \"菜单\" WHERE \"分类\" = ?");
    clear.bind(1, category);
    clear.run();
    return static_cast<int>(db_.changes());
}
