#include "lanserve/LanServer.h"

#include "lanserve/HttpText.h"

#include <QFile>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <microhttpd.h>
#include <netinet/tcp.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
// Pages from this size on go gzipped where the browser takes it; shorter ones gain too little.
constexpr qsizetype kGzipFrom = 2048;
constexpr const char* kEntryPage = "/phone/list.asp";
// Room for a request head of up to about 30 KB, so an oversized target (a search of 2000 Chinese
// characters is 18 KB encoded) gets the pages' own readable refusal rather than the library's. The
// library clears this memory after every request, so it is kept no larger.
constexpr size_t kConnectionMemory = 32 * 1024;
constexpr auto kSweepInterval = std::chrono::milliseconds(200);

using ResponsePtr = std::unique_ptr<MHD_Response, decltype(&MHD_destroy_response)>;

QString statusText(int status) {
    switch (status) {
    case 404:
        return QStringLiteral("没有这个页面。");
    case 405:
        return QStringLiteral("不支持这种请求。");
    case 413:
        return QStringLiteral("提交的内容太长，没有保存。请缩短后再试。");
    case 414:
        return QStringLiteral("网址太长，无法打开。");
    case 400:
        return QStringLiteral("请求无效。");
    case 501:
        return QStringLiteral("不支持这种提交方式。");
    default:
        return QStringLiteral("服务出错（%1），请稍后再试。").arg(status);
    }
}

PageResponse refusal(int status) {
    return PhonePages::Message(status, statusText(status));
}

void addSafetyHeaders(MHD_Response* response, const PageResponse& page) {
    MHD_add_response_header(response, "Cache-Control",
                            page.cacheControl.isEmpty() ? "no-store" : page.cacheControl.constData());
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    // same-origin rather than no-referrer: with no-referrer a browser sends "Origin: null" on form posts.
    MHD_add_response_header(response, "Referrer-Policy", "same-origin");
    MHD_add_response_header(
        response, "Content-Security-Policy",
        "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
        "img-src 'self' data:; form-action 'self'; base-uri 'none'; frame-ancestors 'none'");
}

void addCookieHeaders(MHD_Response* response, const PageResponse& page) {
    const std::string session = StaffSignIn::kSessionCookie;
    const std::string device = StaffSignIn::kDeviceCookie;
    const std::string attributes = "; Path=/phone/; HttpOnly; SameSite=Strict";
    if (!page.cookie.isEmpty())
        MHD_add_response_header(response, "Set-Cookie",
                                (session + '=' + page.cookie.toStdString() + attributes).c_str());
    else if (page.endSession)
        MHD_add_response_header(response, "Set-Cookie", (session + "=; Max-Age=0" + attributes).c_str());
    // The device cookie outlives the session: it keeps the phone known to the sign-in for a year.
    if (!page.deviceCookie.isEmpty())
        MHD_add_response_header(response, "Set-Cookie",
                                (device + '=' + page.deviceCookie.toStdString() + "; Max-Age=" +
                                 std::to_string(std::chrono::seconds(DeviceGuard::kDeviceLifetime).count()) +
                                 attributes)
                                    .c_str());
}

std::string_view headerValue(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value ? std::string_view(value) : std::string_view();
}

bool hasHeader(MHD_Connection* connection, const char* name) {
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name) != nullptr;
}

bool isFormBody(MHD_Connection* connection) {
    return HttpText::StartsWithNoCase(headerValue(connection, MHD_HTTP_HEADER_CONTENT_TYPE),
                                      "application/x-www-form-urlencoded");
}

size_t bodyLimit(MHD_Connection* connection) {
    return isFormBody(connection) ? LanServer::kMaxFormBody : LanServer::kMaxBody;
}

bool bodyTooLarge(MHD_Connection* connection) {
    const std::string length(headerValue(connection, MHD_HTTP_HEADER_CONTENT_LENGTH));
    return !length.empty() && std::strtoull(length.c_str(), nullptr, 10) > bodyLimit(connection);
}

