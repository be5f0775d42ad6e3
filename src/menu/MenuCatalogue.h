#pragma once

#include "print/Printer.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class Database;

// One row of 菜单 as the windows list it.
struct MenuItem {
    QString key;      // 序号, the time the item was added "yyyyMMddhhmmss"
    QString name;     // 名称 with its brackets restored
    QString quantity; // 数量 as number text
    QString unit;     // 单位
    QString price;    // 单价 as number text
    QString initials; // 拼音
    QString remark;   // 备注
    QString category; // 分类
    // 打印机: the kitchen printers the dish goes to instead of its category's; empty goes by category.
    QStringList printers{};

    bool operator==(const MenuItem&) const = default;
};

// The boxes of the dish dialog, as typed.
struct DishEntry {
    QString name;
    QString quantity;
    QString unit;
    QString price;
    QString initials;
    QString remark;
    QStringList printers{}; // names of kitchen printers; empty goes by category
};

// The search key 查询 of an item: the name as typed, "-", the initials (宫保鸡丁-gbjd).
QString MenuSearchKey(const QString& name, const QString& initials);

// A LIKE pattern that finds text anywhere in a value, taking every character literally (%, _ and the
// escape character included). Use it as `"查询" LIKE ? ESCAPE '\'`; SQLite's LIKE ignores ASCII case.
QString ContainsLikePattern(const QString& text);

// The menu table: its search and the writes of the menu window and the dish dialog.
class MenuCatalogue {
public:
    explicit MenuCatalogue(Database& db) : db_(db) {}

    // Items of one category whose search key holds text (any case of ASCII letters), in the order they
    // were added. Empty text lists the whole category.
    QList<MenuItem> search(const QString& category, const QString& text) const;
    // The item with this key (序号); nullopt when the menu no longer has it.
    std::optional<MenuItem> item(const QString& key) const;
    Database& database() const { return db_; }

    // Key for a new item: the time as "yyyyMMddhhmmss", moved on by a second while an item holds it, so two
    // items added within one second never share a key.
    QString newKey(const QDateTime& now) const;

    // Writes the item with this key (a new row when none holds it yet). Every value is checked against its
    // column first (the printers as the comma-separated names they are stored as; a name holding a comma
    // is refused too); a value that does not fit throws StoreError and nothing is written.
    void save(const QString& key, const QString& category, const DishEntry& entry);

    // The printers a dish may name: every kitchen printer set up, enabled or not, by name.
    QList<Printer> kitchenPrinters() const;

    // Deletes the item with this key; false when there was none.
    bool remove(const QString& key);

    // Deletes every item of one category; returns how many.
    int clear(const QString& category);

private:
    bool keyInUse(const QString& key) const;

    Database& db_;
};
