#pragma once

#include "print/Transport.h"

#include <chrono>

// A USB printer's device file (the kernel's usblp driver: /dev/usb/lp0). Where the driver reports the
// printer's status, a printer out of paper is not sent to. The bytes are accepted once the printer took the
// driver's last transfer of them.
class UsbTransport : public RawTransport {
public:
    explicit UsbTransport(QString path, std::chrono::milliseconds writeTimeout = std::chrono::seconds(10));

protected:
    Delivery send(const QByteArray& bytes, std::stop_token stop) override;

private:
    QString path_;
    std::chrono::milliseconds writeTimeout_;
};
