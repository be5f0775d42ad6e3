// Shifts and the day's close: the drawer's expected cash and the miscount, which payments belong to a
// shift, the business day's boundary, and a Z report that is numbered, taken once and kept as it was.
#include "common/TestHome.h"

#include "stats/DayClose.h"
#include "stats/Shifts.h"
#include "store/ActionTrail.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QtTest>
#include <functional>

namespace {

const QString kCashier = QStringLiteral("002");
const QString kOther = QStringLiteral("003");
const QString kOwner = QStringLiteral("001");

QDateTime at(const char* time) {
    return QDateTime::fromString(QString::fromLatin1(time), kShiftTimeFormat);
}

void addCashier(Database& db, const QString& id) {
    Statement insert(db, "INSERT INTO \"员工\" (\"工号\", \"姓名\", \"角色\", \"密码散列\", \"启用\") "
                         "VALUES (?, ?, '收银员', '', '1')");
    insert.bind(1, id).bind(2, QStringLiteral("收银") + id).run();
}

void addBill(Database& db, const QString& id, const char* receivable, const char* received,
             const char* guests = "") {
    Statement insert(db, "INSERT INTO \"桌台\" (\"id\", \"桌号\", \"应收\", \"实收\", \"挂账金额\", "
                         "\"结账状态\", \"人数\") VALUES (?, '大厅001', ?, ?, '', '1', ?)");
    insert.bind(1, id).bind(2, receivable).bind(3, received).bind(4, guests).run();
}

struct Paid {
    const char* bill;
    const char* method;
    const char* amount;
    const char* change;
    const char* time;
    QString staff;
    QString shift = {};
    QString reverses = {};
};

void pay(Database& db, const Paid& paid) {
    Statement last(db, "SELECT count(*) FROM \"收款\"");
    const qint64 serial = (last.next() ? last.integer(0) : 0) + 1;
    Statement insert(db, "INSERT INTO \"收款\" (\"序号\", \"单号\", \"方式\", \"金额\", \"找零\", \"时间\", "
                         "\"工号\", \"班次\", \"冲销\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, QString::number(serial)).bind(2, paid.bill).bind(3, paid.method).bind(4, paid.amount);
    insert.bind(5, paid.change).bind(6, paid.time).bind(7, paid.staff).bind(8, paid.shift);
    insert.bind(9, paid.reverses).run();
}

QString valueOf(const QList<ReportRow>& rows, const QString& label) {
    for (const ReportRow& row : rows)
        if (row.label == label)
            return row.value;
    return QStringLiteral("(missing)");
}

bool refused(const std::function<void()>& step) {
    try {
        step();
    } catch (const StoreError&) {
        return true;
    }
    return false;
}

} // namespace

class TestShifts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shiftCountsItsCashAgainstTheDrawer() {
        TestHome home;
        const auto db = home.createDatabase();
        addCashier(*db, kCashier);
        addCashier(*db, kOther);
        const qint64 id =
            StartShift(*db, kCashier, QStringLiteral("收银台1"), 50000, at("2024-03-01 10:00:00"));
        QCOMPARE(OpenShiftStamp(*db, kCashier), QString::number(id));
        QVERIFY(OpenShiftStamp(*db, kOther).isEmpty());
        QVERIFY(refused([&] { StartShift(*db, kCashier, {}, 0, at("2024-03-01 10:05:00")); }));

