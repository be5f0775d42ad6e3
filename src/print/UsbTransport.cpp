#include "print/UsbTransport.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/lp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMs = 100;

class Device {
public:
    explicit Device(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC)) {}
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int fd() const { return fd_; }

private:
    int fd_;
};

bool PaperOut(int fd) {
    int status = 0;
    // Only printer devices answer; a plain file or pipe does not, and is taken to have paper.
    return ::ioctl(fd, LPGETSTATUS, &status) == 0 && (status & LP_POUTPA) != 0;
}

} // namespace

UsbTransport::UsbTransport(QString path, std::chrono::milliseconds writeTimeout)
    : path_(std::move(path)), writeTimeout_(writeTimeout) {}

Delivery UsbTransport::send(const QByteArray& bytes, std::stop_token stop) {
    const Device device(path_);
    if (device.fd() < 0)
        return Delivery::NotSent(
            QStringLiteral("未连接（%1）").arg(QString::fromLocal8Bit(std::strerror(errno))));
    if (PaperOut(device.fd()))
        return Delivery::NotSent(QStringLiteral("缺纸"));

    const Clock::time_point deadline = Clock::now() + writeTimeout_;
    qsizetype written = 0;
    while (written < bytes.size()) {
        if (stop.stop_requested() || Clock::now() >= deadline)
            return written == 0 ? Delivery::NotSent(QStringLiteral("没有响应"))
                                : Delivery::MaybeSent(QStringLiteral("发送中断"));
        const ssize_t sent =
            ::write(device.fd(), bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (sent > 0) {
            written += sent;
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return written == 0 ? Delivery::NotSent(QStringLiteral("未连接"))
                                : Delivery::MaybeSent(QStringLiteral("发送中断"));
        pollfd entry{device.fd(), POLLOUT, 0};
        ::poll(&entry, 1, kSliceMs);
    }
    // The driver says the device is writable again only once the printer took its last transfer.
    while (!stop.stop_requested() && Clock::now() < deadline) {
        pollfd entry{device.fd(), POLLOUT, 0};
        if (::poll(&entry, 1, kSliceMs) > 0)
            return PaperOut(device.fd()) ? Delivery::MaybeSent(QStringLiteral("缺纸")) : Delivery::Accepted();
    }
    return Delivery::MaybeSent(QStringLiteral("打印机没有收完"));
}
