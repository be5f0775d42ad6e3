#pragma once

#include "print/Transport.h"

#include <chrono>

// A network printer's raw port (usually 9100). The job is done only when the printer has taken every byte:
// the connection's send queue drained (every byte acknowledged), no reset, and then either the printer's
// answer to the status request sent after the job (DLE EOT 1, answered once every byte before it arrived)
// or, from a printer that never answers status, its orderly close. Whether a printer answers is learnt
// from the first job itself, which asks for the paper roll status (DLE EOT 4) ahead of its bytes without
// waiting for the answer; from then on a printer that answers is asked before each job whether it has
// paper. Anything less after bytes went out leaves the job to go out again whole, marked 补打.
struct TcpTimeouts {
    std::chrono::milliseconds resolve{5000};
    std::chrono::milliseconds connect{3000};
    std::chrono::milliseconds status{1500};
    std::chrono::milliseconds write{10000};
    std::chrono::milliseconds confirm{5000};
};

struct PrinterEnding;

class TcpTransport : public RawTransport {
public:
    using Timeouts = TcpTimeouts;

    TcpTransport(QString host, quint16 port, Timeouts timeouts = {});

protected:
    Delivery send(const QByteArray& bytes, std::stop_token stop) override;

private:
    enum class StatusReplies { Unknown, Answered, Silent };

    // Status replies a job asks for: the paper roll's and the printer's while it is not known whether the
    // printer answers, the printer's once it does, none from one that does not.
    qsizetype wantedReplies() const;
    // What the printer said after the last byte, as a delivery; learns whether it answers status.
    Delivery judge(const PrinterEnding& ending);

    QString host_;
    quint16 port_;
    Timeouts timeouts_;
    StatusReplies replies_ = StatusReplies::Unknown;
};
