// Plain POSIX sockets: every wait is cut into short slices that look at the stop token, which the blocking
// calls of QTcpSocket do not allow, and the send queue (SIOCOUTQ) tells what the printer acknowledged.
#include "print/TcpTransport.h"

#include "print/EscPos.h"

#include <QByteArray>
#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <linux/sockios.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

// What the printer did after the last byte went out.
struct PrinterEnding {
    QByteArray replies;   // the status bytes it sent back, in order
    bool closed = false;  // it closed its side in order
    bool broken = false;  // the connection was reset or failed
    bool drained = false; // every byte sent, and the close after them, was acknowledged
};

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
constexpr int kSliceMs = 100;
// While only acknowledgements are awaited (they wake no poll), the queue is looked at this often.
constexpr int kAckSliceMs = 2;

const QString kNotConnected = QStringLiteral("未连接");
const QString kUnresolvable = QStringLiteral("地址无法解析");
const QString kCutOff = QStringLiteral("发送中断");
const QString kNotConfirmed = QStringLiteral("打印机没有确认");
const QString kPaperOut = QStringLiteral("缺纸");

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
    // Closes with a reset, so bytes still queued never reach the printer after the job was given up.
    void abort() {
        const linger now{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }

private:
    int fd_ = -1;
};

using AddressList = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

// A name lookup on a thread of its own, so a name server that does not answer holds up neither the send's
// stop nor the program's end: a lookup given up finishes by itself and frees what it found.
struct NameLookup {
    std::mutex mutex;
    std::condition_variable_any done;
    bool finished = false;
    int status = EAI_FAIL;
    addrinfo* found = nullptr;

    ~NameLookup() {
        if (found)
            ::freeaddrinfo(found);
    }
};

AddressList LookUpName(const QByteArray& host, const QByteArray& port, Clock::time_point deadline,
                       const std::stop_token& stop) {
    auto lookup = std::make_shared<NameLookup>();
    try {
        std::thread([lookup, host, port] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            const int status = ::getaddrinfo(host.constData(), port.constData(), &hints, &found);
            const std::scoped_lock lock(lookup->mutex);
            lookup->status = status;
            lookup->found = found;
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return {nullptr, &::freeaddrinfo};
    }
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_until(lock, stop, deadline, [&] { return lookup->finished; }) ||
        lookup->status != 0)
        return {nullptr, &::freeaddrinfo};
    return {std::exchange(lookup->found, nullptr), &::freeaddrinfo};
}

// The host's addresses: a numeric address at once, a name through the name service.
AddressList Resolve(const QString& host, quint16 port, Clock::time_point deadline,
                    const std::stop_token& stop) {
    const QByteArray name = host.toUtf8();
    const QByteArray service = QByteArray::number(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.constData(), service.constData(), &hints, &found) == 0)
        return {found, &::freeaddrinfo};
    return LookUpName(name, service, deadline, stop);
}

// Waits until the socket is ready for `events` or the deadline passes or a stop is requested.
bool WaitFor(int fd, short events, Clock::time_point deadline, const std::stop_token& stop) {
    while (!stop.stop_requested()) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
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

Socket Connect(const addrinfo* addresses, Clock::time_point deadline, const std::stop_token& stop) {
    for (const addrinfo* address = addresses; address; address = address->ai_next)
        if (Socket socket = ConnectOne(*address, deadline, stop); socket.valid()) {
            // Each write is a whole request or job: its last segment must not wait for the printer to
            // acknowledge the one before (which it may put off for 40 ms or more).
            const int on = 1;
            ::setsockopt(socket.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return socket;
        }
    return {};
}

// Writes the bytes; how many the connection took before it failed or the time was up.
qsizetype WriteAll(int fd, const QByteArray& bytes, Clock::time_point deadline, const std::stop_token& stop) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.constData() + written,
                                    static_cast<size_t>(bytes.size() - written), MSG_NOSIGNAL);
        if (sent > 0) {
            written += sent;
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            break;
        if (!WaitFor(fd, POLLOUT, deadline, stop))
            break;
    }
    return written;
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

std::optional<unsigned char> AskStatus(int fd, int n, milliseconds wait, const std::stop_token& stop) {
    const Clock::time_point deadline = Clock::now() + wait;
    if (WriteAll(fd, EscPos::StatusRequest(n), deadline, stop) < 3)
        return std::nullopt;
    return ReadStatus(fd, deadline, stop);
}

// Bytes sent that the printer has not acknowledged yet (the close counts as one).
int Unacknowledged(int fd) {
    int queued = 0;
    return ::ioctl(fd, SIOCOUTQ, &queued) == 0 ? queued : 1;
}

// Takes what the printer sent without waiting; false when the connection broke.
bool TakeReplies(int fd, PrinterEnding& ending) {
    if (ending.closed) {
        int error = 0;
        socklen_t size = sizeof error;
        return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    char buffer[64];
    while (true) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0) {
            ending.closed = true;
            return true;
        }
        if (got < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        for (ssize_t i = 0; i < got; ++i)
            if (EscPos::IsStatusByte(static_cast<unsigned char>(buffer[i])))
                ending.replies.append(buffer[i]);
    }
}

// After the last byte and our orderly close: waits until the printer has sent the `wanted` status replies,
// or closed its side with every byte acknowledged, until it breaks the connection, or until the deadline or
// a stop.
PrinterEnding AwaitEnding(int fd, qsizetype wanted, Clock::time_point deadline, const std::stop_token& stop) {
    PrinterEnding ending;
    while (true) {
        if (!TakeReplies(fd, ending)) {
            ending.broken = true;
            return ending;
        }
        // The answer to the request after the job says every byte before it arrived.
        if (wanted > 0 && ending.replies.size() >= wanted)
            return ending;
        ending.drained = Unacknowledged(fd) == 0;
        if (ending.drained && ending.closed)
            return ending;
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        if (stop.stop_requested() || left.count() <= 0)
            return ending;
        const int slice = ending.closed ? kAckSliceMs : kSliceMs;
        // Once the printer closed, only a reset or the end of the connection is left to hear.
        pollfd entry{fd, static_cast<short>(ending.closed ? 0 : POLLIN), 0};
        ::poll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), slice)));
    }
}

