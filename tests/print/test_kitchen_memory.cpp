// What the kitchen has of each line: a line goes out once, drinks reach the bar, lines no printer took go
// out once one does, a dish may name its own printers, and every change of a line the kitchen has prints
// 退菜 or 加菜 on the printers that have it.

#include "common/TestHome.h"
#include "desk/OrderDesk.h"
#include "print/JobStore.h"
#include "print/PrintQueue.h"
#include "print/PrinterStore.h"
#include "print/Routing.h"
#include "store/ActionTrail.h"
#include "store/Database.h"

#include <QTest>

namespace {

Printer KitchenPrinter(const QString& name, const QStringList& categories) {
    Printer printer;
    printer.name = name;
    printer.address = QStringLiteral("tcp://127.0.0.1:9100");
    printer.categories = categories;
    return printer;
}

// "printer 退菜 name×quantity" of every kitchen job, oldest first.
QStringList Tickets(Database& db) {
    QStringList tickets;
    const QList<PrintJob> jobs = JobStore(db).since(QDate::currentDate().addDays(-1));
    for (auto job = jobs.crbegin(); job != jobs.crend(); ++job) {
        QStringList lines;
        for (const OrderLine& line : job->lines)
            lines.append(line.name + QStringLiteral("×") + line.quantity);
        const QString printer = job->state == JobState::NotRouted ? QStringLiteral("未送出") : job->printer;
        tickets.append((QStringList{printer, job->change, job->reprint ? QStringLiteral("重打") : QString(),
                                    lines.join(QLatin1Char(','))})
                           .join(QLatin1Char(' '))
                           .simplified());
    }
    return tickets;
}

struct Kitchen {
    TestHome home;
    std::unique_ptr<Database> db = home.createDatabase();
    OrderDesk counter{*db};

    explicit Kitchen(const QList<Printer>& printers) {
        for (const Printer& printer : printers)
            PrinterStore(*db).add(printer);
        counter.openTable(0, QDateTime::currentDateTime());
    }

    int add(const QString& category, const QString& name) {
        counter.menu.chooseCategory(category);
        for (const MenuRecord& record : counter.menu.records())
            if (record.name == name)
                return counter.bill.addItem(record, QDateTime::currentDateTime());
        qFatal("menu item missing");
    }

    // 后厨打印 as the counter's window does it.
    void sendMarked() {
        const MarkedLines marked = MarkedForKitchen(counter.bill.lines());
        const KitchenSend send = SendToKitchen(*db, QStringLiteral("大厅001"), marked.fresh, kSourceCounter,
                                               QDateTime::currentDateTime(), counter.bill.billId());
        QStringList sent;
        for (const PrinterLines& ticket : send.tickets)
            for (const OrderLine& line : ticket.lines)
                sent.append(line.lineId);
        counter.bill.sentToKitchen(sent);
    }
};

} // namespace

class TestKitchenMemory : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aLineGoesOnceAndDrinksReachTheBar() {
        Kitchen kitchen({KitchenPrinter(QStringLiteral("厨房"), {kDishes}),
                         KitchenPrinter(QStringLiteral("吧台"), {kDrinks})});
        kitchen.add(kDishes, QStringLiteral("宫保鸡丁"));
        kitchen.add(kDrinks, QStringLiteral("可乐"));
        kitchen.add(kOthers, QStringLiteral("米饭")); // no printer takes it: no mark
        QCOMPARE(kitchen.counter.bill.lines().at(1).kitchenMark, kMark);
        QCOMPARE(kitchen.counter.bill.lines().at(2).kitchenMark, QString());
        kitchen.sendMarked();
        kitchen.sendMarked(); // pressed again: nothing new
        QCOMPARE(Tickets(*kitchen.db), (QStringList{"厨房 宫保鸡丁×1", "吧台 可乐×1"}));
        QCOMPARE(kitchen.counter.bill.lines().at(0).kitchenHas, QStringLiteral("1"));
        QCOMPARE(kitchen.counter.bill.lines().at(0).kitchenMark, QString());