        addBill(*db, QStringLiteral("20240301110000"), "95", "88", "4");
        addBill(*db, QStringLiteral("20240301120000"), "66", "66", "6");
        addBill(*db, QStringLiteral("20240301130000"), "30", "30", "3");
        // Cash 100 for 88: 12 back. Non-cash, stamped with the shift though another hand took it.
        pay(*db, {"20240301110000", "现金", "100", "12", "2024-03-01 11:30:00", kCashier, {}, {}});
        pay(*db,
            {"20240301120000", "微信", "66", "", "2024-03-01 12:30:00", kOther, QString::number(id), {}});
        // A cash payment reversed when the bill was reopened: the reversal takes it back.
        pay(*db, {"20240301130000", "现金", "30", "0", "2024-03-01 13:30:00", kCashier, {}, {}});
        pay(*db,
            {"20240301130000", "现金", "30", "0", "2024-03-01 13:40:00", kCashier, {}, QStringLiteral("3")});
        // Another cashier's unstamped payment, and ours before the shift began: neither is this drawer's.
        pay(*db, {"20240301120000", "现金", "20", "0", "2024-03-01 12:40:00", kOther, {}, {}});
        pay(*db, {"20240301110000", "现金", "7", "0", "2024-03-01 09:59:59", kCashier, {}, {}});
        AddCashEntry(*db, id, -5000, QStringLiteral("买菜"), kCashier, at("2024-03-01 14:00:00"));
        QVERIFY(refused([&] { AddCashEntry(*db, id, 0, {}, kCashier, at("2024-03-01 14:01:00")); }));
        ActionTrail(*db).append({kOther,
                                 trail_action::kReturnDish,
                                 QStringLiteral("大厅001"),
                                 QStringLiteral("20240301110000"),
                                 {},
                                 {},
                                 {},
                                 QStringLiteral("2024-03-01 11:10:00")});

        const ShiftReport open = ReportShift(*db, id);
        QCOMPARE(open.expectedFen, qint64{50000 + 8800 + 3000 - 3000 - 5000});
        QVERIFY(!open.differenceFen);

        const ShiftReport ended = EndShift(*db, id, 52000, at("2024-03-01 18:00:00"));
        QCOMPARE(ended.expectedFen, qint64{53800});
        QCOMPARE(ended.differenceFen, std::optional<qint64>(-1800));
        QCOMPARE(ended.methods,
                 (QList<MethodTotal>{{QStringLiteral("现金"), 8800}, {QStringLiteral("微信"), 6600}}));
        QCOMPARE(ended.takenFen, qint64{15400});
        QCOMPARE(ended.bills, 3);
        QCOMPARE(ended.discountFen, qint64{700});
        QCOMPARE(ended.guests, 4 + 6 + 3);
        // Per 工号: the bills they took money for, its net, the discounts of those bills, the trail, and
        // the guests of those bills.
        QCOMPARE(ended.staff,
                 (QList<StaffFigures>{{kCashier, QStringLiteral("收银002"), 2, 8800, 700, 0, 0, 4 + 3},
                                      {kOther, QStringLiteral("收银003"), 1, 6600, 0, 1, 0, 6}}));
        const QList<ReportRow> rows = ShiftReportRows(ended);
        QCOMPARE(valueOf(rows, QStringLiteral("人数")), QStringLiteral("13"));
        const qsizetype other = rows.indexOf(ReportRow{QStringLiteral("员工 003 收银003"), {}});
        QVERIFY(other > 0);
        QCOMPARE(rows.mid(other + 1, 6),
                 (QList<ReportRow>{{QStringLiteral("结账单数"), QStringLiteral("1")},
                                   {QStringLiteral("人数"), QStringLiteral("6")},
                                   {QStringLiteral("收款金额"), QStringLiteral("66.00")},
                                   {QStringLiteral("优惠金额"), QStringLiteral("0.00")},
                                   {QStringLiteral("退菜次数"), QStringLiteral("1")},
                                   {QStringLiteral("反结账次数"), QStringLiteral("0")}}));
        QCOMPARE(valueOf(rows, QStringLiteral("应有现金")), QStringLiteral("538.00"));
        QCOMPARE(valueOf(rows, QStringLiteral("差额")), QStringLiteral("-18.00"));
        QCOMPARE(valueOf(rows, QStringLiteral("取出 买菜")), QStringLiteral("-50.00"));