// Every Transfer-Encoding header of the request, joined as one list; nullopt when there is none.
std::optional<std::string> transferEncoding(MHD_Connection* connection) {
    std::optional<std::string> codings;
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char* value) {
            auto& joined = *static_cast<std::optional<std::string>*>(cls);
            const std::string_view name = MHD_HTTP_HEADER_TRANSFER_ENCODING;
            if (std::string_view(key).size() == name.size() && HttpText::StartsWithNoCase(key, name))
                joined = (joined ? *joined + ',' : std::string()) + (value ? value : "");
            return MHD_YES;
        },
        &codings);
    return codings;
}

// A body the server cannot read to its end is refused before it is read: otherwise the library would
// wait for the client to close.
std::optional<int> bodyFramingRefusal(MHD_Connection* connection) {
    const std::optional<std::string> codings = transferEncoding(connection);
    if (!codings)
        return std::nullopt;
    if (hasHeader(connection, MHD_HTTP_HEADER_CONTENT_LENGTH))
        return 400; // two lengths that may disagree
    return HttpText::TransferCodingRefusal(*codings);
}

// What refuses a request from its head alone.
std::optional<int> headRefusal(MHD_Connection* connection, const std::string& target) {
    if (target.size() > LanServer::kMaxTarget)
        return 414;
    if (const std::optional<int> refused = bodyFramingRefusal(connection))
        return refused;
    if (bodyTooLarge(connection))
        return 413;
    return std::nullopt;
}

// The library would also split the query into fields of its own, each taking room in the connection's
// small memory: a few hundred fields left it none to read the headers or answer in, and it dropped the
// connection. The pages read their fields from the target kept before this, never from the library, so
// the library is handed an empty query. `uri` is the library's writable copy of the request line, split
// at the '?' right after the request-line callback returns.
void leaveQueryToThePages(const char* uri) {
    char* query = uri ? const_cast<char*>(std::strchr(uri, '?')) : nullptr;
    if (query && query[1] != '\0')
        query[1] = '\0';
}

// The library splits its connection limit among the event-loop threads, and a thread whose share is full
// takes no more. Connections make room for new ones from three quarters of the limit on, so that shares
// filled unevenly still leave a thread that takes the next.
RequestDeadlines::Limits deadlineLimits(unsigned maxConnections) {
    const std::size_t room = std::max(1u, maxConnections * 3 / 4);
    return {.wait = LanServer::kRequestDeadline,
            .crowdedWait = LanServer::kCrowdedRequestDeadline,
            .crowdedFrom = room / 2,
            .room = room};
}

// A browser names the page a form was sent from in Origin. A change must come from these pages, so that
// another web site open on a phone cannot post orders or deletions to the restaurant's server.
bool fromOwnPage(MHD_Connection* connection) {
    if (!hasHeader(connection, "Origin"))
        return true; // older browsers and plain clients send none
    return headerValue(connection, "Origin") == "http://" + std::string(headerValue(connection, "Host"));
}

// The staff session and device cookies from the request's Cookie headers (a browser may split cookies over
// several).
struct StaffCookies {
    std::optional<std::string> session;
    std::optional<std::string> device;
};

StaffCookies staffCookies(MHD_Connection* connection) {
    StaffCookies found;
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char* value) {
            auto& cookies = *static_cast<StaffCookies*>(cls);
            if (value && HttpText::StartsWithNoCase(key, "cookie") && std::string_view(key).size() == 6) {
                if (!cookies.session)
                    cookies.session = HttpText::CookieValue(value, StaffSignIn::kSessionCookie);
                if (!cookies.device)
                    cookies.device = HttpText::CookieValue(value, StaffSignIn::kDeviceCookie);
            }
            return cookies.session && cookies.device ? MHD_NO : MHD_YES;
        },
        &found);
    return found;
}

QString peerAddress(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr || info->client_addr->sa_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(info->client_addr);
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

int socketOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    return info ? info->connect_fd : -1;
}

bool isDishPicturePath(std::string_view path) {
    constexpr std::string_view folder = "/phone/";
    return path.starts_with(folder) && path.substr(folder.size()) == kDishPictureFile;
}

PageResponse redirectTo(const char* location) {
    PageResponse page;
    page.status = 302;
    page.location = QString::fromLatin1(location);
    return page;
}

} // namespace

