// Plain POSIX sockets: every wait is cut into short slices that look at the stop token, which the blocking
// calls of QTcpSocket do not allow.
#include "print/TcpTransport.h"

#include "print/EscPos.h"

#include <QByteArray>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMs = 100;

const QString kNotConnected = QStringLiteral("未连接");

class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Socket& operator=(Socket&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Waits until the socket is ready for `events` or the deadline passes or a stop is requested.
bool WaitFor(int fd, short events, Clock::time_point deadline, const std::stop_token& stop) {
    while (!stop.stop_requested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), kSliceMs)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
    return false;
}

Socket ConnectOne(const addrinfo& address, Clock::time_point deadline, const std::stop_token& stop) {
    Socket socket(
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol));
    if (!socket.valid())
        return {};
    if (::connect(socket.fd(), address.ai_addr, address.ai_addrlen) == 0)
        return socket;
    if (errno != EINPROGRESS || !WaitFor(socket.fd(), POLLOUT, deadline, stop))
        return {};
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
        return {};
    return socket;
}

Socket Connect(const QString& host, quint16 port, Clock::time_point deadline, const std::stop_token& stop) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints, &found) != 0)
        return {};
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    for (const addrinfo* address = found; address; address = address->ai_next)
        if (Socket socket = ConnectOne(*address, deadline, stop); socket.valid())
            return socket;
    return {};
}

// Writes every byte; false when the printer stopped taking them in time.
bool WriteAll(int fd, const QByteArray& bytes, Clock::time_point deadline, const std::stop_token& stop) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.constData() + written,
                                    static_cast<size_t>(bytes.size() - written), MSG_NOSIGNAL);
        if (sent > 0) {
            written += sent;
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (!WaitFor(fd, POLLOUT, deadline, stop))
            return false;
    }
    return true;
}

// The next status byte the printer sends, skipping anything else; nullopt when none comes in time.
std::optional<unsigned char> ReadStatus(int fd, Clock::time_point deadline, const std::stop_token& stop) {
    while (WaitFor(fd, POLLIN, deadline, stop)) {
        unsigned char byte = 0;
        const ssize_t got = ::recv(fd, &byte, 1, 0);
        if (got == 0)
            return std::nullopt;
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (EscPos::IsStatusByte(byte))
            return byte;
    }
    return std::nullopt;
}

std::optional<unsigned char> AskStatus(int fd, int n, std::chrono::milliseconds wait,
                                       const std::stop_token& stop) {
    const Clock::time_point deadline = Clock::now() + wait;
    if (!WriteAll(fd, EscPos::StatusRequest(n), deadline, stop))
        return std::nullopt;
    return ReadStatus(fd, deadline, stop);
}

// Closes the sending side and waits for the printer to close its own, so the last bytes are not thrown
// away by a reset.
void CloseInOrder(int fd, Clock::time_point deadline, const std::stop_token& stop) {
    ::shutdown(fd, SHUT_WR);
    char sink[256];
    while (WaitFor(fd, POLLIN, deadline, stop)) {
        const ssize_t got = ::recv(fd, sink, sizeof sink, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            return;
    }
}

} // namespace

TcpTransport::TcpTransport(QString host, quint16 port, Timeouts timeouts)
    : host_(std::move(host)), port_(port), timeouts_(timeouts) {}

Delivery TcpTransport::send(const QByteArray& bytes, std::stop_token stop) {
    const Socket socket = Connect(host_, port_, Clock::now() + timeouts_.connect, stop);
    if (!socket.valid())
        return Delivery::NotSent(kNotConnected);

    if (replies_ != StatusReplies::Silent) {
        const std::optional<unsigned char> paper = AskStatus(socket.fd(), 4, timeouts_.status, stop);
        if (paper && (*paper & EscPos::kPaperOutBits) == EscPos::kPaperOutBits)
            return Delivery::NotSent(QStringLiteral("缺纸"));
        if (paper)
            replies_ = StatusReplies::Answered;
        else if (replies_ == StatusReplies::Answered)
            return Delivery::NotSent(QStringLiteral("没有响应"));
        else
            replies_ = StatusReplies::Silent;
    }
    if (stop.stop_requested())
        return Delivery::NotSent(QStringLiteral("程序正在退出"));

    if (!WriteAll(socket.fd(), bytes, Clock::now() + timeouts_.write, stop))
        return Delivery::MaybeSent(QStringLiteral("发送中断"));
    if (replies_ == StatusReplies::Answered) {
        const std::optional<unsigned char> state = AskStatus(socket.fd(), 1, timeouts_.confirm, stop);
        if (!state)
            return Delivery::MaybeSent(QStringLiteral("打印机没有确认"));
        if (*state & EscPos::kOfflineBit)
            return Delivery::MaybeSent(QStringLiteral("打印机离线"));
        return Delivery::Accepted();
    }
    CloseInOrder(socket.fd(), Clock::now() + timeouts_.confirm, stop);
    return Delivery::Accepted();
}
