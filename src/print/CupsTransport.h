#pragma once

#include "print/Transport.h"

// A CUPS queue, given the bytes raw (application/vnd.cups-raw) so no filter touches the ESC/POS commands.
// The job is accepted once CUPS has taken the whole document; from then on CUPS holds it.
class CupsTransport : public RawTransport {
public:
    explicit CupsTransport(QString queue) : queue_(std::move(queue)) {}

protected:
    Delivery send(const QByteArray& bytes, std::stop_token stop) override;

private:
    QString queue_;
};