// One request: the target as the client sent it (never decoded by the library) and the body so far.
struct LanServer::Exchange {
    std::string target;
    std::string body;
    bool headReceived = false; // counted among the requests in flight from here
    bool bodyTooLarge = false; // the rest of the body is read and dropped, then refused
    bool answered = false;
    bool finished = false; // no longer counted
};

// One connection and its current request. Owned by the connection's notices: the library reports every
// connection's end, but not the end of a request it dropped before a page saw it (a head too large).
struct LanServer::Connection {
    int socket = -1;
    Exchange exchange;
};

// The library's C callbacks; `cls` is the server.
struct LanServer::Callbacks {
    static void* requestLine(void* cls, const char* uri, MHD_Connection* connection) {
        auto& server = *static_cast<LanServer*>(cls);
        std::string target = uri ? uri : "";
        leaveQueryToThePages(uri);
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        auto* open = info ? static_cast<Connection*>(info->socket_context) : nullptr;
        if (!open)
            return nullptr;
        server.finishRequest(open->exchange);
        open->exchange = Exchange();
        open->exchange.target = std::move(target);
        return &open->exchange;
    }

    static MHD_Result request(void* cls, MHD_Connection* connection, const char*, const char* method,
                              const char*, const char* uploadData, size_t* uploadSize, void** context) {
        try {
            return take(*static_cast<LanServer*>(cls), connection, method, uploadData, uploadSize, context)
                       ? MHD_YES
                       : MHD_NO;
        } catch (const std::exception&) {
            return MHD_NO; // only running out of memory gets here: the connection is dropped
        }
    }

    // Takes the next part of a request: its head, a piece of its body, or its end, which is answered.
    static bool take(LanServer& server, MHD_Connection* connection, const char* method,
                     const char* uploadData, size_t* uploadSize, void** context) {
        auto* exchange = static_cast<Exchange*>(*context);
        if (!exchange)
            return false;
        if (exchange->answered) {
            *uploadSize = 0;
            return true;
        }
        if (!exchange->headReceived) {
            exchange->headReceived = true;
            server.startRequest();
            if (const std::optional<int> refused = headRefusal(connection, exchange->target)) {
                server.deadlines_.received(socketOf(connection));
                return server.answer(connection, *exchange, refusal(*refused));
            }
            // Answered at the next call, when any body is in: an answer queued now would end the
            // connection, as the library can no longer tell where the next request starts.
            return true;
        }
        if (*uploadSize > 0) {
            takeBody(connection, *exchange, std::string_view(uploadData, *uploadSize));
            *uploadSize = 0;
            return true;
        }
        // The whole request is in: from here it is the server's time, not the client's.
        server.deadlines_.received(socketOf(connection));
        return server.answer(connection, *exchange,
                             exchange->bodyTooLarge ? refusal(413)
                                                    : answerOrFailure(server, connection, method, *exchange));
    }

    // A chunked body gives no length ahead: one that grows too long is dropped as it comes and refused
    // at its end (the library reads a body to its end before it answers; the request deadline bounds it).
    static void takeBody(MHD_Connection* connection, Exchange& exchange, std::string_view piece) {
        if (exchange.bodyTooLarge)
            return;
        if (exchange.body.size() + piece.size() > bodyLimit(connection)) {
            exchange.bodyTooLarge = true;
            exchange.body = std::string();
            return;
        }
        exchange.body.append(piece);
    }

    static PageResponse answerOrFailure(LanServer& server, MHD_Connection* connection, const char* method,
                                        const Exchange& exchange) {
        try {
            return server.respond(connection, method, exchange);
        } catch (const std::exception&) {
            return refusal(500);
        }
    }

    static void completed(void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
        auto& server = *static_cast<LanServer*>(cls);
        if (auto* exchange = static_cast<Exchange*>(*context))
            server.finishRequest(*exchange);
        *context = nullptr;
        server.deadlines_.answered(socketOf(connection));
    }