        // A new dish goes out alone; a line the kitchen has goes again only when asked for, as 重打.
        kitchen.add(kDishes, QStringLiteral("鱼香肉丝"));
        kitchen.sendMarked();
        kitchen.counter.bill.toggleKitchenMark(0);
        const MarkedLines marked = MarkedForKitchen(kitchen.counter.bill.lines());
        QCOMPARE(marked.fresh.size(), 0);
        QCOMPARE(marked.sentBefore.size(), 1);
        SendToKitchen(*kitchen.db, QStringLiteral("大厅001"), marked.sentBefore, kSourceCounter,
                      QDateTime::currentDateTime(), kitchen.counter.bill.billId(), true);
        QCOMPARE(Tickets(*kitchen.db).mid(2), (QStringList{"厨房 鱼香肉丝×1", "厨房 重打 宫保鸡丁×1"}));
        kitchen.counter.bill.followStored();
        QCOMPARE(kitchen.counter.bill.lines().at(0).kitchenHas, QStringLiteral("1"));
    }

    void changesOfLinesTheKitchenHasReachThePrintersThatHaveThem() {
        Kitchen kitchen({KitchenPrinter(QStringLiteral("厨房"), {kDishes}),
                         KitchenPrinter(QStringLiteral("吧台"), {kDrinks})});
        kitchen.add(kDishes, QStringLiteral("宫保鸡丁"));
        kitchen.add(kDrinks, QStringLiteral("可乐"));
        kitchen.sendMarked();
        BillDocument& bill = kitchen.counter.bill;
        bill.setActor(QStringLiteral("001"));
        bill.setQuantity(0, QStringLiteral("3"));
        bill.setTakeBackReason(QStringLiteral("顾客不要了"));
        bill.setQuantity(0, QStringLiteral("2"));
        bill.setRemark(0, QStringLiteral("少辣")); // not a quantity: nothing to print
        // A waiter takes the drink back on a phone.
        auto phones = TestHome::openAsPhonePages(*kitchen.db);
        OrderDesk waiter(*phones, kSourceWaiter);
        waiter.openTable(0, QDateTime::currentDateTime());
        // Opened, the bill knows at once what the kitchen has, before any edit asks the store again.
        QCOMPARE(waiter.bill.lines().at(0).kitchenHas, QStringLiteral("2"));
        QCOMPARE(waiter.bill.lines().at(1).kitchenHas, QStringLiteral("1"));
        waiter.bill.setActor(QStringLiteral("007"));
        waiter.bill.setTakeBackReason(QStringLiteral("上错菜"));
        waiter.bill.selectLine(1);
        waiter.bill.deleteSelected();
        // A line the kitchen never got changes nothing there.
        kitchen.add(kOthers, QStringLiteral("米饭"));
        bill.setQuantity(bill.lines().size() - 1, QStringLiteral("2"));
        QCOMPARE(Tickets(*kitchen.db), (QStringList{"厨房 宫保鸡丁×1", "吧台 可乐×1", "厨房 加菜 宫保鸡丁×2",
                                                    "厨房 退菜 宫保鸡丁×1", "吧台 退菜 可乐×1"}));
        const QList<PrintJob> jobs = JobStore(*kitchen.db).since(QDate::currentDate());
        QCOMPARE(jobs.at(0).source, kSourceWaiter);
        QCOMPARE(jobs.at(1).source, kSourceCounter);
        bill.followStored();
        QCOMPARE(bill.lines().at(0).kitchenHas, QStringLiteral("2"));
        // Deleting the dish takes back what the kitchen has.
        bill.selectLine(0);
        bill.deleteSelected();
        QCOMPARE(Tickets(*kitchen.db).last(), QStringLiteral("厨房 退菜 宫保鸡丁×2"));

        // Each 退菜 is in the action trail with who and why, and its ticket says so; 加菜 records nothing.
        QStringList trail;
        for (const TrailRow& row : ActionTrail(*kitchen.db).rows())
            trail.append(
                QStringList{row.action.staff, row.action.action, row.action.content, row.action.reason}.join(
                    QLatin1Char('|')));
        QCOMPARE(trail, (QStringList{"001|退菜|宫保鸡丁 3份 → 2份|顾客不要了",
                                     "007|退菜|可乐 1瓶 → 0瓶|上错菜", "001|退菜|宫保鸡丁 2份 → 0份|"}));
        QStringList reasons;
        for (const PrintJob& job : JobStore(*kitchen.db).since(QDate::currentDate()))
            if (job.change == QStringLiteral("退菜"))
                reasons.append(job.reason);
        QCOMPARE(QSet<QString>(reasons.cbegin(), reasons.cend()),
                 (QSet<QString>{"顾客不要了（工号 001）", "上错菜（工号 007）", "工号 001"}));
        QVERIFY(ActionTrail(*kitchen.db).verify().whole());
    }

    void linesNoPrinterTookGoOutOnceOneDoes() {
        Kitchen kitchen({KitchenPrinter(QStringLiteral("厨房"), {kDishes})});
        kitchen.add(kOthers, QStringLiteral("米饭"));
        kitchen.counter.bill.toggleKitchenMark(0);
        kitchen.sendMarked();
        const QString unsent = JobStore(*kitchen.db).since(QDate::currentDate()).first().id;
        QVERIFY_THROWS_EXCEPTION(StoreError, ReprintJob(*kitchen.db, unsent, QDateTime::currentDateTime()));
        PrinterStore(*kitchen.db).add(KitchenPrinter(QStringLiteral("面点间"), {kOthers}));
        QCOMPARE(ReprintJob(*kitchen.db, unsent, QDateTime::currentDateTime()).size(), 1);
        // The job that kept them counts as done and still shows what was ordered.
        QCOMPARE(Tickets(*kitchen.db), (QStringList{"米饭×1", "面点间 米饭×1"}));
        QCOMPARE(JobStore(*kitchen.db).job(unsent)->state, JobState::Printed);
        kitchen.counter.bill.followStored();
        QCOMPARE(kitchen.counter.bill.lines().at(0).kitchenHas, QStringLiteral("1"));
    }

    void aDishMayNameItsOwnPrinters() {
        Kitchen kitchen({KitchenPrinter(QStringLiteral("厨房"), {kDishes}),
                         KitchenPrinter(QStringLiteral("凉菜间"), {})});
        kitchen.db->exec("UPDATE \"菜单\" SET \"打印机\" = '凉菜间' WHERE \"名称\" = '鱼香肉丝'");
        kitchen.db->exec("UPDATE \"菜单\" SET \"打印机\" = '没有这台' WHERE \"名称\" = '麻婆豆腐'");
        kitchen.add(kDishes, QStringLiteral("宫保鸡丁"));
        kitchen.add(kDishes, QStringLiteral("鱼香肉丝"));
        kitchen.add(kDishes, QStringLiteral("麻婆豆腐"));
        kitchen.sendMarked();
        QCOMPARE(Tickets(*kitchen.db), (QStringList{"凉菜间 鱼香肉丝×1", "厨房 宫保鸡丁×1,麻婆豆腐×1"}));
        // Renamed in the settings, the printer keeps its dishes and what it has of the bill.
        Printer renamed = *PrinterStore(*kitchen.db).find(QStringLiteral("凉菜间"));
        renamed.name = QStringLiteral("冷菜间");
        PrinterStore(*kitchen.db).change(QStringLiteral("凉菜间"), renamed);
        QCOMPARE(ReadDishPrinters(*kitchen.db).value(DishKey(kDishes, QStringLiteral("鱼香肉丝"))),
                 QStringList{QStringLiteral("冷菜间")});
        kitchen.counter.bill.setQuantity(1, QStringLiteral("3"));
        QCOMPARE(Tickets(*kitchen.db).last(), QStringLiteral("冷菜间 加菜 鱼香肉丝×2"));
    }
};

QTEST_GUILESS_MAIN(TestKitchenMemory)
#include "test_kitchen_memory.moc"
