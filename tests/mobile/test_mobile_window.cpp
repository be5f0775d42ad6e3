// The 手机点餐 window: address and QR code agree, the box starts and stops the server, the flag is stored,
// and the local address rule skips loopback addresses.

#include "lanserve/LanserveProcess.h"

#include "common/MessageBoxes.h"
#include "common/TestHome.h"
#include "mobile/LocalAddress.h"
#include "mobile/MobileService.h"
#include "mobile/MobileWindow.h"
#include "mobile/ServerControl.h"
#include "mobile/TableTokens.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace {

QString decode(const QImage& picture, const QString& folder) {
    const QString file = folder + QStringLiteral("/code.png");
    // zbarimg wants a few pixels per module: enlarge without smoothing.
    picture.scaled(picture.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(file);
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), file});
    if (!zbar.waitForFinished(20000))
        return {};
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

QString storedFlag(Database& db) {
    const std::optional<SettingsRow> row = ReadSettingsRow(db);
    return row ? row->mobileOrdering : QString();
}

bool waitFor(const std::function<bool()>& condition, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

} // namespace

class TestMobileWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void chooseLocalAddress_data();
    void chooseLocalAddress();
    void addressAndCodeAgree();
    void boxStartsAndStopsServer();
    void storedSwitchAtStartUp();
    void missingServerProgram();
    void renewTableCodesAsks();
    void printWithoutPrinterOffersPdf();
    void hintsAreGivenOncePerDataFolder();

private:
    std::unique_ptr<TestHome> home_;
    QString folder_;
    std::unique_ptr<Database> db_;
};

void TestMobileWindow::init() {
    // A server started by the window listens on loopback at a free port, never on the LAN.
    qputenv("LANSERVE_LISTEN", "127.0.0.1");
    qputenv("LANSERVE_PORT", "0");
    home_ = std::make_unique<TestHome>();
    folder_ = home_->path(QStringLiteral("data"));
    db_ = PrepareDataFolder(folder_);
}

void TestMobileWindow::cleanup() {
    const ServerControl control(QString::fromLocal8Bit(qgetenv("CJ_BIN_DIR")), folder_);
    if (control.stop())
        control.waitStopped(3000);
    db_.reset();
    home_.reset();
}

void TestMobileWindow::chooseLocalAddress_data() {
    QTest::addColumn<QStringList>("byName");
    QTest::addColumn<QStringList>("interfaces");
    QTest::addColumn<QString>("expected");
    QTest::newRow("LAN address by name")
        << QStringList{"192.168.1.5", "10.0.0.2"} << QStringList{"10.0.0.2"} << "192.168.1.5";
    QTest::newRow("Debian 127.0.1.1")
        << QStringList{"127.0.1.1"} << QStringList{"192.168.0.20", "10.8.0.1"} << "192.168.0.20";
    QTest::newRow("name unknown") << QStringList{} << QStringList{"172.16.3.4"} << "172.16.3.4";
    QTest::newRow("loopback only") << QStringList{"127.0.0.1"} << QStringList{} << "127.0.0.1";
    QTest::newRow("nothing") << QStringList{} << QStringList{} << "";
}

void TestMobileWindow::chooseLocalAddress() {
    QFETCH(QStringList, byName);
    QFETCH(QStringList, interfaces);
    QFETCH(QString, expected);
    QCOMPARE(ChooseLocalAddress(byName, interfaces), expected);
}

void TestMobileWindow::addressAndCodeAgree() {
    SettingsStore store(*db_);
    ServerControl server(QString::fromLocal8Bit(qgetenv("CJ_BIN_DIR")), folder_);
    auto* window = new MobileWindow(*db_, store, server);
    window->show();
    auto* box = window->findChild<QLineEdit*>(QStringLiteral("addressEdit"));
    auto* code = window->findChild<QLabel*>(QStringLiteral("codeImage"));
    QVERIFY(box && code && window->findChild<QLabel*>(QStringLiteral("instructionsLabel")));
    QCOMPARE(box->text(), MobileService::PageAddress(GetLocalAddress()));
    QVERIFY(box->text().endsWith(QLatin1String(":8212/phone/list.asp")));
    QCOMPARE(code->size(), QSize(105, 105));
    QCOMPARE(decode(code->grab().toImage(), home_->home()), box->text());
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("linkCaption"))->text(), QStringLiteral("链接地址："));
    QCOMPARE(window->findChild<QCheckBox*>(QStringLiteral("enableCheckBox"))->text(),
             QStringLiteral("开启手机点餐功能"));

    QSignalSpy tutorial(window, &MobileWindow::tutorialRequested);
    QTest::mouseClick(window->findChild<QLabel*>(QStringLiteral("tutorialLink")), Qt::LeftButton);
    QCOMPARE(tutorial.count(), 1);
    window->close();
}

