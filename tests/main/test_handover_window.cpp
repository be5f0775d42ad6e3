// The 交班 window's wiring: a shift started, cash taken out and the drawer counted through its boxes shows
// the expected cash and the miscount; a typed amount that is no amount stores nothing; only a 店长 closes
// the day, and a second close is refused with a message; A4打印 puts the shown report on a page, and says
// so only when the printer took it.
#include "common/MessageBoxes.h"
#include "common/TestHome.h"

#include "main/HandoverWindow.h"
#include "print/PdfWords.h"
#include "settings/SettingsStore.h"
#include "settings/StaffAccounts.h"
#include "stats/DayClose.h"
#include "stats/Shifts.h"
#include "store/Database.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString valueOf(const QList<ReportRow>& rows, const QString& label) {
    for (const ReportRow& row : rows)
        if (row.label == label)
            return row.value;
    return QStringLiteral("(missing)");
}

void type(HandoverWindow& window, const char* box, const QString& text) {
    window.findChild<QLineEdit*>(QString::fromLatin1(box))->setText(text);
}

void click(HandoverWindow& window, const char* button) {
    window.findChild<QPushButton*>(QString::fromLatin1(button))->click();
}

} // namespace

class TestHandoverWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aShiftRunsThroughTheWindow() {
        TestHome home;
        const auto db = home.createDatabase();
        SettingsStore settings(*db);
        const StaffAccount owner{QStringLiteral("001"), QStringLiteral("店长"), kRoleOwner, {}, true};
        QDateTime now = QDateTime::fromString(QStringLiteral("2024-03-01 17:00:00"), kShiftTimeFormat);
        HandoverWindow window(*db, settings, owner);
        window.setClock([&now] { return now; });

        {
            MessageBoxAnswerer answerer;
            type(window, "floatEdit", QStringLiteral("5元"));
            click(window, "startShiftButton");
            QCOMPARE(answerer.shown().size(), 1);
        }
        QVERIFY(!OpenShiftOf(*db, owner.id));
        type(window, "floatEdit", QStringLiteral("300"));
        click(window, "startShiftButton");
        QVERIFY(OpenShiftOf(*db, owner.id));
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("startShiftButton"))->isEnabled());

        type(window, "cashAmountEdit", QStringLiteral("20.5"));
        type(window, "cashNoteEdit", QStringLiteral("买菜"));
        click(window, "cashOutButton");
        QCOMPARE(valueOf(window.shownRows(), QStringLiteral("取出 买菜")), QStringLiteral("-20.50"));

        now = now.addSecs(3600);
        type(window, "countedEdit", QStringLiteral("279"));
        click(window, "endShiftButton");
        QCOMPARE(valueOf(window.shownRows(), QStringLiteral("应有现金")), QStringLiteral("279.50"));
        QCOMPARE(valueOf(window.shownRows(), QStringLiteral("差额")), QStringLiteral("-0.50"));
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("startShiftButton"))->isEnabled());

        now = QDateTime::fromString(QStringLiteral("2024-03-02 01:00:00"), kShiftTimeFormat);
        {
            MessageBoxAnswerer answerer({QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok});
            window.closeDay();
            QVERIFY(DayClosed(*db, QDate(2024, 3, 1)));
            QCOMPARE(valueOf(window.shownRows(), QStringLiteral("日结编号")), QStringLiteral("1"));
            window.closeDay();
            QCOMPARE(answerer.shown().size(), 3);
            QVERIFY(answerer.shown().last().text.contains(QStringLiteral("不能再次日结")));
        }
    }

    void theReportPrintsOnAPage() {
        TestHome home;
        const auto db = home.createDatabase();
        SettingsStore settings(*db);
        const StaffAccount cashier{QStringLiteral("002"), QStringLiteral("收银"), kRoleCashier, {}, true};
        HandoverWindow window(*db, settings, cashier);
        type(window, "floatEdit", QStringLiteral("300"));
        click(window, "startShiftButton");
        Statement pay(
            *db, "INSERT INTO \"收款\" (\"序号\", \"单号\", \"方式\", \"金额\", \"找零\", \"时间\", "
                 "\"工号\", \"班次\", \"冲销\") VALUES ('1', 'b1', '微信', '45.5', '0', '', '002', ?, '')");
        pay.bind(1, QString::number(OpenShiftOf(*db, cashier.id)->id)).run();
        type(window, "countedEdit", QStringLiteral("280"));
        click(window, "endShiftButton");

        {
            MessageBoxAnswerer answerer;
            window.setPrinterSource([](QString& whyNot) {
                whyNot = QStringLiteral("未找到打印机");
                return std::unique_ptr<QPrinter>();
            });
            click(window, "printPageButton");
            QCOMPARE(answerer.texts(),
                     QStringList{QStringLiteral("未能打印：\n默认打印机未找到，没有打印。")});
        }

        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("交班.pdf"));
        window.setPrinterSource([&pdf](QString&) {
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            return printer;
        });
        MessageBoxAnswerer answerer;
        click(window, "printPageButton");
        QCOMPARE(answerer.texts(), QStringList{QStringLiteral("交班报表已送往默认打印机。")});
        const PdfContent content = ReadPdfWords(pdf);
        for (const char* word : {"交班报表", "应有现金", "300.00", "实点现金", "280.00", "差额", "-20.00",
                                 "员工", "结账单数", "收款金额", "45.50"})
            QVERIFY2(!content.find(QString::fromUtf8(word)).isEmpty(), word);
    }

    void onlyAnOwnerMayCloseTheDay() {
        TestHome home;
        const auto db = home.createDatabase();
        SettingsStore settings(*db);
        const StaffAccount cashier{QStringLiteral("002"), QStringLiteral("收银"), kRoleCashier, {}, true};
        HandoverWindow window(*db, settings, cashier);
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("closeDayButton"))->isEnabled());
    }
};

QTEST_MAIN(TestHandoverWindow)
#include "test_handover_window.moc"
