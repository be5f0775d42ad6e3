#include "mobile/server/LanServer.h"

#include <QFile>
#include <httplib.h>

#include <netinet/in.h>
#include <sys/socket.h>

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";

void addSafetyHeaders(httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("X-Frame-Options", "DENY");
    // same-origin rather than no-referrer: with no-referrer a browser sends "Origin: null" on form posts.
    res.set_header("Referrer-Policy", "same-origin");
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
                   "img-src data:; form-action 'self'; base-uri 'none'; frame-ancestors 'none'");
}

void send(httplib::Response& res, const PageResponse& page) {
    addSafetyHeaders(res);
    res.status = page.status;
    if (!page.cookie.isEmpty())
        res.set_header("Set-Cookie", std::string(PhonePages::kSessionCookie) + '=' +
                                         page.cookie.toStdString() +
                                         "; Path=/phone/; HttpOnly; SameSite=Strict");
    else if (page.endSession)
        res.set_header("Set-Cookie", std::string(PhonePages::kSessionCookie) +
                                         "=; Path=/phone/; Max-Age=0; HttpOnly; SameSite=Strict");
    if (!page.location.isEmpty()) {
        res.set_header("Location", page.location.toStdString());
        return;
    }
    res.set_content(page.body.constData(), static_cast<size_t>(page.body.size()), kHtml);
}

QString statusText(int status) {
    switch (status) {
    case 404:
        return QStringLiteral("没有这个页面。");
    case 413:
        return QStringLiteral("提交的内容太长，没有保存。请缩短后再试。");
    case 400:
        return QStringLiteral("请求无效。");
    default:
        return QStringLiteral("服务出错（%1），请稍后再试。").arg(status);
    }
}

// cpp-httplib listens with a backlog of 5. When more phones (or a browser's parallel connections) connect
// at once, the kernel drops the surplus handshakes and those clients wait a second or more for a retry.
// Listening again on the bound socket raises the backlog; the socket is found by its port.
void widenBacklog(int port, int backlog) {
    for (int fd = 0; fd < 1024; ++fd) {
        int accepting = 0;
        socklen_t length = sizeof accepting;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) != 0 || !accepting)
            continue;
        sockaddr_storage address{};
        socklen_t addressLength = sizeof address;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &addressLength) != 0)
            continue;
        const int boundPort = address.ss_family == AF_INET
                                  ? ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port)
                              : address.ss_family == AF_INET6
                                  ? ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port)
                                  : -1;
        if (boundPort == port)
            ::listen(fd, backlog);
    }
}

// A browser names the page a form was sent from in Origin. A change must come from these pages, so that
// another web site open on a phone cannot post orders or deletions to the restaurant's server.
bool fromOwnPage(const httplib::Request& req) {
    if (!req.has_header("Origin"))
        return true; // older browsers and plain clients send none
    return req.get_header_value("Origin") == "http://" + req.get_header_value("Host");
}

// The value of one cookie from the request's Cookie headers, or an empty text.
QString cookieValue(const httplib::Request& req, const std::string& name) {
    const size_t count = req.get_header_value_count("Cookie");
    for (size_t i = 0; i < count; ++i) {
        const std::string header = req.get_header_value("Cookie", i);
        size_t start = 0;
        while (start < header.size()) {
            size_t end = header.find(';', start);
            if (end == std::string::npos)
                end = header.size();
            std::string pair = header.substr(start, end - start);
            const size_t first = pair.find_first_not_of(' ');
            pair = first == std::string::npos ? std::string() : pair.substr(first);
            if (pair.size() > name.size() && pair.compare(0, name.size(), name) == 0 &&
                pair[name.size()] == '=')
                return QString::fromLatin1(pair.substr(name.size() + 1));
            start = end + 1;
        }
    }
    return {};
}

} // namespace

LanServer::LanServer(Database& db, LanServerOptions options)
    : options_(std::move(options)), pages_(db, dbMutex_, options_.dataFolder + QStringLiteral("/phone")),
      server_(std::make_unique<httplib::Server>()) {
    if (!options_.staticCopy.isEmpty()) {
        QFile file(options_.staticCopy);
        if (file.open(QIODevice::ReadOnly))
            staticBody_ = file.readAll();
    }
    const int threads = std::max(1, options_.threads);
    server_->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
    server_->set_tcp_nodelay(true);
    server_->set_payload_max_length(kMaxBody);
    server_->set_read_timeout(5, 0);
    server_->set_write_timeout(5, 0);
    server_->set_keep_alive_timeout(5);
    // The library listens with a backlog of 5: connections that reconnect in a burst would wait for a SYN
    // retry (a second), so each connection is kept for many requests.
    server_->set_keep_alive_max_count(10000);
    route();
}

LanServer::~LanServer() = default;

void LanServer::route() {
    const auto handlePage = [this](const httplib::Request& req, httplib::Response& res) {
        if (req.method == "POST" && !fromOwnPage(req)) {
            send(res, PhonePages::Message(403, QStringLiteral("请从点餐页面提交，其他网页不能修改账单。")));
            return;
        }
        PageRequest request;
        request.page = QString::fromStdString(req.matches[1].str());
        request.post = req.method == "POST";
        request.peer = QString::fromStdString(req.remote_addr);
        request.staffSession = cookieValue(req, PhonePages::kSessionCookie);
        for (const auto& [key, value] : req.params)
            request.params.insert(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())),
                                  QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
        send(res, pages_.handle(request));
    };
    // Every name goes to the pages, which know the seven they serve and answer the rest with 404.
    const char* pagePattern = R"(/phone/([a-z]{1,20}\.asp))";
    server_->Get(pagePattern, handlePage);
    server_->Post(pagePattern, handlePage);
    server_->Get("/favicon.ico", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
    if (!staticBody_.isEmpty()) {
        server_->Get("/bench/static.html", [this](const httplib::Request&, httplib::Response& res) {
            addSafetyHeaders(res);
            res.set_content(staticBody_.constData(), static_cast<size_t>(staticBody_.size()), kHtml);
        });
    }
    // Every refusal (unknown path, oversized body, bad request) gets a readable page.
    const httplib::Server::HandlerWithResponse refusal = [](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        send(res, PhonePages::Message(res.status, statusText(res.status)));
        return httplib::Server::HandlerResponse::Handled;
    };
    server_->set_error_handler(refusal);
    server_->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        send(res, PhonePages::Message(500, statusText(500)));
    });
}

bool LanServer::bind() {
    if (options_.port == 0) {
        const int port = server_->bind_to_any_port(options_.host.toStdString());
        if (port <= 0)
            return false;
        options_.port = port;
    } else if (!server_->bind_to_port(options_.host.toStdString(), options_.port)) {
        return false;
    }
    widenBacklog(options_.port, kBacklog);
    return true;
}

void LanServer::run() {
    server_->listen_after_bind();
}

void LanServer::stop() {
    server_->stop();
}
