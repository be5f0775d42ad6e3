#pragma once

#include "store/ProgramDatabase.h"

#include <QObject>
#include <memory>

class ClaimKeeper;
class CounterSession;
class Database;
class LoginWindow;
class MainWindow;
class ServerControl;

// Start-up and the program's life: data folder, database, login, main window, shutdown.
class Application : public QObject {
    Q_OBJECT
public:
    Application();
    ~Application() override;

    // Runs start-up; false when the program must end (the reason has been shown).
    bool start();

    Database& database() { return *db_; }
    const DataFolders& folders() const { return folders_; }

private:
    void showMainWindow();
    void cancelLogin();
    // After the main window closed: the LAN server stops and this hour's backup is written, with a notice
    // when it takes more than a second.
    void finish();

    DataFolders folders_;
    QString storedPassword_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<ClaimKeeper> claimKeeper_; // keeps the tables and bills this counter has open claimed
    std::unique_ptr<ServerControl> server_;
    std::unique_ptr<LoginWindow> login_;
    std::unique_ptr<CounterSession> session_;
    std::unique_ptr<MainWindow> main_;
};