bool PaperOut(unsigned char rollStatus) {
    return (rollStatus & EscPos::kPaperOutBits) == EscPos::kPaperOutBits;
}

} // namespace

TcpTransport::TcpTransport(QString host, quint16 port, Timeouts timeouts)
    : host_(std::move(host)), port_(port), timeouts_(timeouts) {}

Delivery TcpTransport::send(const QByteArray& bytes, std::stop_token stop) {
    const AddressList addresses = Resolve(host_, port_, Clock::now() + timeouts_.resolve, stop);
    if (stop.stop_requested())
        return Delivery::NotSent(QStringLiteral("程序正在退出"));
    if (!addresses)
        return Delivery::NotSent(kUnresolvable);
    Socket socket = Connect(addresses.get(), Clock::now() + timeouts_.connect, stop);
    if (!socket.valid())
        return Delivery::NotSent(kNotConnected);

    if (replies_ == StatusReplies::Answered) {
        const std::optional<unsigned char> paper = AskStatus(socket.fd(), 4, timeouts_.status, stop);
        if (!paper) {
            // Perhaps another printer now: the next job learns again how it answers.
            replies_ = StatusReplies::Unknown;
            return Delivery::NotSent(QStringLiteral("没有响应"));
        }
        if (PaperOut(*paper))
            return Delivery::NotSent(kPaperOut);
    }
    if (stop.stop_requested())
        return Delivery::NotSent(QStringLiteral("程序正在退出"));

    const QByteArray ahead = replies_ == StatusReplies::Unknown ? EscPos::StatusRequest(4) : QByteArray();
    const QByteArray after = replies_ != StatusReplies::Silent ? EscPos::StatusRequest(1) : QByteArray();
    const qsizetype written =
        WriteAll(socket.fd(), ahead + bytes + after, Clock::now() + timeouts_.write, stop);
    if (written < ahead.size() + bytes.size() + after.size()) {
        socket.abort();
        return written <= ahead.size() ? Delivery::NotSent(kNotConnected) : Delivery::MaybeSent(kCutOff);
    }
    ::shutdown(socket.fd(), SHUT_WR);
    const Delivery delivery =
        judge(AwaitEnding(socket.fd(), wantedReplies(), Clock::now() + timeouts_.confirm, stop));
    if (delivery.outcome != Delivery::Outcome::Accepted)
        socket.abort();
    return delivery;
}

qsizetype TcpTransport::wantedReplies() const {
    switch (replies_) {
    case StatusReplies::Unknown:
        return 2;
    case StatusReplies::Answered:
        return 1;
    case StatusReplies::Silent:
        break;
    }
    return 0;
}

Delivery TcpTransport::judge(const PrinterEnding& ending) {
    const qsizetype wanted = wantedReplies();
    if (wanted > 0 && ending.replies.size() >= wanted) {
        // The printer's own word, whatever became of the connection after it.
        replies_ = StatusReplies::Answered;
        if (wanted == 2 && PaperOut(static_cast<unsigned char>(ending.replies.front())))
            return Delivery::MaybeSent(kPaperOut);
        if (static_cast<unsigned char>(ending.replies.back()) & EscPos::kOfflineBit)
            return Delivery::MaybeSent(QStringLiteral("打印机离线"));
        return Delivery::Accepted();
    }
    if (ending.broken)
        return Delivery::MaybeSent(kCutOff);
    if (!ending.drained)
        return Delivery::MaybeSent(QStringLiteral("打印机没有收完"));
    if (replies_ == StatusReplies::Unknown && ending.replies.isEmpty() && ending.closed) {
        replies_ = StatusReplies::Silent;
        return Delivery::Accepted();
    }
    if (replies_ == StatusReplies::Unknown && !ending.replies.isEmpty()) {
        // It answers status, but did not confirm this job.
        replies_ = StatusReplies::Answered;
        if (PaperOut(static_cast<unsigned char>(ending.replies.front())))
            return Delivery::MaybeSent(kPaperOut);
    }
    if (replies_ == StatusReplies::Silent && ending.closed)
        return Delivery::Accepted();
    return Delivery::MaybeSent(kNotConfirmed);
}
