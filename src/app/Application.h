#pragma once

#include "settings/Password.h"
#include "store/ProgramDatabase.h"
#include "ui/ServerWaitNotice.h"

#include <QObject>
#include <memory>

class BackgroundCheck;
class ClaimKeeper;
class CounterSession;
class Database;
class LoginWindow;
class MainWindow;
class ServerControl;

// Start-up and the program's life: data folder, database, login, main window, shutdown. The database file
// is checked in the background once the login shows; damage found then or by a backup is shown once, and
// the program ends without writing to the file or backing it up.
class Application : public QObject {
    Q_OBJECT
public:
    Application();
    ~Application() override;

    // Runs start-up; false when the program must end (the reason has been shown).
    bool start();

    Database& database() { return *db_; }
    const DataFolders& folders() const { return folders_; }

Q_SIGNALS:
    // The program is to end with this exit code.
    void ended(int code);

private:
    void showMainWindow();
    // 换班/锁屏: the main window (and what it has open) is hidden behind a new login; whoever signs in
    // there carries on in it. Cancelling that login closes the program as closing the main window would.
    void lockCounter();
    void resumeAfterLock();
    // The accounts the login offers now: every enabled one, or the first 店长 alone.
    QList<StaffAccount> readLoginAccounts();
    void showLogin();
    void cancelLogin();
    // After the main window closed: the LAN server stops and this hour's backup is written, with a notice
    // when it takes more than a second; a backup that fails is shown before the program ends.
    void finish();
    void showDamage(const QString& notice);

    DataFolders folders_;
    QList<StaffAccount> loginAccounts_; // whom the login window offers
    ServerWaitNotice serverWaitNotice_; // before the database, which tells it of waits for the server
    std::unique_ptr<Database> db_;
    std::unique_ptr<ClaimKeeper> claimKeeper_; // keeps the tables and bills this counter has open claimed
    std::unique_ptr<ServerControl> server_;
    std::unique_ptr<LoginWindow> login_;
    std::unique_ptr<CounterSession> session_;
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<BackgroundCheck> check_; // last: it reports to the windows above
    bool damageShown_ = false;
};