void TestMobileWindow::boxStartsAndStopsServer() {
    SettingsStore store(*db_);
    ServerControl server(QString::fromLocal8Bit(qgetenv("CJ_BIN_DIR")), folder_);
    QVERIFY(!server.runningServer());
    auto* window = new MobileWindow(*db_, store, server);
    auto* enable = window->findChild<QCheckBox*>(QStringLiteral("enableCheckBox"));
    QVERIFY(!enable->isChecked()); // the stored flag is "0"

    enable->setChecked(true);
    QVERIFY(waitFor([&] { return server.runningServer().has_value(); }));
    const qint64 first = *server.runningServer();
    enable->setChecked(false);
    QVERIFY(server.waitStopped(3000));
    enable->setChecked(true);
    QVERIFY(waitFor([&] { return server.runningServer().has_value(); }));
    QVERIFY(*server.runningServer() != first);

    window->close();
    QCOMPARE(storedFlag(*db_), QStringLiteral("1"));
    QCOMPARE(store.mobileFlag(), 1);
    // The server keeps running after the window closes.
    QVERIFY(server.runningServer());

    // Opening the window again with the flag on starts no second server.
    const qint64 running = *server.runningServer();
    auto* again = new MobileWindow(*db_, store, server);
    QVERIFY(again->findChild<QCheckBox*>(QStringLiteral("enableCheckBox"))->isChecked());
    QCOMPARE(server.runningServer().value_or(0), running);
    again->findChild<QCheckBox*>(QStringLiteral("enableCheckBox"))->setChecked(false);
    QVERIFY(server.waitStopped(3000));
    again->close();
    QCOMPARE(storedFlag(*db_), QStringLiteral("0"));
    QCOMPARE(store.mobileFlag(), 0);
}

void TestMobileWindow::storedSwitchAtStartUp() {
    SettingsStore store(*db_);
    ServerControl server(QString::fromLocal8Bit(qgetenv("CJ_BIN_DIR")), folder_);
    MobileWindow::ApplyStoredSwitch(store, server);
    QVERIFY(!server.runningServer());
    MobileService::StoreFlag(*db_, store, true);
    SettingsStore reloaded(*db_);
    QCOMPARE(reloaded.mobileFlag(), 1);
    MobileWindow::ApplyStoredSwitch(reloaded, server);
    QVERIFY(waitFor([&] { return server.runningServer().has_value(); }));
}

void TestMobileWindow::missingServerProgram() {
    SettingsStore store(*db_);
    ServerControl server(home_->path(QStringLiteral("no-program-here")), folder_);
    auto* window = new MobileWindow(*db_, store, server);
    auto* enable = window->findChild<QCheckBox*>(QStringLiteral("enableCheckBox"));
    QString message;
    {
        const MessageBoxAnswerer answer;
        enable->setChecked(true);
        message = answer.firstText();
    }
    QVERIFY(message.contains(QLatin1String("Lanserve")));
    QVERIFY(enable->isChecked());
    window->close();
    QCOMPARE(storedFlag(*db_), QStringLiteral("1"));
}

