// A dish and a drink ordered as one order for a free table through the pages in headless Chromium at a
// phone's size, with a double tap over a slow network, then the bill as the counter reads it. Skipped without
// Chromium or without tests/e2e/node_modules (run.sh installs it).

#include "LanserveProcess.h"

#include "bill/BillStore.h"
#include "common/TestHome.h"
#include "desk/OrderDesk.h"
#include "desk/TableMap.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Ids.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestLanserveE2e : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void ordersFromTwoCategoriesAsOneOrderWithADoubleTap();
};

void TestLanserveE2e::ordersFromTwoCategoriesAsOneOrderWithADoubleTap() {
    const QString e2e = QStringLiteral(CJ_E2E_DIR);
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/chromium")))
        QSKIP("/usr/bin/chromium is not installed");
    if (!QFileInfo::exists(e2e + QStringLiteral("/node_modules/playwright-core")))
        QSKIP("playwright-core is not installed in tests/e2e (run tests/e2e/run.sh)");

    TestHome home;
    const QString folder = home.path(QStringLiteral("data"));
    auto db = PrepareDataFolder(folder);
    LanserveProcess server(folder);
    QVERIFY2(server.start(), qPrintable(server.error()));

    QProcess node;
    node.setWorkingDirectory(e2e);
    const QString shot = qEnvironmentVariableIsSet("CJ_E2E_SHOT") ? qEnvironmentVariable("CJ_E2E_SHOT")
                                                                  : home.path(QStringLiteral("phone.png"));
    node.start(QStringLiteral("node"), {e2e + QStringLiteral("/order.mjs"), server.baseUrl(), shot});
    QVERIFY(node.waitForStarted(10000));
    if (!node.waitForFinished(120000))
        node.kill();
    QVERIFY2(node.exitCode() == 0, node.readAllStandardError().constData());
    const QByteArray output = node.readAllStandardOutput().trimmed();
    const QJsonObject result = QJsonDocument::fromJson(output.split('\n').last()).object();
    QVERIFY2(!result.isEmpty(), output.constData());
    QVERIFY(QFileInfo(shot).size() > 0);

    OrderDesk desk(*db);
    const int table = static_cast<int>(desk.settings.tableList().indexOf(result.value("table").toString()));
    QVERIFY(table >= 0);
    desk.tables.refreshSlots();
    QVERIFY(desk.tables.isOccupied(table));
    desk.openTable(table, QDateTime::currentDateTime());
    const QList<OrderLine>& lines = desk.bill.lines();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0).name, result.value("first").toString());
    QCOMPARE(lines.at(0).quantity, QStringLiteral("2"));
    QCOMPARE(lines.at(1).name, result.value("second").toString());
    QCOMPARE(lines.at(1).quantity, QStringLiteral("1"));
    QCOMPARE(result.value("lines").toArray().size(), 2);
    QCOMPARE(result.value("cartCount").toString(), QStringLiteral("2"));
    QCOMPARE(result.value("busyText").toString(), QStringLiteral("提交中"));
    QCOMPARE(result.value("refilled").toDouble(), 0.0);
    QCOMPARE(result.value("receivable").toString(), QStringLiteral("￥") + desk.bill.header().receivable);
}

QTEST_GUILESS_MAIN(TestLanserveE2e)
#include "test_lanserve_e2e.moc"
