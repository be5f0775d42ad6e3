#pragma once

#include "print/Printer.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
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
    QString description{}; // 描述, one line for the phone menu
    QString group{};       // 分组, the group the phone menu lists it under; empty for none

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
    QString description{};
    QString group{};
};

// A dish's picture as stored: the JPEG and the stamp of when it was set.
struct DishPicture {
    QByteArray jpeg;
    QString stamp;
};

// Longest side of a stored dish picture, in pixels: sharp on a phone's thumbnail, small on the Wi-Fi.
inline constexpr int kDishPictureSide = 480;

// The picture in an image file (any format Qt reads) as it is stored: turned upright, scaled down to
// kDishPictureSide, transparency on white, JPEG. Throws StoreError when the file holds no readable image.
QByteArray DishPictureFromFile(const QString& path);

// The search key 查询 of an item: the name as typed, "-", the initials (宫保鸡丁-gbjd).
QString MenuSearchKey(const QString& name, const QString& initials);

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
    // is refused too); a value that does not fit throws StoreError and nothing is written. A picture
    // (from DishPictureFromFile) is stored in the same step; none leaves the stored one as it is.
    void save(const QString& key, const QString& category, const DishEntry& entry,
              const QByteArray& picture = {});

    // The printers a dish may name: every kitchen printer set up, enabled or not, by name.
    QList<Printer> kitchenPrinters() const;

    // Deletes the item with this key, and its picture; false when there was none.
    bool remove(const QString& key);

    // Deletes every item of one category and their pictures; returns how many items.
    int clear(const QString& category);

    // Stores a picture (from DishPictureFromFile) for the item with this key, in place of any it had.
    // Throws StoreError when the menu has no such item or the picture is too large.
    void setPicture(const QString& key, const QByteArray& jpeg);
    // Deletes the item's picture; false when it had none.
    bool removePicture(const QString& key);
    // The item's picture; nullopt when it has none.
    std::optional<DishPicture> picture(const QString& key) const;
    // The stamp of every picture by item key, without the pictures: what the phone menu links to.
    QHash<QString, QString> pictureStamps() const;

private:
    bool keyInUse(const QString& key) const;
    void writePicture(const QString& key, const QByteArray& jpeg);
    void removeOrphanPictures();

    Database& db_;
};
