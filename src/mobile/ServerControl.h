#pragma once

#include <QString>
#include <optional>

// Finds, starts and stops the LAN ordering server Lanserve. A running server holds the lock file
// Lanserve.pid in the data folder with its process id. The server always runs from the program folder
// (beside cjpos); the data folder holds data only.
class ServerControl {
public:
    ServerControl(QString programFolder, QString dataFolder);

    enum class StartResult { Started, AlreadyRunning, NotInstalled, Failed };

    std::optional<qint64> runningServer() const;
    // Starts the program beside this one, working in the data folder, unless one runs.
    StartResult start() const;
    // Asks a running server to end (SIGTERM); it finishes the requests in flight. No waiting.
    bool stop() const;
    // Waits up to timeoutMs for the server to be gone.
    bool waitStopped(int timeoutMs) const;

    // Earlier versions ran a copy of the server from the data folder. Stops a server still running from
    // such a copy (or from a program file an upgrade has since replaced) and removes the copy, so the next
    // start runs the installed program. Returns false when the old server would not stop in time.
    bool retireOldServer(int timeoutMs) const;

    QString installedProgram() const;
    const QString& dataFolder() const { return dataFolder_; }
    QString pidFile() const;
    // The program file a running process was started from, as /proc shows it; empty when unknown.
    static QString ProgramOf(qint64 pid);

private:
    QString programFolder_;
    QString dataFolder_;
};
