// The program's life around its database file: damage found beside the login, and backups that fail while
// the program runs and at its end, as the cashier sees them.
#include "common/MessageBoxes.h"
#include "common/SignedInCounter.h"
#include "common/TestHome.h"

#include "app/Application.h"
#include "app/LoginWindow.h"
#include "main/MainWindow.h"
#include "main/TileWidget.h"
#include "mobile/ServerControl.h"
#include "order/OrderWindow.h"
#include "settings/StaffAccounts.h"
#include "store/Backup.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "ui/ServerWaitNotice.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

const QDateTime kAt1805(QDate(2024, 12, 12), QTime(18, 5));

QByteArray digest(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

// A plain file where a folder should be, so nothing can be written into it.
void blockFolder(const QString& path) {
    QFile blocker(path);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
}

void addLines(Database& db, int count) {
    Transaction step(db);
    Statement add(db,
                  "INSERT INTO \"明细\" (\"id\", \"序号\", \"名称\", \"数量\", \"单价\", \"金额\", \"备注\") "
                  "VALUES ('20241212180000', ?, '宫保鸡丁', '1', '28', '28', ?)");
    for (int i = 0; i < count; ++i) {
        add.bind(1, QString::number(i)).bind(2, QString(60, QChar(u'备'))).run();
        add.reset();
    }
    step.commit();
}

template <typename Window> Window* shownWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<Window*>(widget); window && window->isVisible())
            return window;
    return nullptr;
}

} // namespace

class ApplicationTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void damageIsShownOnceNamingTheLastSoundBackupAndTouchesNothing_data() {
        QTest::addColumn<bool>("inFirstPage");
        // Pages in the middle, where the bill lines are, read only later: the login still works.
        QTest::newRow("middle, found beside the login") << false;
        QTest::newRow("first page, found at start") << true;
    }
    void damageIsShownOnceNamingTheLastSoundBackupAndTouchesNothing() {
        QFETCH(bool, inFirstPage);
        TestHome home;
        const DataFolders folders = ChooseDataFoldersFromEnvironment();
        QVERIFY(CreateFolderPath(folders.dataFolder));
        const QString file = folders.dataFolder + QLatin1Char('/') + kDatabaseFileName;
        QString backup;
        {
            auto db = OpenProgramDatabase(folders.dataFolder);
            addLines(*db, 4000);
            backup = BackupDatabase(*db, folders.backupFolder, kAt1805).file;
            db->exec("PRAGMA wal_checkpoint(TRUNCATE);");
        }
        {
            QFile damaged(file);
            QVERIFY(damaged.open(QIODevice::ReadWrite));
            // The first 16 bytes are the key's salt; what follows on the first page is the schema.
            QVERIFY(damaged.seek(inFirstPage ? 512 : damaged.size() / 2 / 4096 * 4096));
            const QByteArray garbage(inFirstPage ? 512 : 3 * 4096, '\x5a');
            QVERIFY(damaged.write(garbage) == garbage.size());
        }
        const QByteArray damagedBytes = digest(file);
        const QByteArray backupBytes = digest(backup);
        {
            const MessageBoxAnswerer answerer;
            Application program;
            const QSignalSpy ended(&program, &Application::ended);
            QCOMPARE(program.start(), !inFirstPage);
            if (!inFirstPage) {
                QVERIFY(shownWindow<LoginWindow>());
                QTRY_COMPARE_WITH_TIMEOUT(answerer.shown().size(), 1, 60'000);
                QCOMPARE(ended.size(), 1);
                QCOMPARE(ended.first().first().toInt(), 2);
                QVERIFY(!shownWindow<LoginWindow>());
            }
            QCOMPARE(answerer.shown().size(), 1);
            QVERIFY2(answerer.firstText().contains(QStringLiteral("已损坏")),
                     qPrintable(answerer.firstText()));
            QVERIFY2(answerer.firstText().contains(backup), qPrintable(answerer.firstText()));
        }
        QCOMPARE(digest(file), damagedBytes);
        QCOMPARE(digest(backup), backupBytes);
        QCOMPARE(BackupSetNames(folders.backupFolder), QStringList{BackupSetName(kAt1805)});
    }

    void aBackupThatFailsAtTheEndIsShownBeforeTheProgramEnds() {
        TestHome home;
        const DataFolders folders = ChooseDataFoldersFromEnvironment();
        blockFolder(folders.backupFolder);
        const MessageBoxAnswerer answerer;
        Application program;
        const QSignalSpy ended(&program, &Application::ended);
        QVERIFY(program.start());
        LoginWindow* login = shownWindow<LoginWindow>();
        QVERIFY(login);
        login->passwordBox()->setText(QStringLiteral("739"));
        QTest::keyClick(login->passwordBox(), Qt::Key_Return);
        MainWindow* main = shownWindow<MainWindow>();
        QVERIFY(main);
        main->close();
        QCOMPARE(ended.size(), 1);
        QCOMPARE(answerer.shown().size(), 1);
        QVERIFY2(answerer.firstText().contains(folders.backupFolder), qPrintable(answerer.firstText()));
    }

    // 换班 hides the counter, open bill and all, behind a login that now offers every account; whoever
    // signs in carries on in the same windows under their own name.
    void aShiftChangeHandsTheOpenCounterToWhoeverSignsIn() {
        TestHome home;
        const DataFolders folders = ChooseDataFoldersFromEnvironment();
        Application program;
        QVERIFY(program.start());
        LoginWindow* login = shownWindow<LoginWindow>();
        QVERIFY(!login->staffBox());
        login->passwordBox()->setText(QStringLiteral("739"));
        QTest::keyClick(login->passwordBox(), Qt::Key_Return);
        MainWindow* main = shownWindow<MainWindow>();
        QVERIFY(main);
        {
            auto db = OpenProgramDatabase(folders.dataFolder);
            AddStaffAccount(*db, {QStringLiteral("008"), QStringLiteral("小李"), kRoleCashier, true,
                                  QStringLiteral("1")});
        }
        QTest::mouseDClick(main->tile(0), Qt::LeftButton);
        QPointer<OrderWindow> order = main->orderWindow();
        QVERIFY(order && order->isVisible());

        QTest::mouseClick(main->findChild<QWidget*>(QStringLiteral("toolbarItem10")), Qt::LeftButton);
        QVERIFY(!main->isVisible());
        QVERIFY(!order->isVisible());
        login = shownWindow<LoginWindow>();
        QVERIFY(login && login->staffBox());
        login->staffBox()->setCurrentIndex(
            login->staffBox()->findText(QStringLiteral("008 小李"), Qt::MatchStartsWith));
        login->passwordBox()->setText(QStringLiteral("1"));
        QTest::keyClick(login->passwordBox(), Qt::Key_Return);
        QVERIFY(main->isVisible());
        QVERIFY(main->windowTitle().endsWith(QStringLiteral("小李（008，收银员）")));
        QCOMPARE(main->orderWindow(), order.data());
        QVERIFY(order->isVisible());
        const MessageBoxAnswerer answerer;
        main->close();
    }

    void aFailedHourlyBackupIsShownOnTheMainWindow() {
        TestHome home;
        auto db = home.createDatabase();
        const DataFolders folders{home.path(QStringLiteral("d")), home.path(QStringLiteral("b"))};
        blockFolder(folders.backupFolder);
        ServerControl server(home.path(QStringLiteral("bin")), folders.dataFolder);
        SignedInCounter counter(*db, folders, server, std::chrono::milliseconds(30)); // hours, scaled down
        counter.main.show();
        auto* notice = counter.main.findChild<QLabel*>(QStringLiteral("backupStatusLabel"));
        QVERIFY(notice);
        QTRY_VERIFY(notice->isVisible());
        QVERIFY(notice->text().contains(QStringLiteral("备份失败")));
        const MessageBoxAnswerer answerer;
        QTest::mouseClick(notice, Qt::LeftButton);
        QTRY_COMPARE(answerer.shown().size(), 1);
        QVERIFY2(answerer.firstText().contains(folders.backupFolder), qPrintable(answerer.firstText()));
    }

    // A step that waits for the server says so on the window the cashier looks at, whole even on the narrow
    // login window, and the notice goes when the step ends.
    void aWaitForTheServerIsShownOnTheActiveWindowUntilItEnds_data() {
        QTest::addColumn<QSize>("windowSize");
        QTest::newRow("main window") << QSize(1024, 700);
        QTest::newRow("login window") << QSize(260, 150);
    }
    void aWaitForTheServerIsShownOnTheActiveWindowUntilItEnds() {
        QFETCH(QSize, windowSize);
        QWidget window;
        window.resize(windowSize);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        ServerWaitNotice notice;
        const ServerWaitObserver observer = notice.observer();
        observer(std::chrono::milliseconds(2300), false);
        const auto shown = [&window] {
            QList<QLabel*> visible;
            for (QLabel* label : window.findChildren<QLabel*>())
                if (label->isVisible())
                    visible.append(label);
            return visible;
        };
        QCOMPARE(shown().size(), 1);
        const QLabel* label = shown().first();
        QVERIFY2(label->text().contains(QStringLiteral("已等 2 秒")), qPrintable(label->text()));
        QVERIFY(window.rect().contains(label->geometry()));
        QVERIFY(label->height() >= label->heightForWidth(label->width()));
        observer(std::chrono::milliseconds(3400), false);
        QCOMPARE(shown().size(), 1);
        QVERIFY(shown().first()->text().contains(QStringLiteral("已等 3 秒")));
        observer(std::chrono::milliseconds(3500), true);
        QVERIFY(shown().isEmpty());
    }

    // While a step waits the windows take events (a queued call runs), but a click is held off and
    // answered by the notice; after the wait the same click works.
    void aClickWhileAStepWaitsIsAnsweredByTheNotice() {
        QWidget window;
        window.resize(600, 400);
        auto* button = new QPushButton(QStringLiteral("结账离开"), &window);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const QSignalSpy clicked(button, &QPushButton::clicked);
        const auto postClick = [button] {
            const QPointF at = QRectF(button->rect()).center();
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QCoreApplication::postEvent(button,
                                            new QMouseEvent(type, at, button->mapToGlobal(at), Qt::LeftButton,
                                                            Qt::LeftButton, Qt::NoModifier));
        };
        bool ran = false;
        QMetaObject::invokeMethod(
            &window, [&ran] { ran = true; }, Qt::QueuedConnection);
        postClick();
        ServerWaitNotice notice;
        const ServerWaitObserver observer = notice.observer();
        observer(std::chrono::milliseconds(1200), false);
        QVERIFY(ran);
        QCOMPARE(clicked.size(), 0);
        const QLabel* label = nullptr;
        for (const QLabel* shownLabel : window.findChildren<QLabel*>())
            if (shownLabel->isVisible())
                label = shownLabel;
        QVERIFY(label && label->text().startsWith(ServerWaitNotice::kHeldInput));
        observer(std::chrono::milliseconds(1300), false);
        QVERIFY(label->text().startsWith(ServerWaitNotice::kHeldInput));
        observer(std::chrono::milliseconds(1400), true);
        postClick();
        QTRY_COMPARE(clicked.size(), 1);
    }
};

QTEST_MAIN(ApplicationTest)
#include "test_application.moc"