    static void connection(void* cls, MHD_Connection* connection, void** socketContext,
                           MHD_ConnectionNotificationCode code) {
        auto& server = *static_cast<LanServer*>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            auto open = std::make_unique<Connection>();
            open->socket = socketOf(connection);
            // Small answers go out at once instead of waiting for the client's acknowledgement.
            const int on = 1;
            setsockopt(open->socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            server.deadlines_.opened(open->socket);
            // Owned by the library's connection from here; taken back when it closes.
            *socketContext = open.release();
            return;
        }
        const std::unique_ptr<Connection> open(static_cast<Connection*>(*socketContext));
        *socketContext = nullptr;
        if (!open)
            return;
        server.finishRequest(open->exchange);
        server.deadlines_.closed(open->socket);
    }
};

LanServer::LanServer(Database& db, LanServerOptions options)
    : options_(std::move(options)), pages_(db, dbMutex_, options_.dataFolder + QStringLiteral("/phone")),
      deadlines_(deadlineLimits(options_.maxConnections)) {
    if (!options_.staticCopy.isEmpty()) {
        QFile file(options_.staticCopy);
        if (file.open(QIODevice::ReadOnly))
            staticBody_ = file.readAll();
    }
}

LanServer::~LanServer() {
    if (listenSocket_ >= 0)
        ::close(listenSocket_);
}

bool LanServer::bind() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options_.port));
    if (inet_pton(AF_INET, options_.host.toLatin1().constData(), &address.sin_addr) != 1)
        return false;
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    const int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t length = sizeof address;
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket, kBacklog) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(socket);
        return false;
    }
    options_.port = ntohs(address.sin_port);
    listenSocket_ = socket;
    return true;
}

bool LanServer::run() {
    {
        const std::scoped_lock lock(stateMutex_);
        if (stopRequested_)
            return true;
    }
    deadlines_.startSweeping(kSweepInterval);
    // poll() rather than epoll: with epoll's edge triggering the library misses a client's end of input
    // that arrives with the last bytes of a request, and keeps the connection until the idle timeout. A
    // few hundred connections over several threads cost poll() nothing measurable.
    MHD_Daemon* daemon = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ITC, 0, nullptr, nullptr,
        &Callbacks::request, this, MHD_OPTION_LISTEN_SOCKET, listenSocket_, MHD_OPTION_THREAD_POOL_SIZE,
        static_cast<unsigned>(std::max(1, options_.threads)), MHD_OPTION_CONNECTION_LIMIT,
        options_.maxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, kConnectionsPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
        MHD_OPTION_URI_LOG_CALLBACK, &Callbacks::requestLine, this, MHD_OPTION_NOTIFY_COMPLETED,
        &Callbacks::completed, this, MHD_OPTION_NOTIFY_CONNECTION, &Callbacks::connection, this,
        MHD_OPTION_END);
    if (!daemon)
        return false;
    // The daemon owns the listening socket now; it comes back when the daemon stops listening.
    listenSocket_ = -1;
    daemon_ = daemon;
    {
        std::unique_lock lock(stateMutex_);
        stopAsked_.wait(lock, [this] { return stopRequested_; });
    }
    stopping_ = true;
    const MHD_socket listening = MHD_quiesce_daemon(daemon);
    waitForRequestsInFlight();
    daemon_ = nullptr;
    MHD_stop_daemon(daemon);
    if (listening != MHD_INVALID_SOCKET)
        ::close(listening);
    return true;
}

void LanServer::stop() {
    const std::scoped_lock lock(stateMutex_);
    stopRequested_ = true;
    stopAsked_.notify_all();
}

bool LanServer::serveConnection(int socket, const sockaddr_in& peer) {
    MHD_Daemon* daemon = daemon_;
    if (!daemon) {
        ::close(socket);
        return false;
    }
    return MHD_add_connection(daemon, socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) ==
           MHD_YES;
}

void LanServer::startRequest() {
    ++requestsInFlight_;
}

void LanServer::finishRequest(Exchange& exchange) {
    if (!exchange.headReceived || exchange.finished)
        return;
    exchange.finished = true;
    // Only a stopping server waits for the count, so only then is the lock taken.
    if (--requestsInFlight_ == 0 && stopping_) {
        const std::scoped_lock lock(stateMutex_);
        drained_.notify_all();
    }
}

