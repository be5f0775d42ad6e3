#pragma once

#include "print/Transport.h"

#include <chrono>

// A network printer's raw port (usually 9100). Before the job, the paper roll status (DLE EOT 4) tells
// whether the paper is out and whether the printer answers status requests at all; after the job, a
// printer that does is asked once more (DLE EOT 1), and its answer, which comes only once every byte
// before it has arrived, is the acceptance. A printer that never answers is taken to have accepted the
// job once every byte is written and the connection closed in order.
struct TcpTimeouts {
    std::chrono::milliseconds connect{3000};
    std::chrono::milliseconds status{1500};
    std::chrono::milliseconds write{10000};
    std::chrono::milliseconds confirm{5000};
};

class TcpTransport : public RawTransport {
public:
    using Timeouts = TcpTimeouts;

    TcpTransport(QString host, quint16 port, Timeouts timeouts = {});

protected:
    Delivery send(const QByteArray& bytes, std::stop_token stop) override;

private:
    enum class StatusReplies { Unknown, Answered, Silent };

    QString host_;
    quint16 port_;
    Timeouts timeouts_;
    StatusReplies replies_ = StatusReplies::Unknown;
};
