#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

// What a thermal printer made of the bytes it received.
struct PrintedPaper {
    QStringList lines; // text lines, decoded from GB18030, in the order printed
    int cuts = 0;
    int drawerPulses = 0;
    QList<int> bigLines; // indexes into `lines` printed in double width and height
};

// Decodes ESC/POS as the printers this program drives take it: text in GB18030 and the commands
// EscPosWriter writes; DLE EOT requests are skipped. Unknown bytes fail the decoding (`error`).
PrintedPaper DecodeEscPos(const QByteArray& bytes, QString* error = nullptr);

// A network thermal printer on 127.0.0.1: accepts connections on its port, records each connection's
// bytes as one print, and answers DLE EOT status requests when told to. It can be switched off (the port
// refuses connections) and on again on the same port. Everything runs on one thread of its own, which
// ends with the object.
class FakePrinter {
public:
    explicit FakePrinter(bool answersStatus = false);
    ~FakePrinter();
    FakePrinter(const FakePrinter&) = delete;
    FakePrinter& operator=(const FakePrinter&) = delete;

    quint16 port() const { return port_; }
    QString address() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(port_); }

    void switchOff();
    void switchOn();
    // Paper out: the roll status says so, and nothing is printed.
    void setPaperOut(bool out) { paperOut_ = out; }
    // Takes the bytes but never answers the status request that confirms them (a printer that hangs).
    void setSilentAfterJob(bool silent) { silentAfterJob_ = silent; }

    // True while a connection that is still open has sent a whole ticket (up to its cut).
    bool holdsOpenTicket() const;
    // Every connection's bytes so far, in the order the connections closed (or went quiet).
    QList<QByteArray> prints() const;
    QList<PrintedPaper> papers() const;
    // When each print's connection closed, after its last byte.
    QList<std::chrono::steady_clock::time_point> printTimes() const;
    qsizetype printCount() const;
    // Waits (bounded, processing no events) until at least `count` prints arrived; false when they did not.
    bool waitForPrints(qsizetype count, int maxMs = 10000) const;

private:
    struct Client {
        int fd;
        QByteArray bytes;
    };
    void run();
    void openListener();
    void closeListener();
    void serve(Client& client);

    const bool answersStatus_;
    quint16 port_ = 0;
    int listener_ = -1;
    std::atomic<bool> paperOut_{false};
    std::atomic<bool> silentAfterJob_{false};
    std::atomic<bool> stop_{false};
    std::atomic<int> wanted_{1}; // 1 on, 0 off, as asked from the test's thread
    mutable std::mutex mutex_;
    QList<QByteArray> prints_;
    QList<std::chrono::steady_clock::time_point> printTimes_;
    QList<Client> clients_;
    std::thread thread_;
};
