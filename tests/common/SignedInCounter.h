#pragma once

#include "desk/CounterSession.h"
#include "main/MainWindow.h"
#include "print/PageTransport.h"

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
