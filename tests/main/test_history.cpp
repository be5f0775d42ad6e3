#include "common/MessageBoxes.h"
#include "common/PaymentAnswers.h"
#include "common/SignedInCounter.h"
#include "common/TestHome.h"

#include "bill/BillDocument.h"
#include "desk/History.h"
#include "main/HistoryPanel.h"
#include "main/MainWindow.h"
#include "main/MergeWindow.h"
#include "main/SplitWindow.h"
#include "main/TileWidget.h"
#include "main/TransferWindow.h"
#include "mobile/ServerControl.h"
#include "order/OrderWindow.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <algorithm>

namespace {

// A closed bill with one line, dated by its id.
void addBill(Database& db, const QString& id, const QString& name = QString(),
             const QString& credit = QString(), const QString& leaveState = QStringLiteral("yes"),
             const QString& table = QStringLiteral("大厅3")) {
    const QString date = id.left(4) + QLatin1Char('-') + id.mid(4, 2) + QLatin1Char('-') + id.mid(6, 2);
    Statement bill(
        db,
        "INSERT INTO \"桌台\" (\"id\", \"日期\", \"桌号\", \"姓名\", \"挂账状态\", \"退桌状态\", \"应收\") "
        "VALUES (?, ?, ?, ?, ?, ?, '28')");
    bill.bind(1, id).bind(2, date).bind(3, table).bind(4, name).bind(5, credit).bind(6, leaveState).run();
    Statement line(
        db,
        "INSERT INTO \"明细\" (\"id\", \"日期\", \"序号\", \"名称\", \"数量\", \"单价\", \"金额\", \"分类\", "
        "\"排序\") VALUES (?, ?, ?, '宫保鸡丁', '1', '28', '28', '菜品', '1000')");
    line.bind(1, id).bind(2, date).bind(3, id.mid(2) + QStringLiteral("000")).run();
}

qint64 count(Database& db, const char* sql, const QString& id) {
    Statement query(db, sql);
    query.bind(1, id);
    return query.next() ? query.integer(0) : -1;
}

} // namespace

class HistoryTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sequenceNumbersArePaddedToTheRowCount_data() {
        QTest::addColumn<int>("bills");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("7") << 7 << "[7]"
                           << "[1]";
        QTest::newRow("12") << 12 << "[12]"
                            << "[01]";
        QTest::newRow("100") << 100 << "[100]"
                             << "[001]";
    }
    void sequenceNumbersArePaddedToTheRowCount() {
        QFETCH(int, bills);
        QFETCH(QString, first);
        QFETCH(QString, last);
        TestHome home;
        auto db = home.createDatabase();
        for (int i = 0; i < bills; ++i)
            addBill(*db, QStringLiteral("20241212%1").arg(100000 + i * 7, 6, 10, QLatin1Char('0')));
        const auto entries = RunHistoryQuery(
            *db, {HistoryQuery::Kind::Closed, QString(), QDate(2024, 12, 12), QDate(2024, 12, 12)});
        QCOMPARE(entries.size(), bills);
        QVERIFY(entries.first().line.startsWith(first));
        QVERIFY(entries.last().line.startsWith(last));
        QVERIFY(entries.first().billId > entries.last().billId);
    }

    void linesShowTheNameOrTheTable() {
        TestHome home;
        auto db = home.createDatabase();
        addBill(*db, QStringLiteral("20241212184501"), QStringLiteral("  "), QStringLiteral("◆"));
        addBill(*db, QStringLiteral("20241212190000"), QStringLiteral("王先生"));
        addBill(*db, QStringLiteral("20241212200000"), QString(), QString(), QString()); // table still open
        const auto entries = RunHistoryQuery(
            *db, {HistoryQuery::Kind::Closed, QString(), QDate(2024, 12, 12), QDate(2024, 12, 12)});
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).line, QStringLiteral("[2]2024-12-12 19:00[王先生]"));
        QCOMPARE(entries.at(1).line, QStringLiteral("[1]2024-12-12 18:45[大厅3]◆"));
        // On account: only the bill with the mark, its time from 日期.
        const auto onAccount = RunHistoryQuery(
            *db, {HistoryQuery::Kind::OnAccount, QString(), QDate(2024, 12, 1), QDate(2024, 12, 31)});
        QCOMPARE(onAccount.size(), 1);
        QCOMPARE(onAccount.at(0).line, QStringLiteral("[1]2024-12-12 00:00[大厅3]◆"));
    }

    void namesAreFoundLiterallyAndDatesInEitherOrder() {
        TestHome home;
        auto db = home.createDatabase();
        addBill(*db, QStringLiteral("20240301120000"), QStringLiteral("O'Brien"));
        addBill(*db, QStringLiteral("20240302120000"), QStringLiteral("100%满意"));
        addBill(*db, QStringLiteral("20240303120000"), QStringLiteral("李四"));
        auto find = [&](const QString& text) {
            return RunHistoryQuery(*db,
                                   {HistoryQuery::Kind::Closed, text, QDate(2024, 3, 31), QDate(2024, 3, 1)})
                .size();
        };
        QCOMPARE(find(QStringLiteral("'Bri")), 1);
        QCOMPARE(find(QStringLiteral("%")), 1);
        QCOMPARE(find(QStringLiteral("_")), 0);
        QCOMPARE(find(QString()), 3);
    }

    void panelRulesForDatesAndDays() {
        TestHome home;
        auto db = home.createDatabase();
        addBill(*db, QStringLiteral("20240229120000"));
        addBill(*db, QStringLiteral("20240301120000"));
        HistoryPanel panel(*db);
        auto* search = panel.findChild<QLineEdit*>(QStringLiteral("nameSearchBox"));
        auto* start = panel.findChild<QLineEdit*>(QStringLiteral("startDateEdit"));
        auto* end = panel.findChild<QLineEdit*>(QStringLiteral("endDateEdit"));
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));

        search->setText(QStringLiteral("张"));
        QCOMPARE(start->text(), QDate::currentDate().addYears(-10).toString(QStringLiteral("yyyy-MM-dd")));
        QCOMPARE(end->text(), today);
        search->setText(QString());
        QCOMPARE(start->text(), today);

        // "<<<" from 2024-03-01 shows 2024-02-29 only, even though the name box is emptied on the way.
        search->setText(QStringLiteral("张"));
        end->setText(QStringLiteral("2024-3-1"));
        panel.stepDays(-1);
        QCOMPARE(start->text(), QStringLiteral("2024-02-29"));
        QCOMPARE(end->text(), QStringLiteral("2024-02-29"));
        QCOMPARE(panel.entries().size(), 1);
        QCOMPARE(panel.entries().at(0).billId, QStringLiteral("20240229120000"));

        // A typed text that is no date is refused and changes nothing.
        start->setText(QStringLiteral("2024-02-29' or 1=1 --"));
        {
            const MessageBoxAnswerer answerer;
            panel.runQuery();
            QCOMPARE(answerer.firstText(), QStringLiteral("请输入正确日期格式，如“2020-01-15”！"));
        }
        QCOMPARE(panel.list()->count(), 1);
    }

    // Years of bills: the list shows a page at once and reads the rest as it is scrolled, each bill once
    // and numbered as if all were read; a new query starts again at the top.
    void aLongListIsReadAsItIsScrolled() {
        TestHome home;
        auto db = home.createDatabase();
        constexpr int kBills = 2 * HistoryPanel::kPageRows + 50;
        {
            Transaction step(*db);
            const QDateTime first(QDate(2024, 1, 1), QTime(12, 0));
            for (int i = 0; i < kBills; ++i)
                addBill(*db, first.addSecs(i * 3600).toString(QStringLiteral("yyyyMMddHHmmss")));
            step.commit();
        }
        HistoryPanel panel(*db);
        panel.resize(300, 600);
        panel.show();
        panel.findChild<QLineEdit*>(QStringLiteral("startDateEdit"))->setText(QStringLiteral("2024-01-01"));
        panel.findChild<QLineEdit*>(QStringLiteral("endDateEdit"))->setText(QStringLiteral("2024-12-31"));
        panel.runQuery();
        QCOMPARE(panel.list()->count(), HistoryPanel::kPageRows);
        QVERIFY(panel.list()->item(0)->text().startsWith(QStringLiteral("[%1]").arg(kBills)));
        QScrollBar* bar = panel.list()->verticalScrollBar();
        for (int scrolled = 0; scrolled < 10 && panel.list()->count() < kBills; ++scrolled) {
            QCoreApplication::processEvents(); // the list lays its rows out
            bar->setValue(bar->maximum());
        }
        QCOMPARE(panel.list()->count(), kBills);
        QSet<QString> ids;
        for (const HistoryEntry& entry : panel.entries())
            ids.insert(entry.billId);
        QCOMPARE(ids.size(), kBills);
        QVERIFY(panel.list()->item(kBills - 1)->text().startsWith(QStringLiteral("[001]")));
        QCOMPARE(panel.entries().constLast().billId, QStringLiteral("20240101120000"));

        panel.findChild<QLineEdit*>(QStringLiteral("startDateEdit"))->setText(QStringLiteral("2024-01-02"));
        panel.runQuery();
        QCOMPARE(bar->value(), 0);
        QVERIFY(panel.list()->item(0)->text().startsWith(QStringLiteral("[%1]").arg(kBills - 12)));
    }

    // Thousands of bills are read along their ids, which must give the very list sorting them would, and
    // a bill whose date was set away from its opening day is still listed in its place.
    void thousandsOfBillsListNewestFirstWhicheverWayTheyAreRead() {
        TestHome home;
        auto db = home.createDatabase();
        QStringList ids;
        {
            Transaction step(*db);
            const QDateTime first(QDate(2024, 1, 1), QTime(12, 0));
            for (int i = 0; i < 2300; ++i)
                ids.prepend(first.addSecs(i * 1800).toString(QStringLiteral("yyyyMMddHHmmss")));
            for (const QString& id : ids)
                addBill(*db, id);
            step.commit();
        }
        const HistoryQuery year{HistoryQuery::Kind::Closed, QString(), QDate(2024, 1, 1),
                                QDate(2024, 12, 31)};
        const auto listed = [&] {
            HistoryList list(*db, year);
            QStringList found;
            for (int page = 0; page < 20 && !list.atEnd(); ++page)
                for (const HistoryEntry& entry : list.next(HistoryPanel::kPageRows))
                    found.append(entry.billId);
            return found;
        };
        QCOMPARE(listed(), ids);

        addBill(*db, QStringLiteral("20231231230000"));
        Statement redate(*db, "UPDATE \"桌台\" SET \"日期\" = '2024-01-01' WHERE \"id\" = '20231231230000'");
        redate.run();
        QCOMPARE(listed(), ids + QStringList{QStringLiteral("20231231230000")});
    }

    void deletingTheThirdOnAccountLineRemovesExactlyThatBill() {
        TestHome home;
        auto db = home.createDatabase();
        const QStringList ids{"20240301120000", "20240302120000", "20240303120000", "20240304120000"};
        for (const QString& id : ids)
            addBill(*db, id, QString(), QStringLiteral("◆"));
        addBill(*db, QStringLiteral("20240305120000")); // not on account
        HistoryPanel panel(*db);
        panel.findChild<QLineEdit*>(QStringLiteral("startDateEdit"))->setText(QStringLiteral("2024-03-01"));
        panel.findChild<QLineEdit*>(QStringLiteral("endDateEdit"))->setText(QStringLiteral("2024-03-31"));
        panel.runOnAccountQuery();
        QCOMPARE(panel.list()->count(), 4);
        const QString third = panel.entries().at(2).billId;
        QCOMPARE(third, QStringLiteral("20240302120000"));

        panel.list()->setCurrentRow(2);
        {
            const MessageBoxAnswerer answerer({QMessageBox::Ok});
            panel.deleteSelected();
            QCOMPARE(answerer.firstText(), QStringLiteral("确实要永久删除该记录吗？"));
        }
        QCOMPARE(panel.list()->count(), 3);
        QCOMPARE(count(*db, "SELECT count(*) FROM \"桌台\" WHERE \"id\" = ?", third), 0);
        QCOMPARE(count(*db, "SELECT count(*) FROM \"明细\" WHERE \"id\" = ?", third), 0);
        QCOMPARE(count(*db, "SELECT count(*) FROM \"桌台\" WHERE \"id\" <> ?", third), 4);
        QCOMPARE(count(*db, "SELECT count(*) FROM \"明细\" WHERE \"id\" <> ?", third), 4);

        // Cancel deletes nothing.
        panel.list()->setCurrentRow(0);
        {
            const MessageBoxAnswerer answerer({QMessageBox::Cancel});
            panel.deleteSelected();
        }
        QCOMPARE(panel.list()->count(), 3);
    }

    void splitMergeAndUndoThroughTheMainWindow() {
        TestHome home;
        auto db = home.createDatabase();
        const QString first = QStringLiteral("20241212120000");
        const QString second = QStringLiteral("20241212130000");
        addBill(*db, first, QStringLiteral("张三"), QString(), QString());
        addBill(*db, second, QString(), QString(), QString());
        WriteSlot(*db, 2, first);
        WriteSlot(*db, 5, second);
        const DataFolders folders{home.path(QStringLiteral("d")), home.path(QStringLiteral("b"))};
        ServerControl server(home.path(QStringLiteral("bin")), folders.dataFolder);
        SignedInCounter counter(*db, folders, server);
        MainWindow& main = counter.main;
        main.show();
        const auto receivable = [&](const QString& billId) {
            Statement bill(*db, "SELECT \"应收\" FROM \"桌台\" WHERE \"id\" = ?");
            bill.bind(1, billId);
            return bill.next() ? bill.text(0) : QString();
        };

        // Half of table 2's one dish goes to table 7.
        main.tables().selectTile(2);
        main.startSplit();
        auto* split = main.findChild<SplitWindow*>();
        QVERIFY(split);
        {
            const MessageBoxAnswerer answerer;
            split->confirm();
            QCOMPARE(answerer.firstText(), QStringLiteral("请填写要拆出的数量！"));
        }
        split->setMoving(0, QStringLiteral("0.5"));
        QVERIFY(!split->chooseTarget(5)); // occupied tables are not offered
        QVERIFY(split->chooseTarget(7));
        split->confirm();
        const QString splitOff = ReadSlots(*db, 8).at(7);
        QVERIFY(!splitOff.isEmpty());
        QCOMPARE(receivable(first), QStringLiteral("14"));
        QCOMPARE(receivable(splitOff), QStringLiteral("14"));
        QCOMPARE(main.tables().selectedTile(), 7);

        // Tables 5 and 7 join table 2, and 撤销并台 gives them back.
        main.tables().selectTile(2);
        main.startMerge();
        auto* merge = main.findChild<MergeWindow*>();
        QVERIFY(merge);
        QVERIFY(!merge->tick(2));
        QVERIFY(merge->tick(5) && merge->tick(7));
        merge->confirm();
        QCOMPARE(ReadSlots(*db, 8), (QStringList{{}, {}, first, {}, {}, {}, {}, {}}));
        QCOMPARE(receivable(first), QStringLiteral("56"));
        // The tile's menu offers 撤销并台 on the joined table only.
        auto* menu = main.findChild<QMenu*>(QStringLiteral("tilePopupMenu"));
        const auto offersUndo = [&](int table) {
            main.tables().selectTile(table);
            Q_EMIT main.tile(table)->contextRequested(table, main.geometry().center());
            const bool shown = std::ranges::any_of(menu->actions(), [](const QAction* action) {
                return action->text() == QStringLiteral("撤销并台") && action->isVisible();
            });
            menu->hide();
            return shown;
        };
        QVERIFY(!offersUndo(0));
        QVERIFY(offersUndo(2));
        {
            const MessageBoxAnswerer answerer({QMessageBox::Yes});
            main.undoMergeOfSelected();
        }
        QCOMPARE(ReadSlots(*db, 8), (QStringList{{}, {}, first, {}, {}, second, {}, splitOff}));
        QCOMPARE(receivable(first), QStringLiteral("14"));
    }

    void transferAndReopenThroughTheMainWindow() {
        TestHome home;
        auto db = home.createDatabase();
        addBill(*db, QStringLiteral("20241212120000"), QStringLiteral("张三"), QString(), QString());
        addBill(*db, QStringLiteral("20241212130000"), QString(), QString(), QString());
        WriteSlot(*db, 2, QStringLiteral("20241212120000"));
        WriteSlot(*db, 5, QStringLiteral("20241212130000"));
        const DataFolders folders{home.path(QStringLiteral("d")), home.path(QStringLiteral("b"))};
        ServerControl server(home.path(QStringLiteral("bin")), folders.dataFolder);
        SignedInCounter counter(*db, folders, server);
        MainWindow& main = counter.main;
        main.show();

        // A free table cannot be transferred.
        main.tables().selectTile(0);
        {
            const MessageBoxAnswerer answerer;
            main.startTransfer();
            QCOMPARE(answerer.firstText(), QStringLiteral("请桌尚未点菜，无需转桌！"));
        }

        main.tables().selectTile(2);
        main.startTransfer();
        auto* transfer = main.findChild<TransferWindow*>();
        QVERIFY(transfer);
        {
            const MessageBoxAnswerer answerer;
            transfer->confirm();
            QCOMPARE(answerer.firstText(), QStringLiteral("请首先选择桌号！"));
        }
        for (int target : {5, 2}) { // occupied, and the table itself
            transfer->chooseTarget(target);
            const MessageBoxAnswerer answerer;
            transfer->confirm();
            QCOMPARE(answerer.firstText(), QStringLiteral("该桌号已被占用！"));
        }
        QCOMPARE(ReadSlots(*db, 8).at(5), QStringLiteral("20241212130000"));
        transfer->chooseTarget(7);
        transfer->confirm();
        QStringList slots = ReadSlots(*db, 8);
        QCOMPARE(slots.at(2), QString());
        QCOMPARE(slots.at(7), QStringLiteral("20241212120000"));
        QCOMPARE(main.tables().selectedTile(), 7);

        // Double-clicking tile 7 opens the same lines.
        main.openTable(7);
        QCOMPARE(main.orderWindow()->bill().billId(), QStringLiteral("20241212120000"));
        QCOMPARE(main.orderWindow()->bill().lines().size(), 1);
        {
            const PaymentAnswerer paying;
            main.orderWindow()->checkOut();
        }
        QCOMPARE(ReadSlots(*db, 8).at(7), QString());

        // The closed bill is listed today? It is dated 2024-12-12: reopen it from a query of that day.
        auto* panel = main.history();
        panel->findChild<QLineEdit*>(QStringLiteral("startDateEdit"))->setText(QStringLiteral("2024-12-12"));
        panel->findChild<QLineEdit*>(QStringLiteral("endDateEdit"))->setText(QStringLiteral("2024-12-12"));
        panel->runQuery();
        QCOMPARE(panel->entries().size(), 1);
        main.reopenBill(panel->entries().at(0).billId);
        OrderWindow* window = main.orderWindow();
        QVERIFY(window->bill().isClosedBill());
        QCOMPARE(window->bill().header().openedText, QStringLiteral("2024-12-12 00:00"));
        window->bill().setCustomerName(QStringLiteral("张三丰"));
        QVERIFY(window->saveAndClose());
        Statement bill(*db, "SELECT \"退桌状态\", \"姓名\" FROM \"桌台\" WHERE \"id\" = '20241212120000'");
        QVERIFY(bill.next());
        QCOMPARE(bill.text(0), QStringLiteral("yes"));
        QCOMPARE(bill.text(1), QStringLiteral("张三丰"));
        slots = ReadSlots(*db, 13);
        QCOMPARE(slots.count(QString()), 12); // only table 5 is still occupied
        QCOMPARE(slots.at(5), QStringLiteral("20241212130000"));
    }

    void wrongPasswordsOnPhonesWarnTheCashier() {
        TestHome home;
        auto db = home.createDatabase();
        const DataFolders folders{home.path(QStringLiteral("d")), home.path(QStringLiteral("b"))};
        QVERIFY(QDir().mkpath(folders.dataFolder));
        const QString alarm = folders.dataFolder + QStringLiteral("/Lanserve.alert");
        // An alarm from before the counter started is old news.
        {
            QFile old(alarm);
            QVERIFY(old.open(QIODevice::WriteOnly));
        }
        ServerControl server(home.path(QStringLiteral("bin")), folders.dataFolder);
        SignedInCounter counter(*db, folders, server);
        MainWindow& main = counter.main;
        main.show();
        auto* warning = main.findChild<QLabel*>(QStringLiteral("phoneAlarmLabel"));
        QTest::qWait(1700);
        QVERIFY(!warning->isVisible());

        QFile raised(alarm);
        QVERIFY(raised.open(QIODevice::WriteOnly));
        raised.write("now\n");
        raised.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
        raised.close();
        QTRY_VERIFY_WITH_TIMEOUT(warning->isVisible(), 5000);
        QVERIFY(warning->text().startsWith(QStringLiteral("手机点餐：多次密码错误")));
        QTest::mouseClick(warning, Qt::LeftButton);
        QVERIFY(!warning->isVisible());
        // A wrong password from before the click, noticed only after it, is the same attack: no new warning.
        const auto wrongPasswordAt = [&](const QDateTime& at) {
            QFile file(alarm);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setFileTime(at, QFileDevice::FileModificationTime));
        };
        wrongPasswordAt(QDateTime::currentDateTime().addSecs(-2));
        QTest::qWait(1700);
        QVERIFY(!warning->isVisible());
        wrongPasswordAt(QDateTime::currentDateTime().addSecs(10));
        QTRY_VERIFY_WITH_TIMEOUT(warning->isVisible(), 5000);
    }
};

QTEST_MAIN(HistoryTest)
#include "test_history.moc"