        // Ended: stored as counted, no second end, no more cash entries, and a new shift may start.
        QCOMPARE(ReportShift(*db, id).differenceFen, std::optional<qint64>(-1800));
        QVERIFY(refused([&] { EndShift(*db, id, 0, at("2024-03-01 18:01:00")); }));
        QVERIFY(refused([&] { AddCashEntry(*db, id, 100, {}, kCashier, at("2024-03-01 18:01:00")); }));
        QVERIFY(OpenShiftStamp(*db, kCashier).isEmpty());
        QCOMPARE(StartShift(*db, kCashier, {}, 0, at("2024-03-01 18:02:00")), id + 1);
    }

    // A bill paid in parts counts its guests once, for the shift and for each 工号 who took a part; a bill
    // whose guests were not given adds none.
    void guestsCountEachSettledBillOnce() {
        TestHome home;
        const auto db = home.createDatabase();
        addCashier(*db, kCashier);
        addCashier(*db, kOther);
        const qint64 id = StartShift(*db, kCashier, {}, 0, at("2024-03-01 10:00:00"));
        addBill(*db, QStringLiteral("20240301110000"), "10", "10", "5");
        addBill(*db, QStringLiteral("20240301120000"), "8", "8");
        pay(*db, {"20240301110000", "现金", "6", "0", "2024-03-01 11:30:00", kCashier, {}, {}});
        pay(*db, {"20240301110000", "现金", "2", "0", "2024-03-01 11:31:00", kCashier, {}, {}});
        pay(*db, {"20240301110000", "微信", "2", "", "2024-03-01 11:32:00", kOther, QString::number(id), {}});
        pay(*db, {"20240301120000", "现金", "8", "0", "2024-03-01 12:30:00", kCashier, {}, {}});
        const ShiftReport report = ReportShift(*db, id);
        QCOMPARE(report.guests, 5);
        QCOMPARE(report.staff.at(0).guests, 5);
        QCOMPARE(report.staff.at(1).guests, 5);
        QCOMPARE(
            TakingsBetween(*db, QStringLiteral("2024-03-01 00:00:00"), QStringLiteral("2024-03-02 00:00:00"))
                .guests,
            5);
    }

    void businessDayEndsAtTheSetTime() {
        const QTime four(4, 0);
        QCOMPARE(BusinessDayOf(at("2024-03-02 01:30:00"), four), QDate(2024, 3, 1));
        QCOMPARE(BusinessDayOf(at("2024-03-02 04:00:00"), four), QDate(2024, 3, 2));
        QCOMPARE(BusinessDayOfBill(QStringLiteral("20240302013000"), four), QDate(2024, 3, 1));
        QCOMPARE(BusinessDayOfBill(QStringLiteral("20240302013000"), QTime(0, 0)), QDate(2024, 3, 2));
        QVERIFY(!BusinessDayOfBill(QStringLiteral("x"), four).isValid());
    }

