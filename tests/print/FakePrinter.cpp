#include "FakePrinter.h"

#include <QStringDecoder>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kEsc = 0x1b;
constexpr char kGs = 0x1d;
constexpr char kFs = 0x1c;
constexpr char kDle = 0x10;

} // namespace

PrintedPaper DecodeEscPos(const QByteArray& bytes, QString* error) {
    PrintedPaper paper;
    QStringDecoder decoder("GB18030");
    QByteArray text;
    bool big = false;
    const auto need = [&](qsizetype at, qsizetype count) {
        if (at + count <= bytes.size())
            return true;
        if (error)
            *error = QStringLiteral("command cut short at byte %1").arg(at);
        return false;
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c == '\n') {
            if (big)
                paper.bigLines.append(static_cast<int>(paper.lines.size()));
            paper.lines.append(decoder.decode(text));
            text.clear();
        } else if (c == kEsc || c == kGs || c == kFs || c == kDle) {
            if (!need(i, 2))
                return paper;
            const char command = bytes.at(i + 1);
            if (c == kEsc && command == '@') {
                i += 1;
            } else if (c == kFs && command == '&') {
                i += 1;
            } else if (c == kGs && command == 'V') {
                if (!need(i, 4))
                    return paper;
                ++paper.cuts;
                i += 3;
            } else if (c == kEsc && command == 'p') {
                if (!need(i, 5))
                    return paper;
                ++paper.drawerPulses;
                i += 4;
            } else if (c == kGs && command == '!') {
                if (!need(i, 3))
                    return paper;
                big = (bytes.at(i + 2) & 0x11) == 0x11;
                i += 2;
            } else if ((c == kEsc && (command == 'a' || command == 'E' || command == 'd')) ||
                       (c == kFs && command == '!') || (c == kDle && command == 0x04)) {
                if (!need(i, 3))
                    return paper;
                i += 2;
            } else {
                if (error)
                    *error = QStringLiteral("unknown command %1 %2 at byte %3")
                                 .arg(static_cast<int>(c))
                                 .arg(static_cast<int>(command))
                                 .arg(i);
                return paper;
            }
        } else {
            text.append(c);
        }
    }
    if (!text.isEmpty())
        paper.lines.append(decoder.decode(text));
    if (decoder.hasError() && error)
        *error = QStringLiteral("text is not GB18030");
    return paper;
}

FakePrinter::FakePrinter(bool answersStatus) : answersStatus_(answersStatus) {
    openListener();
    thread_ = std::thread([this] { run(); });
}

FakePrinter::~FakePrinter() {
    stop_ = true;
    thread_.join();
    closeListener();
    for (const Client& client : clients_)
        ::close(client.fd);
}

void FakePrinter::openListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
}

void FakePrinter::closeListener() {
    if (listener_ >= 0)
        ::close(listener_);
    listener_ = -1;
}

