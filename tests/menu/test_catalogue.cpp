#include "bill/OrderLine.h"
#include "common/TestHome.h"
#include "menu/MenuCatalogue.h"
#include "menu/MenuList.h"
#include "print/Routing.h"
#include "store/Database.h"
#include "store/Schema.h"

#include <QFile>
#include <QImage>
#include <QTest>

namespace {

struct StoredRow {
    QString name, quantity, price, initials, searchKey, category, spare1, spare2, spare3;
    qint64 rowid = 0;
};

std::optional<StoredRow> storedRow(Database& db, const QString& key) {
    Statement query(
        db, "SELECT \"名称\", \"数量\", \"单价\", \"拼音\", \"查询\", \"分类\", \"备用1\", \"备用2\", "
            "\"备用3\", rowid FROM \"菜单\" WHERE \"序号\" = ?");
    query.bind(1, key);
    if (!query.next())
        return std::nullopt;
    return StoredRow{query.text(0), query.text(1), query.text(2), query.text(3), query.text(4),
                     query.text(5), query.text(6), query.text(7), query.text(8), query.integer(9)};
}

int countRows(Database& db, const char* where = "1 = 1") {
    const QByteArray sql = QByteArray("SELECT count(*) FROM \"菜单\" WHERE ") + where;
    Statement query(db, sql.constData());
    query.next();
    return static_cast<int>(query.integer(0));
}

DishEntry dish(const QString& name, const QString& initials, const QString& quantity = QStringLiteral("1"),
               const QString& price = QStringLiteral("10")) {
    return {name, quantity, QStringLiteral("份"), price, initials, QString()};
}

QStringList names(const QList<MenuItem>& items) {
    QStringList result;
    for (const MenuItem& item : items)
        result.append(item.name);
    return result;
}

} // namespace

class CatalogueTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        home_ = std::make_unique<TestHome>();
        db_ = home_->createDatabase();
        catalogue_ = std::make_unique<MenuCatalogue>(*db_);
    }
    void cleanup() {
        catalogue_.reset();
        db_.reset();
        home_.reset();
    }

    void bracketsAreStoredAsBraces() {
        catalogue_->save(QStringLiteral("20250101120000"), kDishes,
                         dish(QStringLiteral("[大]份"), QStringLiteral("df")));
        const auto row = storedRow(*db_, QStringLiteral("20250101120000"));
        QVERIFY(row);
        QCOMPARE(row->name, QStringLiteral("{大}份"));
        QCOMPARE(row->searchKey, QStringLiteral("[大]份-df"));
        const QList<MenuItem> found = catalogue_->search(kDishes, QStringLiteral("[大]"));
        QCOMPARE(names(found), QStringList{QStringLiteral("[大]份")});
    }

    void numbersAreReadFromTheBoxes_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("unit after") << "2份"
                                    << "2";
        QTest::newRow("letters") << "abc"
                                 << "0";
        QTest::newRow("empty") << ""
                               << "0";
        QTest::newRow("trailing zero") << "12.50"
                                       << "12.5";
    }
    void numbersAreReadFromTheBoxes() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        const QString key = QStringLiteral("20250101120001");
        catalogue_->save(key, kDishes, dish(QStringLiteral("汤"), QStringLiteral("t"), typed, typed));
        const auto row = storedRow(*db_, key);
        QVERIFY(row);
        QCOMPARE(row->quantity, stored);
        QCOMPARE(row->price, stored);
    }

    // A modified item keeps its key and its place; the spare columns are emptied.
    void modifyKeepsTheKey() {
        const QString key = QStringLiteral("202401011300%1").arg(0, 2, 10, QLatin1Char('0')); // 宫保鸡丁
        const auto before = storedRow(*db_, key);
        QVERIFY(before);
        db_->exec("UPDATE \"菜单\" SET \"备用1\" = 'x', \"备用2\" = 'y', \"备用3\" = 'z'");
        catalogue_->save(key, kDishes, dish(QStringLiteral("宫保虾球"), QStringLiteral("gbxq")));
        const auto after = storedRow(*db_, key);
        QVERIFY(after);
        QCOMPARE(after->rowid, before->rowid);
        QCOMPARE(after->name, QStringLiteral("宫保虾球"));
        QCOMPARE(after->searchKey, QStringLiteral("宫保虾球-gbxq"));
        QCOMPARE(after->spare1, QString());
        QCOMPARE(after->spare2, QString());
        QCOMPARE(after->spare3, QString());
        QCOMPARE(countRows(*db_), 10);
        QCOMPARE(countRows(*db_, "\"备用1\" = 'x'"), 9);
    }

    void searchMatchesAnyPartIgnoringCase_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("found");
        const QStringList gongbao{QStringLiteral("宫保鸡丁")};
        QTest::newRow("initials") << "gbjd" << gongbao;
        QTest::newRow("upper case") << "GBJD" << gongbao;
        QTest::newRow("middle of the name") << "保鸡" << gongbao;
        QTest::newRow("start of initials") << "gb" << gongbao;
        QTest::newRow("empty lists all")
            << ""
            << QStringList{QStringLiteral("宫保鸡丁"), QStringLiteral("鱼香肉丝"), QStringLiteral("麻婆豆腐"),
                           QStringLiteral("清蒸鲈鱼")};
        QTest::newRow("other category") << "kl" << QStringList{};
        QTest::newRow("blank is not trimmed") << "gbjd " << QStringList{};
    }
    void searchMatchesAnyPartIgnoringCase() {
        QFETCH(QString, text);
        QFETCH(QStringList, found);
        QCOMPARE(names(catalogue_->search(kDishes, text)), found);
    }

    // Quote, percent, underscore and backslash are ordinary characters in names and in the search.
    void specialCharactersAreLiteral_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("search");
        QTest::newRow("apostrophe") << "Tom's鸡"
                                    << "'s";
        QTest::newRow("percent") << "100%果汁"
                                 << "0%";
        QTest::newRow("underscore") << "A_B套餐"
                                    << "a_b";
        QTest::newRow("backslash") << "C\\D"
                                   << "\\d";
    }
    void specialCharactersAreLiteral() {
        QFETCH(QString, name);
        QFETCH(QString, search);
        catalogue_->save(QStringLiteral("20250101120002"), kOthers, dish(name, QStringLiteral("x")));
        const auto row = storedRow(*db_, QStringLiteral("20250101120002"));
        QVERIFY(row);
        QCOMPARE(row->name, name);
        QCOMPARE(names(catalogue_->search(kOthers, search)), QStringList{name});
        // The wildcard must not match other items: 米饭, 餐具 and 打包盒 hold no such text.
        QCOMPARE(catalogue_->search(kOthers, QStringLiteral("%")).size(), name.contains(u'%') ? 1 : 0);
        QCOMPARE(catalogue_->search(kOthers, QStringLiteral("_")).size(), name.contains(u'_') ? 1 : 0);
    }

    void tooLongIsRefusedAndNothingWritten_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("initials");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QString>("column");
        // 30 + 1 + 20 = 51 characters of search key.
        QTest::newRow("search key 51") << QString(30, u'鸡') << QString(20, u'j') << "1"
                                       << "查询";
        QTest::newRow("quantity 11 digits") << "鸡"
                                            << "j"
                                            << "12345678901"
                                            << "数量";
        QTest::newRow("name 201") << QString(201, u'鸡') << ""
                                  << "1"
                                  << "名称";
    }
    void tooLongIsRefusedAndNothingWritten() {
        QFETCH(QString, name);
        QFETCH(QString, initials);
        QFETCH(QString, quantity);
        QFETCH(QString, column);
        const QString existing = QStringLiteral("20240101130000");
        const auto before = storedRow(*db_, existing);
        try {
            catalogue_->save(QStringLiteral("20250101120003"), kDishes, dish(name, initials, quantity));
            QFAIL("saved an over-long value");
        } catch (const StoreError& error) {
            QVERIFY2(
                error.text().contains(column == QStringLiteral("查询") ? QStringLiteral("名称") : column),
                qPrintable(error.text()));
            QVERIFY(error.text().contains(QStringLiteral("未保存")));
        }
        QVERIFY(!storedRow(*db_, QStringLiteral("20250101120003")));
        // Nor is an existing item changed by a refused modify.
        try {
            catalogue_->save(existing, kDishes, dish(name, initials, quantity));
            QFAIL("saved an over-long value");
        } catch (const StoreError&) {
        }
        QCOMPARE(storedRow(*db_, existing)->name, before->name);
    }

    void searchKeyOfExactlyFiftyFits() {
        const QString key = QStringLiteral("20250101120004");
        catalogue_->save(key, kDishes, dish(QString(29, u'鸡'), QString(20, u'j')));
        QCOMPARE(storedRow(*db_, key)->searchKey.size(), 50);
    }

    // The printers saved are those the kitchen routing reads; naming none goes back to the category.
    void printersAreStoredForTheRouting() {
        const QString key = QStringLiteral("20240101130000");
        const QString gongbao = QStringLiteral("宫保鸡丁");
        const QStringList named{QStringLiteral("厨房"), QStringLiteral("凉菜间")};
        DishEntry entry = dish(gongbao, QStringLiteral("gbjd"));
        entry.printers = named;
        catalogue_->save(key, kDishes, entry);
        QCOMPARE(catalogue_->search(kDishes, gongbao).value(0).printers, named);
        QCOMPARE(ReadDishPrinters(*db_).value(DishKey(kDishes, gongbao)), named);

        // Too long for the column, or holding the separator: refused, and the stored names stay.
        for (const QString& refused : {QString(201, u'厨'), QStringLiteral("厨房,二楼")}) {
            entry.printers = {refused};
            QVERIFY_THROWS_EXCEPTION(StoreError, catalogue_->save(key, kDishes, entry));
        }
        QCOMPARE(catalogue_->search(kDishes, gongbao).value(0).printers, named);

        entry.printers.clear();
        catalogue_->save(key, kDishes, entry);
        QCOMPARE(catalogue_->search(kDishes, gongbao).value(0).printers, QStringList());
        QVERIFY(ReadDishPrinters(*db_).isEmpty());
    }

    // A photo of any size is stored small enough for a phone's Wi-Fi, a file that is no image is refused,
    // and a picture goes with its dish, also from a database made before dishes had pictures.
    void picturesAreShrunkAndGoWithTheirDish() {
        db_->exec("DROP TABLE \"菜品图片\"");
        db_->setUserVersion(6);
        MigrateSchema(*db_);

        const QString gongbao = QStringLiteral("20240101130000");
        const QString cola = QStringLiteral("20240101130005");
        DishEntry entry = dish(QStringLiteral("宫保鸡丁"), QStringLiteral("gbjd"));
        entry.description = QStringLiteral("花生米脆，微辣");
        catalogue_->save(gongbao, kDishes, entry);
        QCOMPARE(catalogue_->item(gongbao)->description, entry.description);

        QImage photo(2000, 1000, QImage::Format_RGB32);
        photo.fill(Qt::darkRed);
        const QString photoPath = home_->path(QStringLiteral("photo.png"));
        QVERIFY(photo.save(photoPath));
        catalogue_->setPicture(gongbao, DishPictureFromFile(photoPath));
        catalogue_->setPicture(cola, DishPictureFromFile(photoPath));
        const std::optional<DishPicture> stored = catalogue_->picture(gongbao);
        QVERIFY(stored);
        QVERIFY(stored->jpeg.startsWith("\xFF\xD8"));
        QCOMPARE(QImage::fromData(stored->jpeg, "JPEG").size(), QSize(480, 240));
        QCOMPARE(catalogue_->pictureStamps().value(gongbao), stored->stamp);

        QFile notAnImage(home_->path(QStringLiteral("menu.jpg")));
        QVERIFY(notAnImage.open(QIODevice::WriteOnly));
        notAnImage.write("宫保鸡丁 28");
        notAnImage.close();
        QVERIFY_THROWS_EXCEPTION(StoreError, DishPictureFromFile(notAnImage.fileName()));
        QVERIFY_THROWS_EXCEPTION(StoreError,
                                 catalogue_->setPicture(QStringLiteral("20990101000000"), stored->jpeg));

        QVERIFY(catalogue_->remove(gongbao));
        QVERIFY(!catalogue_->picture(gongbao));
        QCOMPARE(catalogue_->clear(kDrinks), 3);
        QVERIFY(catalogue_->pictureStamps().isEmpty());
    }

    void clearEmptiesOnlyOneCategory() {
        QCOMPARE(catalogue_->clear(kDrinks), 3);
        QCOMPARE(catalogue_->search(kDrinks, QString()).size(), 0);
        QCOMPARE(catalogue_->search(kDishes, QString()).size(), 4);
        QCOMPARE(catalogue_->search(kOthers, QString()).size(), 3);
    }

    // Two items added within one second get different keys, so the second never overwrites the first.
    void newKeysDoNotCollide() {
        const QDateTime now(QDate(2025, 3, 4), QTime(5, 6, 7));
        const QString first = catalogue_->newKey(now);
        QCOMPARE(first, QStringLiteral("20250304050607"));
        catalogue_->save(first, kDishes, dish(QStringLiteral("甲"), QStringLiteral("j")));
        const QString second = catalogue_->newKey(now);
        QCOMPARE(second, QStringLiteral("20250304050608"));
        catalogue_->save(second, kDishes, dish(QStringLiteral("乙"), QStringLiteral("y")));
        QCOMPARE(storedRow(*db_, first)->name, QStringLiteral("甲"));
    }

    void selection() {
        MenuList list(*catalogue_);
        list.refresh();
        list.select(1);
        QCOMPARE(list.selectedRow(), 1);
        QCOMPARE(list.selectedItem()->name, QStringLiteral("鱼香肉丝"));
        QCOMPARE(list.selectedKey(), QStringLiteral("20240101130001"));
        // An empty screen row selects nothing new.
        list.select(4);
        QCOMPARE(list.selectedRow(), 1);
        // Add makes a new key but keeps the selected row and item.
        const QString key = list.add(QDateTime(QDate(2025, 1, 1), QTime(8, 0)));
        QCOMPARE(list.selectedKey(), key);
        QCOMPARE(list.selectedItem()->name, QStringLiteral("鱼香肉丝"));
        // Delete removes the item that was clicked, not the one Add made the key for.
        QVERIFY(list.removeSelected());
        QCOMPARE(names(list.results()), (QStringList{QStringLiteral("宫保鸡丁"), QStringLiteral("麻婆豆腐"),
                                                     QStringLiteral("清蒸鲈鱼")}));
        QVERIFY(!list.selectedRow());
        QVERIFY(!list.removeSelected());
        QCOMPARE(countRows(*db_), 9);
    }

    // A short screen shows fewer rows: the list scrolls to reach the others, and no row beyond is shown.
    void fewerScreenRows() {
        MenuList list(*catalogue_);
        list.refresh();
        QVERIFY(!list.scrollEnabled());
        list.setScreenRows(2);
        QVERIFY(list.scrollEnabled());
        QCOMPARE(list.scrollMaximum(), 2);
        QVERIFY(!list.entryAt(2));
        list.setScrollValue(2);
        QCOMPARE(list.entryAt(0)->name, QStringLiteral("麻婆豆腐"));
        // More rows again bring the scroll position back within its maximum.
        list.setScreenRows(MenuList::kScreenRows);
        QCOMPARE(list.scrollValue(), 0);
        QCOMPARE(list.entryAt(3)->name, QStringLiteral("清蒸鲈鱼"));
    }

private:
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<MenuCatalogue> catalogue_;
};

QTEST_GUILESS_MAIN(CatalogueTest)
#include "test_catalogue.moc"
