// Starting and stopping Lanserve through the counter's server control: the server runs from the program
// folder it was installed into, never from a copy in the data folder, and a copy an earlier version left
// there is stopped and removed. CJ_BIN_DIR names the program folder: the build folder under ctest, an
// installed prefix when the install check runs this test.

#include "common/TestHome.h"
#include "mobile/ServerControl.h"
#include "mobile/ServicePages.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

QString programFolder() {
    return QString::fromLocal8Bit(qgetenv("CJ_BIN_DIR"));
}

bool waitForServer(const ServerControl& control) {
    const QDeadlineTimer deadline(10000);
    while (!control.runningServer()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

QString canonical(const QString& path) {
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

class TestServerControl : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        // Servers started here listen on loopback at a free port, never on the LAN.
        qputenv("LANSERVE_LISTEN", "127.0.0.1");
        qputenv("LANSERVE_PORT", "0");
        home_ = std::make_unique<TestHome>();
        folder_ = home_->path(QStringLiteral("data"));
        QVERIFY(QDir().mkpath(folder_));
        db_ = OpenProgramDatabase(folder_);
        WriteServicePages(folder_);
        QVERIFY2(QFileInfo(programFolder() + QStringLiteral("/Lanserve")).isExecutable(),
                 qPrintable(programFolder()));
    }

    void cleanup() {
        const ServerControl control(programFolder(), folder_);
        if (control.stop())
            QVERIFY(control.waitStopped(5000));
        db_.reset();
        home_.reset();
    }

    void serverRunsFromTheProgramFolder() {
        const ServerControl control(programFolder(), folder_);
        QCOMPARE(control.start(), ServerControl::StartResult::Started);
        QVERIFY(waitForServer(control));
        const qint64 pid = *control.runningServer();
        QCOMPARE(ServerControl::ProgramOf(pid), canonical(programFolder() + QStringLiteral("/Lanserve")));
        // Nothing of the program lands in the user's home.
        QVERIFY(!QFileInfo::exists(folder_ + QStringLiteral("/Lanserve")));

        QCOMPARE(control.start(), ServerControl::StartResult::AlreadyRunning);
        // The installed server is the right one: starting the counter again leaves it running.
        QVERIFY(control.retireOldServer(5000));
        QCOMPARE(control.runningServer().value_or(0), pid);

        QVERIFY(control.stop());
        QVERIFY(control.waitStopped(5000));
        QVERIFY(!control.runningServer());
    }

    void leftoverCopyIsStoppedAndRemoved() {
        // As an earlier version left it: a copy of the server in the data folder, running from there.
        const QString copy = folder_ + QStringLiteral("/Lanserve");
        QVERIFY(QFile::copy(programFolder() + QStringLiteral("/Lanserve"), copy));
        QVERIFY(QFile::copy(programFolder() + QStringLiteral("/Lanserve"), copy + QStringLiteral(".new")));
        qint64 oldPid = 0;
        QVERIFY(QProcess::startDetached(copy, {folder_}, folder_, &oldPid));
        const ServerControl control(programFolder(), folder_);
        QVERIFY(waitForServer(control));
        QCOMPARE(*control.runningServer(), oldPid);
        QCOMPARE(ServerControl::ProgramOf(oldPid), canonical(copy));

        QVERIFY(control.retireOldServer(5000));
        QVERIFY(!control.runningServer());
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(!QFileInfo::exists(copy + QStringLiteral(".new")));

        QCOMPARE(control.start(), ServerControl::StartResult::Started);
        QVERIFY(waitForServer(control));
        QCOMPARE(ServerControl::ProgramOf(*control.runningServer()),
                 canonical(programFolder() + QStringLiteral("/Lanserve")));
    }

    void folderWithoutCopyOrServer() {
        const ServerControl control(programFolder(), folder_);
        QVERIFY(control.retireOldServer(1000));
        QVERIFY(!control.runningServer());
        // The data folder keeps everything that is not the old program.
        QVERIFY(QFileInfo::exists(folder_ + QLatin1Char('/') + kDatabaseFileName));
        QVERIFY(QFileInfo::exists(folder_ + QStringLiteral("/phone/list.asp")));
    }

    void programFileThatIsNotExecutableIsNotStarted() {
        const QString folder = home_->path(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(folder));
        QFile program(folder + QStringLiteral("/Lanserve"));
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.write("not a program");
        program.close();
        const ServerControl control(folder, folder_);
        QCOMPARE(control.start(), ServerControl::StartResult::NotInstalled);
    }

private:
    std::unique_ptr<TestHome> home_;
    QString folder_;
    std::unique_ptr<Database> db_;
};

QTEST_MAIN(TestServerControl)
#include "test_server_control.moc"