void FakePrinter::switchOff() {
    wanted_ = 0;
    // The change is made on the printer's thread; wait (bounded) until it took effect.
    for (int i = 0; i < 200 && wanted_ != -1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void FakePrinter::switchOn() {
    wanted_ = 1;
}

void FakePrinter::setFault(Fault fault, int afterBytes, int every, int times) {
    std::scoped_lock lock(mutex_);
    fault_ = fault;
    faultAfter_ = std::max(afterBytes, 1);
    faultEvery_ = std::max(every, 1);
    faultTimes_ = times;
    faultsMet_ = 0;
    sinceFaultSet_ = 0;
}

int FakePrinter::faultsMet() const {
    std::scoped_lock lock(mutex_);
    return faultsMet_;
}

int FakePrinter::mostConnectionsAtOnce() const {
    std::scoped_lock lock(mutex_);
    return mostAtOnce_;
}

void FakePrinter::print(Client& client) {
    if (std::exchange(client.printed, true) || paperOut_)
        return;
    // Status requests alone print nothing.
    const PrintedPaper paper = DecodeEscPos(client.bytes);
    if (paper.lines.isEmpty() && paper.drawerPulses == 0)
        return;
    prints_.append(client.bytes);
    printTimes_.append(client.lastByte);
}

void FakePrinter::answerStatus(Client& client, qsizetype from) {
    // Each complete status request that arrived now: paper roll (4) or printer (1).
    for (qsizetype i = std::max<qsizetype>(from - 2, 0); i + 2 < client.bytes.size(); ++i) {
        if (client.bytes.at(i) != kDle || client.bytes.at(i + 1) != 0x04)
            continue;
        const char n = client.bytes.at(i + 2);
        if (n == 1 && silentAfterJob_)
            continue;
        char reply = 0x12;
        if (paperOut_)
            reply = static_cast<char>(n == 4 ? 0x72 : 0x1a);
        ::send(client.fd, &reply, 1, MSG_NOSIGNAL);
    }
}

bool FakePrinter::serve(Client& client, short events) {
    if (!client.reading) {
        // Only the sender's end is left to hear.
        if (events & (POLLHUP | POLLERR)) {
            print(client);
            return false;
        }
        return true;
    }
    if (!(events & (POLLIN | POLLHUP | POLLERR)))
        return true;
    char buffer[4096];
    qsizetype room = sizeof buffer;
    if (client.fault != Fault::None)
        room = std::min(room, client.faultAt - client.bytes.size());
    const ssize_t got = ::recv(client.fd, buffer, static_cast<size_t>(room), MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return true;
    if (got <= 0) {
        // The sender finished (or the connection broke): print what came.
        print(client);
        if (got == 0 && silentAfterJob_) {
            client.reading = false;
            return true;
        }
        return false;
    }
    const qsizetype before = client.bytes.size();
    client.bytes.append(buffer, got);
    client.lastByte = std::chrono::steady_clock::now();
    if (answersStatus_)
        answerStatus(client, before);
    if (client.fault == Fault::None || client.bytes.size() < client.faultAt)
        return true;
    ++faultsMet_;
    print(client);
    if (client.fault == Fault::StopReading) {
        client.reading = false;
        return true;
    }
    if (client.fault == Fault::Reset) {
        const linger now{1, 0};
        ::setsockopt(client.fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
    return false;
}

void FakePrinter::accept() {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    Client client;
    client.fd = fd;
    ++sinceFaultSet_;
    if (fault_ != Fault::None && sinceFaultSet_ % faultEvery_ == 0 &&
        (faultTimes_ == 0 || faultsMet_ < faultTimes_)) {
        client.fault = fault_;
        client.faultAt = faultAfter_;
    }
    clients_.append(client);
    mostAtOnce_ = std::max(mostAtOnce_, static_cast<int>(clients_.size()));
}

void FakePrinter::run() {
    while (!stop_) {
        if (wanted_ == 0) {
            closeListener();
            std::scoped_lock lock(mutex_);
            for (Client& client : clients_)
                ::close(client.fd);
            clients_.clear();
            wanted_ = -1;
        } else if (wanted_ == 1 && listener_ < 0) {
            openListener();
        }
        std::vector<pollfd> entries;
        {
            std::scoped_lock lock(mutex_);
            for (const Client& client : clients_)
                entries.push_back({client.fd, static_cast<short>(client.reading ? POLLIN : 0), 0});
        }
        if (listener_ >= 0)
            entries.push_back({listener_, POLLIN, 0});
        ::poll(entries.data(), entries.size(), 20);
        std::scoped_lock lock(mutex_);
        // The connections first, so one that ended is gone before the next is counted.
        const qsizetype served = clients_.size();
        for (qsizetype i = 0, entry = 0; entry < served; ++entry) {
            Client& client = clients_[i];
            if (serve(client, entries.at(static_cast<size_t>(entry)).revents)) {
                ++i;
                continue;
            }
            ::close(client.fd);
            clients_.removeAt(i);
        }
        if (listener_ >= 0 && (entries.back().revents & POLLIN))
            accept();
    }
}

bool FakePrinter::holdsOpenTicket() const {
    std::scoped_lock lock(mutex_);
    return std::any_of(clients_.begin(), clients_.end(),
                       [](const Client& client) { return DecodeEscPos(client.bytes).cuts > 0; });
}

QList<QByteArray> FakePrinter::prints() const {
    std::scoped_lock lock(mutex_);
    return prints_;
}

QList<PrintedPaper> FakePrinter::papers() const {
    QList<PrintedPaper> papers;
    for (const QByteArray& bytes : prints())
        papers.append(DecodeEscPos(bytes));
    return papers;
}

QList<std::chrono::steady_clock::time_point> FakePrinter::printTimes() const {
    std::scoped_lock lock(mutex_);
    return printTimes_;
}

qsizetype FakePrinter::printCount() const {
    std::scoped_lock lock(mutex_);
    return prints_.size();
}

bool FakePrinter::waitForPrints(qsizetype count, int maxMs) const {
    for (int waited = 0; waited < maxMs; waited += 10) {
        if (printCount() >= count)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return printCount() >= count;
}