void TestMobileWindow::renewTableCodesAsks() {
    SettingsStore store(*db_);
    ServerControl server(QString::fromLocal8Bit(qgetenv("CJ_BIN_DIR")), folder_);
    const QHash<QString, QString> before = TableTokens::EnsureTokens(*db_, store.tableKeys());
    auto* window = new MobileWindow(*db_, store, server);
    auto* renew = window->findChild<QPushButton*>(QStringLiteral("renewCodesButton"));
    QVERIFY(renew);
    QCOMPARE(renew->text(), QStringLiteral("重新生成二维码"));

    QStringList texts;
    {
        const MessageBoxAnswerer answer({QMessageBox::No});
        renew->click();
        texts = answer.texts();
    }
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.at(0).contains(QStringLiteral("失效")), qPrintable(texts.at(0)));
    QCOMPARE(TableTokens::EnsureTokens(*db_, store.tableKeys()), before);

    {
        const MessageBoxAnswerer answer({QMessageBox::Yes, QMessageBox::Ok});
        renew->click();
        texts = answer.texts();
    }
    QCOMPARE(texts.size(), 2);
    const QHash<QString, QString> after = TableTokens::EnsureTokens(*db_, store.tableKeys());
    QCOMPARE(after.size(), before.size());
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        QVERIFY(after.value(it.key()) != it.value());
        QVERIFY(!TableTokens::KeyForToken(*db_, it.value()));
    }
    window->close();
}

void TestMobileWindow::printWithoutPrinterOffersPdf() {
    if (!QPrinterInfo::defaultPrinter().isNull())
        QSKIP("a default printer is set up here");
    if (GetLocalAddress().isEmpty())
        QSKIP("no network address");
    SettingsStore store(*db_);
    ServerControl server(QString::fromLocal8Bit(qgetenv("CJ_BIN_DIR")), folder_);
    auto* window = new MobileWindow(*db_, store, server);
    auto* print = window->findChild<QPushButton*>(QStringLiteral("printCodesButton"));
    QVERIFY(print);
    QCOMPARE(print->text(), QStringLiteral("打印桌台二维码"));
    QStringList texts;
    {
        const MessageBoxAnswerer answer({QMessageBox::No});
        print->click();
        texts = answer.texts();
    }
    QCOMPARE(texts.size(), 1);
    QVERIFY(texts.at(0).startsWith(QStringLiteral("未找到打印机")));
    // Every table has its code now.
    QCOMPARE(TableTokens::EnsureTokens(*db_, {}).size(), store.tableKeys().size());
    window->close();
}

void TestMobileWindow::hintsAreGivenOncePerDataFolder() {
    // Mobile ordering off: the factory password is no risk yet.
    QVERIFY(MobileService::HintsToShowOnce(*db_, folder_, false).isEmpty());
    SettingsStore store(*db_);
    MobileService::StoreFlag(*db_, store, true);
    // No server is needed for the hints: the one whose program is missing says so in a box, answered here.
    ServerControl server(home_->path(QStringLiteral("no-server")), folder_);
    const MessageBoxAnswerer answerer;
    auto* window = new MobileWindow(*db_, store, server);
    auto* hints = window->findChild<QLabel*>(QStringLiteral("hintsLabel"));
    QVERIFY(hints->isVisibleTo(window));
    QVERIFY(hints->text().contains(QStringLiteral("出厂密码 739")));
    window->close();
    auto* again = new MobileWindow(*db_, store, server);
    QVERIFY(!again->findChild<QLabel*>(QStringLiteral("hintsLabel"))->isVisibleTo(again));
    again->close();

    // A page the restaurant edited is named once; another edited page later is named again.
    const auto edit = [&](const char* name) {
        QFile page(folder_ + QStringLiteral("/phone/") + QLatin1String(name));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("our own page");
    };
    edit("menu.asp");
    QStringList given = MobileService::HintsToShowOnce(*db_, folder_, true);
    QCOMPARE(given.size(), 1);
    QVERIFY(given.at(0).contains(QStringLiteral("menu.asp")));
    QVERIFY(MobileService::HintsToShowOnce(*db_, folder_, true).isEmpty());
    edit("save.asp");
    given = MobileService::HintsToShowOnce(*db_, folder_, true);
    QCOMPARE(given.size(), 1);
    QVERIFY(given.at(0).contains(QStringLiteral("menu.asp、save.asp")));
}

QTEST_MAIN(TestMobileWindow)
#include "test_mobile_window.moc"
