#pragma once

#include "store/ServerWait.h"

#include <QPointer>

class QLabel;

// Says on the active window that a step waits for the database server, counting the seconds, so a counter
// whose network is cut does not look hung, and says how long it waits at most. The step holds the
// window's thread until the server answers or the answer time is over; meanwhile, each time it is told,
// the notice lets the windows repaint, move and take events, without timers or sockets. A click, a key or
// a window's close is answered by the notice instead of starting something in the middle of the step; the
// connection refuses anything else that asks the server meanwhile.
class ServerWaitNotice {
public:
    ServerWaitNotice() = default;
    ServerWaitNotice(const ServerWaitNotice&) = delete;
    ServerWaitNotice& operator=(const ServerWaitNotice&) = delete;
    ~ServerWaitNotice();

    // For Database::setWaitObserver; valid while this object lives.
    ServerWaitObserver observer();

    static QString Text(std::chrono::milliseconds waited);
    // Put before the text once the user clicked or typed during the wait.
    static inline const QString kHeldInput = QStringLiteral("请稍候，这一步完成后才能继续操作。\n");

private:
    void show(std::chrono::milliseconds waited);
    void keepWindowsAlive();
    void hide();

    QPointer<QLabel> label_;
    bool inputHeld_ = false; // a click or key was held off during this wait
};
