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

// A network thermal printer on 127.0.0.1: accepts connections on its port and prints what each one
// delivers (recorded once the sender has finished, or once the connection broke), and answers DLE EOT
// status requests when told to. It can be switched off (the port refuses connections) and on again on
// the same port, run out of paper (prints nothing), hang after a job, and cut, reset or stop reading
// connections part-way. Everything runs on one thread of its own, which ends with the object.
class FakePrinter {
public:
    // What a connection meets once a given number of bytes arrived.
    enum class Fault {
        None,
        Close,       // the printer closes the connection (with the rest unread)
        Reset,       // it resets the connection
        StopReading, // it reads nothing more, and keeps the connection open
    };

    explicit FakePrinter(bool answersStatus = false);
    ~FakePrinter();
    FakePrinter(const FakePrinter&) = delete;
    FakePrinter& operator=(const FakePrinter&) = delete;

    quint16 port() const { return port_; }
    QString address() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(port_); }

    void switchOff();
    void switchOn();
    // Paper out: the roll status says so, the printer status says off line, and nothing is printed.
    void setPaperOut(bool out) { paperOut_ = out; }
    // Hangs after a job: prints it, but never answers the status request that confirms it nor closes the
    // connection.
    void setSilentAfterJob(bool silent) { silentAfterJob_ = silent; }
    // From the next connection on, every `every`-th one meets `fault` after `afterBytes` bytes, `times`
    // times at most (0: no limit); `afterBytes` is at least 1. What arrived before is printed.
    void setFault(Fault fault, int afterBytes, int every = 1, int times = 1);
    int faultsMet() const;
    // The most connections it held open at the same time.
    int mostConnectionsAtOnce() const;

    // True while a connection that is still open has sent a whole ticket (up to its cut).
    bool holdsOpenTicket() const;
    // Every connection's bytes, in the order they were printed.
    QList<QByteArray> prints() const;
    QList<PrintedPaper> papers() const;
    // When each print's last byte arrived.
    QList<std::chrono::steady_clock::time_point> printTimes() const;
    qsizetype printCount() const;
    // Waits (bounded, processing no events) until at least `count` prints arrived; false when they did not.
    bool waitForPrints(qsizetype count, int maxMs = 10000) const;

private:
    struct Client {
        int fd = -1;
        QByteArray bytes;
        Fault fault = Fault::None;
        qsizetype faultAt = 0;
        bool reading = true; // false once it stopped reading or hangs after the sender finished
        bool printed = false;
        std::chrono::steady_clock::time_point lastByte{};
    };
    void run();
    void openListener();
    void closeListener();
    void accept();
    // Serves what a connection's poll said; false once the connection is done with.
    bool serve(Client& client, short events);
    void answerStatus(Client& client, qsizetype from);
    void print(Client& client);

    const bool answersStatus_;
    quint16 port_ = 0;
    int listener_ = -1;
    std::atomic<bool> paperOut_{false};
    std::atomic<bool> silentAfterJob_{false};
    std::atomic<bool> stop_{false};
    std::atomic<int> wanted_{1}; // 1 on, 0 off, as asked from the test's thread
    mutable std::mutex mutex_;
    Fault fault_ = Fault::None;
    int faultAfter_ = 0;
    int faultEvery_ = 1;
    int faultTimes_ = 0;
    int faultsMet_ = 0;
    int sinceFaultSet_ = 0;
    int mostAtOnce_ = 0;
    QList<QByteArray> prints_;
    QList<std::chrono::steady_clock::time_point> printTimes_;
    QList<Client> clients_;
    std::thread thread_;
};
