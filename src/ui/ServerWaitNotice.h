#pragma once

#include "store/ServerWait.h"

#include <QPointer>

class QLabel;

// Says on the active window that a step waits for the database server, counting the seconds, so a counter
// whose network is cut does not look hung, and says how long it waits at most. The step holds the
// window's thread until the server answers or the answer time is over, so the notice is painted at once
// (repaint) instead of through the event loop: no click is handled in the middle of a step.
class ServerWaitNotice {
public:
    ServerWaitNotice() = default;
    ServerWaitNotice(const ServerWaitNotice&) = delete;
    ServerWaitNotice& operator=(const ServerWaitNotice&) = delete;
    ~ServerWaitNotice();

    // For Database::setWaitObserver; valid while this object lives.
    ServerWaitObserver observer();

    static QString Text(std::chrono::milliseconds waited);

private:
    void show(std::chrono::milliseconds waited);
    void hide();

    QPointer<QLabel> label_;
};
