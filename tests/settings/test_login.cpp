#include "app/LoginWindow.h"
#include "common/MessageBoxes.h"
#include "common/TestHome.h"
#include "mobile/ServerControl.h"
#include "settings/Password.h"
#include "store/PasswordHash.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class LoginTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void compareIsTrimmedAndCaseBlind() {
        QVERIFY(PasswordMatches(QStringLiteral(" 739 "), QStringLiteral("739")));
        QVERIFY(!PasswordMatches(QStringLiteral("738"), QStringLiteral("739")));
        QVERIFY(PasswordMatches(QStringLiteral("Abc"), QStringLiteral(" aBC")));
        QVERIFY(PasswordMatches(QString(), QString()));
        QVERIFY(!PasswordMatches(QStringLiteral("a b"), QStringLiteral("ab")));
    }

    void factoryPasswordIsShownInClear() {
        LoginWindow window(HashPassword(QStringLiteral("739")));
        QCOMPARE(window.passwordBox()->text(), QStringLiteral("739"));
        QCOMPARE(window.passwordBox()->echoMode(), QLineEdit::Normal);
        QCOMPARE(window.windowTitle(), QStringLiteral(" 登录"));

        LoginWindow secret(HashPassword(QStringLiteral("8888")));
        QVERIFY(secret.passwordBox()->text().isEmpty());
        QCOMPARE(secret.passwordBox()->echoMode(), QLineEdit::Password);
    }

    // Shown, the factory password waits with the caret after it, so typing adds to it rather than replacing
    // it; a changed password shows one "*" per character typed.
    void caretFollowsTheFactoryPasswordAndStarsMaskTheOthers() {
        LoginWindow window(HashPassword(QStringLiteral("739")));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.passwordBox()->hasFocus());
        QVERIFY(!window.passwordBox()->hasSelectedText());
        QCOMPARE(window.passwordBox()->cursorPosition(), 3);
        QTest::keyClicks(window.passwordBox(), QStringLiteral("1"));
        QCOMPARE(window.passwordBox()->text(), QStringLiteral("7391"));

        LoginWindow secret(HashPassword(QStringLiteral("8888")));
        secret.show();
        QVERIFY(QTest::qWaitForWindowExposed(&secret));
        QTest::keyClicks(secret.passwordBox(), QStringLiteral("8888"));
        QCOMPARE(secret.passwordBox()->displayText(), QStringLiteral("****"));
    }

    void enterLogsInWithTheFactoryPassword() {
        LoginWindow window(HashPassword(QStringLiteral("739")));
        window.show();
        QSignalSpy spy(&window, &LoginWindow::loggedIn);
        QTest::keyClick(window.passwordBox(), Qt::Key_Return);
        QCOMPARE(spy.count(), 1);
        QVERIFY(!window.isVisible());
    }

    void wrongPasswordShowsTheMessageAndStays() {
        LoginWindow window(HashPassword(QStringLiteral("739")));
        window.show();
        window.passwordBox()->setText(QStringLiteral("738"));
        QSignalSpy spy(&window, &LoginWindow::loggedIn);
        const QString shown =
            MessageShownBy([&] { window.findChild<QPushButton*>(QStringLiteral("loginButton"))->click(); });
        QCOMPARE(shown, QStringLiteral("密码错误！|提示"));
        QCOMPARE(spy.count(), 0);
        QVERIFY(window.isVisible());
    }

    // With staff, a 员工 choice says whose password is typed; the factory password is not shown.
    void withStaffTheChosenAccountSignsIn() {
        const QList<StaffAccount> accounts{
            {QStringLiteral("001"), QStringLiteral("老板"), QStringLiteral("店长"),
             HashPassword(QStringLiteral("739")), true},
            {QStringLiteral("007"), QStringLiteral("小王"), QStringLiteral("服务员"),
             HashPassword(QStringLiteral("Wang7")), true}};
        LoginWindow window(accounts);
        window.show();
        QVERIFY(window.staffBox());
        QCOMPARE(window.passwordBox()->text(), QString());
        QCOMPARE(window.passwordBox()->echoMode(), QLineEdit::Password);
        window.staffBox()->setCurrentIndex(1);
        window.passwordBox()->setText(QStringLiteral("739"));
        QSignalSpy spy(&window, &LoginWindow::loggedIn);
        QCOMPARE(MessageShownBy([&] { QTest::keyClick(window.passwordBox(), Qt::Key_Return); }),
                 QStringLiteral("密码错误！|提示"));
        window.passwordBox()->setText(QStringLiteral("wang7 "));
        QTest::keyClick(window.passwordBox(), Qt::Key_Return);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(window.signedIn().id, QStringLiteral("007"));
        QVERIFY(!LoginWindow(HashPassword(QStringLiteral("739"))).staffBox());
    }

    void cancelEmitsCancelled() {
        LoginWindow window(HashPassword(QStringLiteral("739")));
        window.show();
        QSignalSpy spy(&window, &LoginWindow::cancelled);
        window.findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        QCOMPARE(spy.count(), 1);
    }

    void noServerProgramMeansNoServer() {
        TestHome home;
        const ServerControl control(home.path(QStringLiteral("bin")), home.path(QStringLiteral("data")));
        QCOMPARE(control.start(), ServerControl::StartResult::NotInstalled);
        QVERIFY(!control.runningServer());
        QVERIFY(!control.stop());
    }

    void staleLockFileIsNotARunningServer() {
        TestHome home;
        const ServerControl control(home.path(QStringLiteral("bin")), home.dataHome());
        QFile lock(control.pidFile());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(QCoreApplication::applicationPid())); // alive, but not Lanserve
        lock.close();
        QVERIFY(!control.runningServer());
    }
};

QTEST_MAIN(LoginTest)
#include "test_login.moc"
