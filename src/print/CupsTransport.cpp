// The IPP request is built here rather than through cupsCreateJob: that looks the queue up over a
// connection of libcups's own, whose waits cannot be cut short, while every wait on this send's own
// connection asks the stop token.
#include "print/CupsTransport.h"

#include <cups/cups.h>
#include <memory>
#include <sys/socket.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long one wait inside libcups lasts before it asks whether to go on.
constexpr double kSliceSeconds = 0.1;
constexpr int kConnectMs = 3000;

QString CupsError() {
    return QStringLiteral("CUPS：") + QString::fromUtf8(cupsLastErrorString());
}

// What libcups's waits ask through the timeout callback: go on waiting unless a stop was requested or the
// time for CUPS to answer is up.
struct Patience {
    std::stop_token stop;
    Clock::time_point deadline;
};

int KeepWaiting(http_t*, void* data) {
    const auto* patience = static_cast<const Patience*>(data);
    return !patience->stop.stop_requested() && Clock::now() < patience->deadline ? 1 : 0;
}

using Connection = std::unique_ptr<http_t, decltype(&httpClose)>;
using Message = std::unique_ptr<ipp_t, decltype(&ippDelete)>;

// Print-Job for the queue, the document raw.
Message PrintJobRequest(const QByteArray& queue) {
    Message request(ippNewRequest(IPP_OP_PRINT_JOB), &ippDelete);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", queue.constData());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "cjpos");
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 CUPS_FORMAT_RAW);
    return request;
}

} // namespace

Delivery CupsTransport::send(const QByteArray& bytes, std::stop_token stop) {
    if (stop.stop_requested())
        return Delivery::NotSent(QStringLiteral("程序正在退出"));
    const Connection http(
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectMs, nullptr),
        &httpClose);
    if (!http)
        return Delivery::NotSent(QStringLiteral("CUPS 没有运行"));
    Patience patience{stop, Clock::now() + answerWithin_};
    httpSetTimeout(http.get(), kSliceSeconds, KeepWaiting, &patience);

    const QByteArray queue = queue_.toUtf8();
    const QByteArray resource = "/printers/" + queue;
    const Message request = PrintJobRequest(queue);
    http_status_t status =
        cupsSendRequest(http.get(), request.get(), resource.constData(), static_cast<size_t>(bytes.size()));
    if (status == HTTP_STATUS_CONTINUE)
        status = cupsWriteRequestData(http.get(), bytes.constData(), static_cast<size_t>(bytes.size()));
    // A document cut short never prints: CUPS drops the request.
    if (status != HTTP_STATUS_CONTINUE)
        return Delivery::NotSent(CupsError());
    const Message response(cupsGetResponse(http.get(), resource.constData()), &ippDelete);
    // The whole document went out: without CUPS's answer it may hold the job all the same.
    if (!response)
        return Delivery::MaybeSent(QStringLiteral("CUPS 没有回应"));
    if (ippGetStatusCode(response.get()) > IPP_STATUS_OK_CONFLICTING)
        return Delivery::NotSent(CupsError());
    return Delivery::Accepted();
}