    void dayCloseIsNumberedTakenOnceAndNotesLaterReopenings() {
        TestHome home;
        const auto db = home.createDatabase();
        addCashier(*db, kCashier);
        QCOMPARE(ReadBusinessDayEnd(*db), QTime(4, 0));
        const qint64 shift = StartShift(*db, kCashier, {}, 10000, at("2024-03-01 17:00:00"));
        addBill(*db, QStringLiteral("20240301190000"), "100", "100", "5");
        addBill(*db, QStringLiteral("20240302013000"), "40", "40", "2");
        addBill(*db, QStringLiteral("20240302043000"), "9", "9", "1");
        pay(*db, {"20240301190000", "支付宝", "100", "", "2024-03-01 19:10:00", kCashier, {}, {}});
        // After midnight, before 04:00: still the evening of the 1st.
        pay(*db, {"20240302013000", "现金", "50", "10", "2024-03-02 01:35:00", kCashier, {}, {}});
        pay(*db, {"20240302043000", "现金", "9", "0", "2024-03-02 04:35:00", kCashier, {}, {}});

        const QDate first(2024, 3, 1);
        QVERIFY(
            refused([&] { CloseDay(*db, first, kOwner, at("2024-03-02 02:00:00")); })); // shift still open
        EndShift(*db, shift, 14000, at("2024-03-02 02:00:00"));
        QVERIFY(refused([&] { CloseDay(*db, first, kCashier, at("2024-03-02 02:05:00")); }));
        QVERIFY(refused([&] { CloseDay(*db, QDate(2024, 3, 2), kOwner, at("2024-03-02 02:05:00")); }));
        QVERIFY(!DayClosed(*db, first));

        const DayClose close = CloseDay(*db, first, kOwner, at("2024-03-02 02:05:00"));
        QCOMPARE(close.number, qint64{1});
        QCOMPARE(valueOf(close.rows, QStringLiteral("支付宝")), QStringLiteral("100.00"));
        QCOMPARE(valueOf(close.rows, QStringLiteral("现金")), QStringLiteral("40.00"));
        QCOMPARE(valueOf(close.rows, QStringLiteral("合计")), QStringLiteral("140.00"));
        QCOMPARE(valueOf(close.rows, QStringLiteral("人数")), QStringLiteral("7"));
        QCOMPARE(valueOf(close.rows, QStringLiteral("差额")), QStringLiteral("0.00"));
        QVERIFY(DayClosed(*db, first));
        QVERIFY(BillDayClosed(*db, QStringLiteral("20240302013000")));
        QVERIFY(!BillDayClosed(*db, QStringLiteral("20240302043000")));
        QVERIFY(refused([&] { CloseDay(*db, first, kOwner, at("2024-03-02 03:00:00")); }));

        const DayClose next = CloseDay(*db, QDate(2024, 3, 2), kOwner, at("2024-03-03 03:00:00"));
        QCOMPARE(next.number, qint64{2});
        QCOMPARE(valueOf(next.rows, QStringLiteral("合计")), QStringLiteral("9.00"));

        // A reopening of a closed day's bill shows on the reprint; the stored report stays as it was.
        ActionTrail(*db).append({kOwner,
                                 trail_action::kReopenBill,
                                 QStringLiteral("大厅001"),
                                 QStringLiteral("20240302013000"),
                                 {},
                                 QStringLiteral("其他"),
                                 kOwner,
                                 QStringLiteral("2024-03-02 10:00:00")});
        const DayClose stored = *DayCloseOf(*db, first);
        QCOMPARE(stored.rows, close.rows);
        const QList<ReportRow> reprint = DayCloseRows(stored, ReopeningsAfterClose(*db, stored));
        QCOMPARE(reprint.size(), close.rows.size() + 2);
        QCOMPARE(reprint.at(close.rows.size()).label, QStringLiteral("日结后反结账 1 次"));
        QVERIFY(reprint.last().label.endsWith(QStringLiteral("20240302013000")));

        // A day closed before it ends: what is paid after the close goes into the next day's close.
        CloseDay(*db, QDate(2024, 3, 3), kOwner, at("2024-03-03 23:00:00"));
        pay(*db, {"20240303233000", "现金", "20", "0", "2024-03-03 23:30:00", kCashier, {}, {}});
        const DayClose late = CloseDay(*db, QDate(2024, 3, 4), kOwner, at("2024-03-05 01:00:00"));
        QCOMPARE(valueOf(late.rows, QStringLiteral("合计")), QStringLiteral("20.00"));
        QCOMPARE(valueOf(late.rows, QStringLiteral("时段")),
                 QStringLiteral("2024-03-03 23:00 至 2024-03-05 01:00"));

        if (db->isServer()) {
            QVERIFY(refused([&] { db->exec("UPDATE \"日结\" SET \"内容\" = ''"); }));
            QVERIFY(refused([&] { db->exec("DELETE FROM \"日结\""); }));
            QCOMPARE(DayCloseOf(*db, first)->rows, close.rows);
        }
    }
};

QTEST_GUILESS_MAIN(TestShifts)
#include "TestShifts.moc"
