// The handover report on a 58 mm bill printer: what the spooler sends decodes to the shift's figures, each
// line within the paper's columns, and the drawer opens.

#include "FakePrinter.h"
#include "SpoolerHelpers.h"

#include "common/TestHome.h"
#include "print/EscPos.h"
#include "print/JobStore.h"
#include "print/PrintQueue.h"
#include "print/PrintSpooler.h"
#include "print/PrinterStore.h"
#include "stats/Shifts.h"
#include "store/Database.h"

#include <QTest>

class TestHandoverPrint : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void handoverReportPrintsOnTheBillPrinterAndOpensTheDrawer() {
        TestHome home;
        const auto db = home.createDatabase();
        FakePrinter counter;
        Printer printer = NetworkPrinter(QStringLiteral("前台"), counter);
        printer.paperMm = 58;
        printer.kitchen = false;
        printer.bills = true;
        printer.drawer = true;
        PrinterStore(*db).add(printer);

        const QDateTime start = QDateTime::currentDateTime().addSecs(-3600);
        const qint64 shift = StartShift(*db, QStringLiteral("001"), {}, 20000, start);
        Statement pay(
            *db, "INSERT INTO \"收款\" (\"序号\", \"单号\", \"方式\", \"金额\", \"找零\", \"时间\", "
                 "\"工号\", \"班次\", \"冲销\") VALUES ('1', 'b1', '现金', '100', '3.5', ?, '001', ?, '')");
        pay.bind(1, start.addSecs(60).toString(kShiftTimeFormat)).bind(2, QString::number(shift)).run();
        const QString note = QStringLiteral("给供应商结清上周的蔬菜和肉类货款");
        AddCashEntry(*db, shift, -5000, note, QStringLiteral("001"), start.addSecs(120));
        const ShiftReport report = EndShift(*db, shift, 24000, start.addSecs(180));

        const QDateTime now = QDateTime::currentDateTime();
        QList<ReportLine> lines;
        for (const ReportRow& row : ShiftReportRows(report))
            lines.append({row.label, row.value});
        QVERIFY(QueueReport(*db, QStringLiteral("交班报表"), lines, now).has_value());
        QCOMPARE(OpenCashDrawers(*db, now), 1);
        Database& shared = *db;
        PrintSpooler spooler([&shared] { return shared.connectAgain(); }, MakeRawTransport, FastOptions());
        spooler.start();
        QVERIFY(WaitUntil([&] {
            int pulses = 0;
            for (const PrintedPaper& paper : counter.papers())
                pulses += paper.drawerPulses;
            return counter.printCount() >= 1 && pulses >= 1;
        }));

        PrintedPaper printed;
        for (const PrintedPaper& paper : counter.papers())
            if (Text(paper).contains(QStringLiteral("交班报表")))
                printed = paper;
        const QString text = Text(printed);
        QCOMPARE(printed.cuts, 1);
        for (const QString& line : printed.lines)
            QVERIFY2(TextColumns(line) <= 32, qPrintable(line));
        // 200 float + 96.50 cash − 50 taken out = 246.50; 240 counted.
        for (const char* expected :
             {"应有现金", "246.50", "实点现金", "240.00", "差额", "-6.50", "现金收款", "96.50", "员工 001",
              "结账单数", "收款金额", "优惠金额", "退菜次数", "反结账次数"})
            QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
        const qsizetype noteLine = printed.lines.indexOf(QStringLiteral("取出 给供应商结清上周的蔬菜和肉"));
        QVERIFY2(noteLine >= 0, qPrintable(text));
        QCOMPARE(printed.lines.at(noteLine + 1), QStringLiteral("类货款"));
        QCOMPARE(printed.lines.at(noteLine + 2).trimmed(), QStringLiteral("-50.00"));
        QVERIFY(WaitUntil([&] {
            for (const PrintJob& job : JobStore(*db).since(now.date()))
                if (job.kind == JobKind::Report)
                    return job.state == JobState::Printed;
            return false;
        }));
    }
};

QTEST_MAIN(TestHandoverPrint)
#include "test_handover_print.moc"
