#pragma once

#include "print/Transport.h"

#include <chrono>

// A CUPS queue, given the bytes raw (application/vnd.cups-raw) so no filter touches the ESC/POS commands.
// The job is accepted once CUPS has taken the whole document; from then on CUPS holds it. Every wait for
// CUPS looks at the stop token, so a CUPS that does not answer holds up neither the printer's other jobs
// longer than `answerWithin` nor the program's end.
class CupsTransport : public RawTransport {
public:
    explicit CupsTransport(QString queue, std::chrono::milliseconds answerWithin = std::chrono::seconds(30))
        : queue_(std::move(queue)), answerWithin_(answerWithin) {}

protected:
    Delivery send(const QByteArray& bytes, std::stop_token stop) override;

private:
    QString queue_;
    std::chrono::milliseconds answerWithin_;
};
