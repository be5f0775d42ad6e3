#pragma once

#include "common/TestHome.h"

#include "desk/CounterSession.h"
#include "main/MainWindow.h"
#include "mobile/ServerControl.h"
#include "print/PageTransport.h"
#include "store/Database.h"

#include <memory>

// A counter after login, built as the program builds it: the session's services running (the spooler
// sending jobs as pages or ESC/POS) and the main window over them.
struct SignedInCounter {
    SignedInCounter(Database& db, const DataFolders& folders, ServerControl& server,
                    std::chrono::milliseconds backupInterval = kBackupInterval)
        : session(db, folders, server), main(Started(session, backupInterval)) {}

    CounterSession session;
    MainWindow main;

private:
    static CounterSession& Started(CounterSession& session, std::chrono::milliseconds backupInterval) {
        session.start(CounterTransports(&session, session.settings()), backupInterval);
        return session;
    }
};

// The main window over a fresh database, shown, as a user finds it after login.
struct ShownCounter {
    TestHome home;
    std::unique_ptr<Database> db = home.createDatabase();
    DataFolders folders{home.path(QStringLiteral("d")), home.path(QStringLiteral("b"))};
    ServerControl server{home.path(QStringLiteral("bin")), folders.dataFolder};
    SignedInCounter counter{*db, folders, server};
    MainWindow& main = counter.main;
    ShownCounter() { main.show(); }
};
