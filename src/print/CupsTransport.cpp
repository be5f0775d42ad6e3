#include "print/CupsTransport.h"

#include <cups/cups.h>

namespace {

QString CupsError() {
    return QStringLiteral("CUPS：") + QString::fromUtf8(cupsLastErrorString());
}

} // namespace

Delivery CupsTransport::send(const QByteArray& bytes, std::stop_token stop) {
    if (stop.stop_requested())
        return Delivery::NotSent(QStringLiteral("程序正在退出"));
    const QByteArray queue = queue_.toUtf8();
    const char* title = "cjpos";
    // CUPS_HTTP_DEFAULT is a connection of this thread's own.
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.constData(), title, 0, nullptr);
    if (job == 0)
        return Delivery::NotSent(CupsError());
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, queue.constData(), job, title, CUPS_FORMAT_RAW, 1) !=
            HTTP_STATUS_CONTINUE ||
        cupsWriteRequestData(CUPS_HTTP_DEFAULT, bytes.constData(), static_cast<size_t>(bytes.size())) !=
            HTTP_STATUS_CONTINUE) {
        const QString why = CupsError();
        cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.constData());
        cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
        return Delivery::NotSent(why);
    }
    if (cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.constData()) != IPP_STATUS_OK) {
        const QString why = CupsError();
        cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
        return Delivery::NotSent(why);
    }
    return Delivery::Accepted();
}
