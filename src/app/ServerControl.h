#pragma once

#include <QString>
#include <optional>

// Finds, starts and stops the LAN ordering server Lanserve. A running server holds the lock file
// Lanserve.pid in the data folder with its process id.
class ServerControl {
public:
    ServerControl(QString programFolder, QString dataFolder);

    enum class StartResult { Started, AlreadyRunning, NotInstalled, Failed };

    std::optional<qint64> runningServer() const;
    // Copies the program beside this one into the data folder and starts it there unless one runs.
    StartResult start() const;
    // Asks a running server to end (SIGTERM); it finishes the requests in flight. No waiting.
    bool stop() const;
    // Waits up to timeoutMs for the server to be gone.
    bool waitStopped(int timeoutMs) const;

    QString installedProgram() const;
    const QString& dataFolder() const { return dataFolder_; }
    QString pidFile() const;

private:
    QString programFolder_;
    QString dataFolder_;
};