void LanServer::waitForRequestsInFlight() {
    std::unique_lock lock(stateMutex_);
    drained_.wait_for(lock, kDrainTime, [this] { return requestsInFlight_ == 0; });
}

PageResponse LanServer::respond(MHD_Connection* connection, std::string_view method,
                                const Exchange& exchange) {
    const bool post = method == MHD_HTTP_METHOD_POST;
    if (!post && method != MHD_HTTP_METHOD_GET && method != MHD_HTTP_METHOD_HEAD)
        return refusal(405);
    const HttpText::Target target = HttpText::SplitTarget(exchange.target);
    if (!post && HttpText::IsEntryPath(target.path))
        return redirectTo(kEntryPage);
    if (!post && target.path == "/favicon.ico") {
        PageResponse nothing;
        nothing.status = 204;
        return nothing;
    }
    if (!post && !staticBody_.isEmpty() && target.path == "/bench/static.html") {
        PageResponse copy;
        copy.body = staticBody_;
        return copy;
    }
    // Every name of that form goes to the pages, which know the seven they serve and answer the rest
    // with 404; so does the one picture address.
    const std::optional<std::string> page =
        isDishPicturePath(target.path) ? kDishPictureFile : HttpText::PageOfPath(target.path);
    if (!page)
        return refusal(404);
    if (post && !fromOwnPage(connection))
        return PhonePages::Message(403, QStringLiteral("请从点餐页面提交，其他网页不能修改账单。"));
    PageRequest request;
    request.page = QString::fromLatin1(*page);
    request.post = post;
    request.peer = peerAddress(connection);
    const StaffCookies cookies = staffCookies(connection);
    request.staffSession = QString::fromLatin1(cookies.session.value_or(std::string()));
    request.deviceToken = QString::fromLatin1(cookies.device.value_or(std::string()));
    request.unreadableFields = HttpText::AddFormFields(target.query, request.params);
    if (post && isFormBody(connection))
        request.unreadableFields += HttpText::AddFormFields(exchange.body, request.params);
    return pages_.handle(request);
}

bool LanServer::answer(MHD_Connection* connection, Exchange& exchange, const PageResponse& page) {
    exchange.answered = true;
    // A long page goes gzipped to a browser that takes it: a whole menu shrinks about tenfold on the Wi-Fi.
    // Pictures are compressed already.
    const bool gzip = page.contentType.isEmpty() && page.body.size() >= kGzipFrom &&
                      HttpText::AcceptsGzip(headerValue(connection, MHD_HTTP_HEADER_ACCEPT_ENCODING));
    QByteArray gzipped = gzip ? HttpText::Gzipped(page.body) : QByteArray();
    const bool sendGzipped = !gzipped.isEmpty();
    // The response holds a share of the page's bytes (a kept page is not copied); the library lets go of
    // it when the answer is sent.
    auto body = std::make_unique<QByteArray>(gzipped.isEmpty() ? page.body : std::move(gzipped));
    const ResponsePtr response(MHD_create_response_from_buffer_with_free_callback_cls(
                                   static_cast<size_t>(body->size()), const_cast<char*>(body->constData()),
                                   [](void* held) { delete static_cast<QByteArray*>(held); }, body.get()),
                               &MHD_destroy_response);
    if (!response)
        return false;
    body.release();
    addSafetyHeaders(response.get(), page);
    addCookieHeaders(response.get(), page);
    if (!page.location.isEmpty())
        MHD_add_response_header(response.get(), MHD_HTTP_HEADER_LOCATION, page.location.toUtf8().constData());
    else if (!page.body.isEmpty())
        MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE,
                                page.contentType.isEmpty() ? kHtml : page.contentType.constData());
    if (page.contentType.isEmpty() && page.body.size() >= kGzipFrom)
        MHD_add_response_header(response.get(), MHD_HTTP_HEADER_VARY, MHD_HTTP_HEADER_ACCEPT_ENCODING);
    if (sendGzipped)
        MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
    // A refused request leaves the connection: whatever else the client sends on it is not read.
    if (page.status >= 400 || stopping_)
        MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONNECTION, "close");
    return MHD_queue_response(connection, static_cast<unsigned>(page.status), response.get()) == MHD_YES;
}
