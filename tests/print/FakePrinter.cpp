#include "FakePrinter.h"

#include <QStringDecoder>
#include <algorithm>
#include <arpa/inet.h>
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

void FakePrinter::serve(Client& client) {
    char buffer[4096];
    const ssize_t got = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got <= 0)
        return;
    const qsizetype before = client.bytes.size();
    client.bytes.append(buffer, got);
    if (!answersStatus_)
        return;
    // Answer each complete status request that arrived now: paper roll (4) or printer (1).
    for (qsizetype i = std::max<qsizetype>(before - 2, 0); i + 2 < client.bytes.size(); ++i) {
        if (client.bytes.at(i) != kDle || client.bytes.at(i + 1) != 0x04)
            continue;
        const char n = client.bytes.at(i + 2);
        const bool confirming = n == 1;
        if (confirming && silentAfterJob_)
            continue;
        const char reply = static_cast<char>(n == 4 && paperOut_ ? 0x72 : 0x12);
        ::send(client.fd, &reply, 1, MSG_NOSIGNAL);
    }
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
        if (listener_ >= 0)
            entries.push_back({listener_, POLLIN, 0});
        {
            std::scoped_lock lock(mutex_);
            for (const Client& client : clients_)
                entries.push_back({client.fd, POLLIN, 0});
        }
        ::poll(entries.data(), entries.size(), 20);
        if (listener_ >= 0 && (entries.front().revents & POLLIN)) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                std::scoped_lock lock(mutex_);
                clients_.append(Client{fd, {}});
            }
        }
        std::scoped_lock lock(mutex_);
        for (qsizetype i = 0; i < clients_.size();) {
            Client& client = clients_[i];
            char peek = 0;
            const ssize_t waiting = ::recv(client.fd, &peek, 1, MSG_PEEK | MSG_DONTWAIT);
            if (waiting > 0) {
                serve(client);
                ++i;
                continue;
            }
            if (waiting == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                // The sender closed: what it sent is one print (status requests alone print nothing).
                const PrintedPaper paper = DecodeEscPos(client.bytes);
                if (!paper.lines.isEmpty() || paper.drawerPulses > 0) {
                    prints_.append(client.bytes);
                    printTimes_.append(std::chrono::steady_clock::now());
                }
                ::close(client.fd);
                clients_.removeAt(i);
                continue;
            }
            ++i;
        }
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
