#include "menu/MenuCatalogue.h"

#include "print/PrinterStore.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "store/NumberText.h"
#include "store/Schema.h"
#include "store/Sql.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>

namespace {

const QString kTable = QStringLiteral("菜单");

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

QByteArray jpegOf(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

// JPEG has no transparency: what a PNG leaves clear is shown on white, as on the phone page.
QImage onWhite(const QImage& image, int side) {
    const QImage scaled = image.width() > side || image.height() > side
                              ? image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                              : image;
    QImage canvas(scaled.size(), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.drawImage(0, 0, scaled);
    return canvas;
}

MenuItem itemOfRow(const Statement& row) {
    return {row.text(0),
            RestoreBrackets(row.text(1)),
            numberText(row.text(2)),
            row.text(3),
            numberText(row.text(4)),
            row.text(5),
            row.text(6),
            row.text(7),
            readPrinterNames(row.text(8)),
            row.text(9),
            row.text(10)};
}

} // namespace

QByteArray DishPictureFromFile(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true); // phone photos keep their orientation in EXIF
    // Decoded small at once where the format can (JPEG): a phone's 50-megapixel photo never fills memory.
    if (const QSize size = reader.size(); size.width() > kDishPictureSide || size.height() > kDishPictureSide)
        reader.setScaledSize(size.scaled(kDishPictureSide, kDishPictureSide, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (image.isNull())
        throw StoreError(QStringLiteral("无法读取图片“%1”，请选择 jpg、png、bmp 或 webp 格式的图片。未保存。")
                             .arg(QFileInfo(path).fileName()));
    // A busy photo may not fit at first: less quality, then fewer pixels, until it does.
    for (const int side : {kDishPictureSide, kDishPictureSide * 3 / 4, kDishPictureSide / 2}) {
        const QImage canvas = onWhite(image, side);
        for (const int quality : {80, 60, 40}) {
            QByteArray jpeg = jpegOf(canvas, quality);
            if (!jpeg.isEmpty() && jpeg.size() <= kMaxDishPictureBytes)
                return jpeg;
        }
    }
    throw StoreError(QStringLiteral("图片“%1”无法压缩到 %2 KB 以内，请换一张图片。未保存。")
                         .arg(QFileInfo(path).fileName())
                         .arg(kMaxDishPictureBytes / 1024));
}

QString MenuSearchKey(const QString& name, const QString& initials) {
    return name + QLatin1Char('-') + initials;
}

QList<MenuItem> MenuCatalogue::search(const QString& category, const QString& text) const {
    Statement query(db_, "SELECT \"序号\", \"名称\", \"数量\", \"单位\", \"单价\", \"拼音\", \"备注\", "
                         "\"分类\", \"打印机\", \"描述\", \"分组\" FROM \"菜单\" "
                         "WHERE \"查询\" LIKE ? ESCAPE '\\' AND \"分类\" = ? ORDER BY rowid");
    query.bind(1, LikeContainsPattern(text)).bind(2, category);
    QList<MenuItem> items;
    while (query.next())
        items.append(itemOfRow(query));
    return items;
}

std::optional<MenuItem> MenuCatalogue::item(const QString& key) const {
    Statement query(
        db_,
        "SELECT \"序号\", \"名称\", \"数量\", \"单位\", \"单价\", \"拼音\", \"备注\", "
        "\"分类\", \"打印机\", \"描述\", \"分组\" FROM \"菜单\" WHERE \"序号\" = ? ORDER BY rowid LIMIT 1");
    query.bind(1, key);
    if (key.isEmpty() || !query.next())
        return std::nullopt;
    return itemOfRow(query);
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

void MenuCatalogue::save(const QString& key, const QString& category, const DishEntry& entry,
                         const QByteArray& picture) {
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
                         {"打印机", printers},
                         {"描述", entry.description},
                         {"分组", entry.group.trimmed()}});

    Transaction transaction(db_);
    Statement update(
        db_, "UPDATE \"菜单\" SET \"名称\" = ?, \"数量\" = ?, \"单位\" = ?, \"单价\" = ?, \"拼音\" = ?, "
             "\"备注\" = ?, \"分类\" = ?, \"序号\" = ?, \"查询\" = ?, \"打印机\" = ?, \"描述\" = ?, "
             "\"分组\" = ?, \"备用1\" = '', \"备用2\" = '', \"备用3\" = '' "
             "WHERE rowid = (SELECT rowid FROM \"菜单\" WHERE \"序号\" = ? ORDER BY rowid LIMIT 1)");
    update.bind(1, name).bind(2, quantity).bind(3, entry.unit).bind(4, price).bind(5, entry.initials);
    update.bind(6, entry.remark).bind(7, category).bind(8, key).bind(9, searchKey).bind(10, printers);
    update.bind(11, entry.description).bind(12, entry.group.trimmed()).bind(13, key);
    update.run();
    if (db_.changes() == 0) {
        Statement insert(
            db_, "INSERT INTO \"菜单\" (\"名称\", \"数量\", \"单位\", \"单价\", \"拼音\", \"备注\", "
                 "\"分类\", \"序号\", \"查询\", \"打印机\", \"描述\", \"分组\", \"备用1\", \"备用2\", "
                 "\"备用3\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '', '', '')");
        insert.bind(1, name).bind(2, quantity).bind(3, entry.unit).bind(4, price).bind(5, entry.initials);
        insert.bind(6, entry.remark).bind(7, category).bind(8, key).bind(9, searchKey).bind(10, printers);
        insert.bind(11, entry.description).bind(12, entry.group.trimmed());
        insert.run();
    }
    if (!picture.isEmpty())
        writePicture(key, picture);
    transaction.commit();
}

QList<Printer> MenuCatalogue::kitchenPrinters() const {
    QList<Printer> kitchen = PrinterStore(db_).all();
    kitchen.removeIf([](const Printer& printer) { return !printer.kitchen; });
    return kitchen;
}

bool MenuCatalogue::remove(const QString& key) {
    Transaction transaction(db_);
    Statement remove(db_,
                     "DELETE FROM \"菜单\" "
                     "WHERE rowid = (SELECT rowid FROM \"菜单\" WHERE \"序号\" = ? ORDER BY rowid LIMIT 1)");
    remove.bind(1, key);
    remove.run();
    const bool removed = db_.changes() > 0;
    removeOrphanPictures();
    transaction.commit();
    return removed;
}

int MenuCatalogue::clear(const QString& category) {
    Transaction transaction(db_);
    Statement clear(db_, "DELETE FROM \"菜单\" WHERE \"分类\" = ?");
    clear.bind(1, category);
    clear.run();
    const auto removed = static_cast<int>(db_.changes());
    removeOrphanPictures();
    transaction.commit();
    return removed;
}

// A picture goes with the last item holding its key (an old menu may hold a key twice).
void MenuCatalogue::removeOrphanPictures() {
    Statement remove(db_, "DELETE FROM \"菜品图片\" WHERE NOT EXISTS "
                          "(SELECT 1 FROM \"菜单\" WHERE \"菜单\".\"序号\" = \"菜品图片\".\"序号\")");
    remove.run();
}

void MenuCatalogue::setPicture(const QString& key, const QByteArray& jpeg) {
    Transaction transaction(db_);
    if (!keyInUse(key))
        throw StoreError(QStringLiteral("菜单中已没有这道菜，图片未保存。"));
    writePicture(key, jpeg);
    transaction.commit();
}

void MenuCatalogue::writePicture(const QString& key, const QByteArray& jpeg) {
    if (jpeg.size() > kMaxDishPictureBytes)
        throw StoreError(QStringLiteral("图片太大：最多 %1 KB，未保存。").arg(kMaxDishPictureBytes / 1024));
    CheckWidths(QStringLiteral("菜品图片"), {{"序号", key}});
    const QString text = QString::fromLatin1(jpeg.toBase64());
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmsszzz"));
    Statement update(db_, "UPDATE \"菜品图片\" SET \"图片\" = ?, \"时间\" = ? WHERE \"序号\" = ?");
    update.bind(1, text).bind(2, stamp).bind(3, key);
    update.run();
    if (db_.changes() == 0) {
        Statement insert(db_, "INSERT INTO \"菜品图片\" (\"序号\", \"时间\", \"图片\") VALUES (?, ?, ?)");
        insert.bind(1, key).bind(2, stamp).bind(3, text);
        insert.run();
    }
}

bool MenuCatalogue::removePicture(const QString& key) {
    Statement remove(db_, "DELETE FROM \"菜品图片\" WHERE \"序号\" = ?");
    remove.bind(1, key);
    remove.run();
    return db_.changes() > 0;
}

std::optional<DishPicture> MenuCatalogue::picture(const QString& key) const {
    Statement query(db_, "SELECT \"图片\", \"时间\" FROM \"菜品图片\" WHERE \"序号\" = ?");
    query.bind(1, key);
    if (!query.next())
        return std::nullopt;
    auto decoded =
        QByteArray::fromBase64Encoding(query.text(0).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return std::nullopt;
    return DishPicture{std::move(decoded.decoded), query.text(1)};
}

QHash<QString, QString> MenuCatalogue::pictureStamps() const {
    Statement query(db_, "SELECT \"序号\", \"时间\" FROM \"菜品图片\"");
    QHash<QString, QString> stamps;
    while (query.next())
        stamps.insert(query.text(0), query.text(1));
    return stamps;
}
