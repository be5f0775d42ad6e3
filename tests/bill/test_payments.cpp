#include "common/TestHome.h"

#include "bill/Payments.h"
#include "desk/OrderDesk.h"
#include "store/Database.h"
#include "store/Fen.h"
#include "store/Schema.h"
#include "store/Settings.h"
#include "store/StoreError.h"

#include <QTest>

namespace {

const QDateTime kNow(QDate(2024, 12, 12), QTime(13, 7, 25));
const PaymentMethod kCash{kCashMethod, true, true};
const PaymentMethod kWechat{QStringLiteral("微信"), false, true};
const PaymentMethod kCredit{kCreditMethod, false, true};

// A table's bill on the counter, with lines at the prices given.
struct Counter {
    TestHome home;
    std::unique_ptr<Database> db = home.createDatabase();
    OrderDesk desk{*db};
    BillDocument& bill = desk.bill;

    explicit Counter(const QStringList& prices, int table = 0) {
        desk.openTable(table, kNow);
        desk.bill.setActor(QStringLiteral("001"));
        desk.menu.chooseCategory(QStringLiteral("菜品"));
        bill.runAsOneStep([&] {
            for (const QString& price : prices)
                bill.setPrice(bill.addItem(desk.menu.records().at(0), kNow), price);
        });
    }

    // 收款 of the bill: "方式 金额 找零 冲销 工号" per row, in order.
    QStringList rows() {
        QStringList found;
        for (const StoredPayment& row : PaymentBook(*db).ofBill(bill.billId()))
            found.append(QStringList{row.payment.method, FenText(row.payment.tendered),
                                     FenText(row.payment.change), row.reverses.isEmpty() ? "-" : "冲销",
                                     row.staff}
                             .join(QLatin1Char(' ')));
        return found;
    }

    QString field(const char* column) {
        const QByteArray sql = QByteArray("SELECT \"") + column + "\" FROM \"桌台\" WHERE \"id\" = ?";
        Statement query(*db, sql.constData());
        query.bind(1, bill.billId());
        return query.next() ? query.text(0) : QStringLiteral("<no row>");
    }

    QString slot(int index) { return ReadSlots(*db, index + 1).at(index); }
};

PaymentTally paid(qint64 due, const QList<std::pair<PaymentMethod, qint64>>& payments) {
    PaymentTally tally(due);
    for (const auto& [method, amount] : payments)
        if (const QString refused = tally.add(method, amount); !refused.isEmpty())
            qFatal("payment refused");
    return tally;
}

} // namespace

class PaymentsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theTallyCoversTheDueAndGivesChangeFromCashOnly() {
        PaymentTally tally(12800);
        QCOMPARE(tally.add(kWechat, 5000), QString());
        QVERIFY(!tally.covered());
        QCOMPARE(tally.stillDue(), 7800);
        // Card, phone and account payments never go beyond what is still due.
        QCOMPARE(tally.add(kWechat, 7900), kNoChangeForNonCash);
        QCOMPARE(tally.add(kCredit, 7801), kNoChangeForNonCash);
        QCOMPARE(tally.add(kCash, 0), QStringLiteral("金额必须大于 0"));
        QCOMPARE(tally.add(kCash, 10000), QString());
        QVERIFY(tally.covered());
        QCOMPARE(tally.change(), 2200);
        QCOMPARE(tally.received(), 12800);
        QCOMPARE(tally.payments(), (QList<Payment>{{QStringLiteral("微信"), 5000, 0, false},
                                                   {kCashMethod, 10000, 2200, true}}));
        // Once covered, a non-cash payment is refused; 挂账 goes to the account, not to 实收.
        QCOMPARE(tally.add(kWechat, 1), kNoChangeForNonCash);
        PaymentTally onAccount(12800);
        QCOMPARE(onAccount.add(kCredit, 2800), QString());
        QCOMPARE(onAccount.add(kCash, 10000), QString());
        QCOMPARE(onAccount.received(), 10000);
        QCOMPARE(onAccount.credit(), 2800);
        // Change is given from the last cash payments first, never more than each was.
        PaymentTally twoNotes(3000);
        twoNotes.add(kCash, 2000);
        twoNotes.add(kCash, 1000);
        twoNotes.add(kCash, 500);
        QCOMPARE(twoNotes.payments().at(2).change, 500);
        QCOMPARE(twoNotes.payments().at(1).change, 0);
    }

    void aCheckoutStoresItsPaymentsInItsOwnStep() {
        Counter counter({QStringLiteral("128")});
        QCOMPARE(counter.bill.amountDue(), 12800);
        counter.bill.checkOut(paid(12800, {{kWechat, 5000}, {kCash, 10000}}));
        QCOMPARE(counter.bill.save(), BillDocument::SaveResult::Saved);
        QCOMPARE(counter.field("实收"), QStringLiteral("128"));
        QCOMPARE(counter.field("退桌状态"), QStringLiteral("yes"));
        QCOMPARE(counter.slot(0), QString());
        QCOMPARE(counter.rows(),
                 (QStringList{QStringLiteral("微信 50 0 - 001"), QStringLiteral("现金 100 22 - 001")}));
        const QList<StoredPayment> stored = PaymentBook(*counter.db).ofBill(counter.bill.billId());
        QVERIFY(stored.at(0).id != stored.at(1).id);
        QCOMPARE(stored.at(0).shift, QString());
    }

    void tenAndTwentyFenArePaidWithThirty() {
        Counter counter({QStringLiteral("0.1"), QStringLiteral("0.2")});
        QCOMPARE(counter.bill.amountDue(), 30);
        PaymentTally tally(counter.bill.amountDue());
        QCOMPARE(tally.add(kWechat, *ParseFen(QStringLiteral("0.3"))), QString());
        QVERIFY(tally.covered());
        QCOMPARE(tally.change(), 0);
        counter.bill.checkOut(tally);
        counter.bill.save();
        QCOMPARE(counter.field("实收"), QStringLiteral("0.3"));
        QCOMPARE(counter.rows(), QStringList{QStringLiteral("微信 0.3 0 - 001")});
    }

    // A discount typed at the counter is what the payments cover; 挂账 goes to the bill's account.
    void theDiscountedAmountIsDueAndCreditGoesOnAccount() {
        Counter counter({QStringLiteral("100")});
        counter.bill.applyDiscount(QStringLiteral("0.8"));
        QCOMPARE(counter.bill.amountDue(), 8000);
        counter.bill.checkOut(paid(8000, {{kCredit, 3000}, {kCash, 5000}}));
        counter.bill.save();
        QCOMPARE(counter.field("实收"), QStringLiteral("50"));
        QCOMPARE(counter.field("挂账金额"), QStringLiteral("30"));
    }

    // A bill with less than nothing to pay is checked out without a payment and keeps its amounts.
    void nothingToCollectTakesNoPayment() {
        Counter counter({QStringLiteral("-5")});
        QCOMPARE(counter.bill.amountDue(), -500);
        counter.bill.checkOut(PaymentTally(0));
        QCOMPARE(counter.bill.save(), BillDocument::SaveResult::Saved);
        QCOMPARE(counter.field("退桌状态"), QStringLiteral("yes"));
        QCOMPARE(counter.field("实收"), QString());
        QCOMPARE(counter.rows(), QStringList());
    }

    // A checkout that is not stored stores no payment: a phone's dish the cashier has not seen, or an
    // amount due that changed since the payments were taken.
    void aCheckoutNotStoredLeavesNoPayment() {
        Counter counter({QStringLiteral("28")}, 2);
        const PaymentTally tally = paid(2800, {{kCash, 5000}});
        {
            auto phones = TestHome::openAsPhonePages(*counter.db);
            OrderDesk phone(*phones);
            phone.openTable(2, kNow);
            phone.menu.chooseCategory(QStringLiteral("菜品"));
            phone.bill.addItem(phone.menu.records().at(0), kNow);
        }
        counter.bill.checkOut(tally);
        QCOMPARE(counter.bill.save(), BillDocument::SaveResult::ChangedElsewhere);
        QCOMPARE(counter.rows(), QStringList());
        // Seen now, but the payments were for 28, not 56: refused, and the table stays open.
        counter.bill.acknowledgeChanges();
        QVERIFY_THROWS_EXCEPTION(BillChangedElsewhere, counter.bill.save());
        QCOMPARE(counter.rows(), QStringList());
        QCOMPARE(counter.slot(2), counter.bill.billId());
        QCOMPARE(counter.field("退桌状态"), QString());
        counter.bill.cancelCheckOut();
        counter.bill.checkOut(paid(counter.bill.amountDue(), {{kCash, 6000}}));
        counter.bill.save();
        QCOMPARE(counter.rows(), QStringList{QStringLiteral("现金 60 4 - 001")});
    }

    // 反结账: the changed bill is settled anew, its earlier payments reversed, none deleted.
    void aReopenedBillIsReversedAndSettledAgain() {
        Counter counter({QStringLiteral("128")});
        counter.bill.checkOut(paid(12800, {{kWechat, 5000}, {kCash, 10000}}));
        counter.bill.save();
        const QString id = counter.bill.billId();

        counter.bill.openClosedBill(id);
        QVERIFY(!counter.bill.needsSettling());
        QCOMPARE(counter.bill.standingPayments().size(), 2);
        counter.bill.setPrice(0, QStringLiteral("100"));
        QVERIFY(counter.bill.needsSettling());
        QCOMPARE(counter.bill.amountDue(), 10000);
        counter.bill.setActor(QStringLiteral("002"));
        counter.bill.checkOut(paid(10000, {{kCash, 10000}}));
        counter.bill.save();
        QCOMPARE(counter.rows(),
                 (QStringList{QStringLiteral("微信 50 0 - 001"), QStringLiteral("现金 100 22 - 001"),
                              QStringLiteral("微信 -50 0 冲销 002"), QStringLiteral("现金 -100 -22 冲销 002"),
                              QStringLiteral("现金 100 0 - 002")}));
        QCOMPARE(counter.field("实收"), QStringLiteral("100"));
        QCOMPARE(counter.field("退桌状态"), QStringLiteral("yes"));
        QCOMPARE(PaymentBook(*counter.db).standingOf(id).size(), 1);
        // The reversal names what it undoes.
        const QList<StoredPayment> stored = PaymentBook(*counter.db).ofBill(id);
        QCOMPARE(stored.at(2).reverses, stored.at(0).id);

        // Changed to nothing to pay: its payment is reversed and 实收 says 0 as well, not what was paid.
        counter.bill.openClosedBill(id);
        counter.bill.selectLine(0);
        counter.bill.deleteSelected();
        QCOMPARE(counter.bill.amountDue(), 0);
        counter.bill.checkOut(PaymentTally(0));
        counter.bill.save();
        QCOMPARE(counter.rows().last(), QStringLiteral("现金 -100 0 冲销 002"));
        QVERIFY(PaymentBook(*counter.db).standingOf(id).isEmpty());
        QCOMPARE(counter.field("实收"), QStringLiteral("0"));
    }

    // 反结账 of a bill paid at a discount keeps its rate: a dish added is paid at the same rate, rounded as
    // the 折扣 box rounds, and what was on account stays there.
    void aReopenedDiscountedBillKeepsItsRate() {
        Counter counter({QStringLiteral("100")});
        counter.bill.applyDiscount(QStringLiteral("0.9"));
        counter.bill.checkOut(paid(9000, {{kCredit, 3000}, {kCash, 6000}}));
        counter.bill.save();

        counter.bill.openClosedBill(counter.bill.billId());
        QCOMPARE(counter.bill.discount(), QStringLiteral("0.9"));
        // Only opened and closed, it is not settled again.
        counter.bill.followStored();
        QVERIFY(!counter.bill.needsSettling());
        counter.bill.setPrice(counter.bill.addItem(counter.desk.menu.records().at(0), kNow),
                              QStringLiteral("55"));
        // 155 × 0.9 = 139.5, whole: 140, of which 30 stays on account.
        QCOMPARE(counter.bill.amountDue(), 14000);
        QCOMPARE(counter.bill.header().received, QStringLiteral("110"));
        counter.bill.checkOut(paid(14000, {{kCredit, 3000}, {kCash, 11000}}));
        counter.bill.save();
        QCOMPARE(counter.field("实收"), QStringLiteral("110"));
        QCOMPARE(counter.field("挂账金额"), QStringLiteral("30"));

        // A rate that no short factor gives back is kept to four decimals.
        counter.desk.openTable(1, kNow);
        counter.bill.setPrice(counter.bill.addItem(counter.desk.menu.records().at(0), kNow),
                              QStringLiteral("97"));
        counter.bill.setReceived(QStringLiteral("80.5"));
        counter.bill.checkOut(paid(8050, {{kCash, 8050}}));
        counter.bill.save();
        counter.bill.openClosedBill(counter.bill.billId());
        QCOMPARE(counter.bill.discount(), QStringLiteral("0.8299"));
    }

    // The 店长 renames, adds, reorders and disables methods; 现金 stays the cash method.
    void theMethodsAreEditedButCashStays() {
        TestHome home;
        const std::unique_ptr<Database> db = home.createDatabase();
        PaymentBook book(*db);
        const auto names = [&](bool enabledOnly) {
            QStringList found;
            for (const PaymentMethod& method : book.methods(enabledOnly))
                found.append(method.name);
            return found;
        };
        QCOMPARE(names(false), (QStringList{"现金", "微信", "支付宝", "银行卡", "会员卡/储值", "挂账"}));
        book.renameMethod(QStringLiteral("会员卡/储值"), QStringLiteral(" 储值卡 "));
        book.addMethod(QStringLiteral("美团"));
        book.moveMethod(QStringLiteral("美团"), -1);
        book.moveMethod(QStringLiteral("现金"), -1);
        book.setMethodEnabled(QStringLiteral("银行卡"), false);
        QCOMPARE(names(false), (QStringList{"现金", "微信", "支付宝", "银行卡", "储值卡", "美团", "挂账"}));
        QCOMPARE(names(true), (QStringList{"现金", "微信", "支付宝", "储值卡", "美团", "挂账"}));
        QVERIFY_THROWS_EXCEPTION(StoreError, book.setMethodEnabled(QStringLiteral("现金"), false));
        QVERIFY_THROWS_EXCEPTION(StoreError,
                                 book.renameMethod(QStringLiteral("现金"), QStringLiteral("钞票")));
        QVERIFY_THROWS_EXCEPTION(StoreError,
                                 book.renameMethod(QStringLiteral("挂账"), QStringLiteral("赊账")));
        QVERIFY_THROWS_EXCEPTION(StoreError,
                                 book.renameMethod(QStringLiteral("微信"), QStringLiteral("美团")));
        QVERIFY_THROWS_EXCEPTION(StoreError, book.addMethod(QStringLiteral("  ")));
        QVERIFY(book.methods().first().cash);
        QCOMPARE(book.methods().first().name, kCashMethod);
    }
};

QTEST_GUILESS_MAIN(PaymentsTest)
#include "test_payments.moc"
