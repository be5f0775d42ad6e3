#include "app/Application.h"

#include "app/LoginWindow.h"
#include "desk/CounterSession.h"
#include "main/MainWindow.h"
#include "mobile/ServerControl.h"
#include "mobile/ServicePages.h"
#include "print/PageTransport.h"
#include "settings/Password.h"
#include "settings/StaffAccounts.h"
#include "store/Claims.h"
#include "store/Database.h"
#include "store/Integrity.h"
#include "store/Log.h"
#include "store/Settings.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>

namespace {

// Why the database did not open: a damaged file is named as such, with the backup to put back.
QString refusalText(const StoreError& error, const DataFolders& folders) {
    const bool onServer = !ServerDatabaseAddress(folders.dataFolder).isEmpty();
    if (onServer)
        return error.text() + QStringLiteral("\n\n程序将退出，数据库服务器上的数据未作任何改动。");
    const QString file = folders.dataFolder + QLatin1Char('/') + kDatabaseFileName;
    if (QFileInfo::exists(file)) {
        const IntegrityReport report = CheckDatabaseFile(file);
        if (report.damaged())
            return DamageNotice(file, report, folders.backupFolder) + QStringLiteral("\n\n程序将退出。");
    }
    return error.text() + QStringLiteral("\n\n程序将退出，数据库文件未作任何改动。");
}

} // namespace

Application::Application() = default;

Application::~Application() = default;

bool Application::start() {
    folders_ = ChooseDataFoldersFromEnvironment();
    if (!CreateFolderPath(folders_.dataFolder)) {
        QMessageBox::critical(nullptr, kProgramTitle,
                              QStringLiteral("无法创建数据文件夹 %1，程序将退出。").arg(folders_.dataFolder));
        return false;
    }
    KeepDataPrivate(folders_.dataFolder);
    Log::setFile(folders_.dataFolder + QStringLiteral("/cjpos.log"));
    try {
        db_ = OpenProgramDatabase(folders_.dataFolder);
        db_->setWaitObserver(serverWaitNotice_.observer());
        claimKeeper_ = std::make_unique<ClaimKeeper>(*db_);
        loginAccounts_ = readLoginAccounts();
    } catch (const StoreError& error) {
        Log::write(error.text());
        QMessageBox::critical(nullptr, kProgramTitle, refusalText(error, folders_));
        return false;
    }

    showLogin();
    QApplication::processEvents();

    WriteServicePages(folders_.dataFolder);
    // The LAN server is started by the main window only when mobile ordering is switched on: an unused
    // server would let anyone on the restaurant's network change orders.
    // The server runs from the program's own folder, never from a copy in the user's home.
    server_ = std::make_unique<ServerControl>(QApplication::applicationDirPath(), folders_.dataFolder);
    if (!server_->retireOldServer(3000))
        Log::write(QStringLiteral("旧版手机点餐服务程序未能停止"));
    // Damage in the middle of the file shows only when a page there is read; reading every page takes
    // seconds on a large file, so it is done beside the login on a connection of its own.
    if (!db_->isServer()) {
        check_ = std::make_unique<BackgroundCheck>(db_->path(), folders_.backupFolder);
        connect(check_.get(), &BackgroundCheck::damageFound, this, &Application::showDamage);
        check_->start();
    }
    return true;
}

QList<StaffAccount> Application::readLoginAccounts() {
    QList<StaffAccount> accounts = EnabledStaffAccounts(*db_);
    // One enabled account or none that may manage the rest: the login account alone (the first 店长).
    if (accounts.size() <= 1) {
        const std::optional<StaffAccount> account = LoginAccount(*db_);
        if (!account)
            throw StoreError(QStringLiteral("数据库里没有启用的店长账号，无法登录。"));
        accounts = {*account};
    }
    return accounts;
}

void Application::showLogin() {
    login_ = std::make_unique<LoginWindow>(loginAccounts_);
    if (main_) {
        connect(login_.get(), &LoginWindow::loggedIn, this, &Application::resumeAfterLock);
        connect(login_.get(), &LoginWindow::cancelled, main_.get(), &QWidget::close);
    } else {
        connect(login_.get(), &LoginWindow::loggedIn, this, &Application::showMainWindow);
        connect(login_.get(), &LoginWindow::cancelled, this, &Application::cancelLogin);
    }
    CenterOnScreen(login_.get());
    login_->show();
    // After 换班 the hidden main window had the keyboard: the next person types straight away.
    login_->raise();
    login_->activateWindow();
}

void Application::lockCounter() {
    try {
        loginAccounts_ = readLoginAccounts();
    } catch (const StoreError& error) {
        // The accounts read at the last login still stand.
        Log::write(QStringLiteral("员工读取失败：") + error.text());
    }
    main_->hideForLock();
    showLogin();
}

void Application::resumeAfterLock() {
    session_->setSignedInStaff(login_->signedIn(), loginAccounts_.size() > 1);
    main_->signedInChanged();
    main_->showAfterLock();
}

void Application::showMainWindow() {
    session_ = std::make_unique<CounterSession>(*db_, folders_, *server_);
    session_->setSignedInStaff(login_->signedIn(), loginAccounts_.size() > 1);
    session_->start(CounterTransports(session_.get(), session_->settings()));
    connect(session_.get(), &CounterSession::databaseDamaged, this, &Application::showDamage);
    main_ = std::make_unique<MainWindow>(*session_);
    connect(main_.get(), &MainWindow::closed, this, &Application::finish);
    connect(main_.get(), &MainWindow::lockRequested, this, &Application::lockCounter);
    // Without a window manager showMaximized() has no effect; start at the screen's full size either way.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        main_->setGeometry(screen->availableGeometry());
    main_->showMaximized();
}

void Application::cancelLogin() {
    if (server_)
        server_->stop();
    Q_EMIT ended(0);
}

void Application::showDamage(const QString& notice) {
    if (damageShown_)
        return;
    damageShown_ = true;
    // Nothing more goes into the damaged file: no phone orders, and no backup replaces a good one.
    if (session_)
        session_->stopAfterDamage();
    else if (server_)
        server_->stop();
    QWidget* over = main_ && main_->isVisible() ? static_cast<QWidget*>(main_.get()) : login_.get();
    QMessageBox::critical(over, kProgramTitle, notice + QStringLiteral("\n\n程序将退出。"));
    if (main_)
        main_->hide();
    login_->hide();
    Q_EMIT ended(2);
}

void Application::finish() {
    if (damageShown_)
        return;
    QPointer<QLabel> notice;
    const BackupResult result = session_->finish([&](const BackupProgress& progress) {
        if (progress.elapsedMs >= 1000 && !notice) {
            notice =
                new QLabel(QStringLiteral("正在备份数据库…"), nullptr, Qt::Dialog | Qt::FramelessWindowHint);
            notice->setAttribute(Qt::WA_DeleteOnClose);
            notice->setAlignment(Qt::AlignCenter);
            notice->setFixedSize(260, 80);
            notice->setStyleSheet(QStringLiteral("background: white; border: 2px solid rgb(75,151,199);"));
            notice->show();
            CenterOnScreen(notice);
        }
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    if (notice)
        notice->close();
    if (result.sourceDamaged)
        showDamage(result.damageNotice);
    if (damageShown_) // also when the start-up check found it while the backup ran
        return;
    if (!result.failures.isEmpty())
        QMessageBox::warning(nullptr, kProgramTitle,
                             QStringLiteral("退出时的数据库备份没有完成：\n%1\n\n数据库本身没有受影响。")
                                 .arg(result.failures.join(QLatin1Char('\n'))));
    Q_EMIT ended(0);
}
