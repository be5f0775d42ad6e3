// The LAN server's request handling: each input is the raw bytes a phone could send (request line, headers,
// query, form body; several requests in a row are handled as one keep-alive connection), written into one
// end of a socket pair whose other end the running server serves as a connection. They go through the
// server's own HTTP parsing and routing into the phone pages, over one database made at start
// in a temporary folder and kept across inputs, as on a busy evening. Every answer must be well formed
// HTTP with a status the pages use (500 means a page failed), no answer may carry the tag "<fz" that only
// requests hold (values must be escaped before they go into a page), and the database must stay sound
// (quick_check, every occupied table's bill has its row whose total is the sum of its lines).
//
// Staff sessions and table codes are random, so the input names them by placeholders the harness fills in
// before the bytes are handled: "@S@" becomes a live staff session id, "@T@" the code of the first table
// and "@U@" that of the second (both 32 characters: seeds count that in their Content-Length); "@B@" becomes
// the first table's bill id (14 characters) and "@L@" the id of its first line (15), when it has them;
// "@K@" becomes an order key (32) no order has taken yet, the same one wherever it stands in the input.

#include "bill/BillStore.h"
#include "bill/PhoneOrderKeys.h"
#include "desk/OrderDesk.h"
#include "desk/TableMap.h"
#include "lanserve/LanServer.h"
#include "mobile/ServicePages.h"
#include "mobile/TableTokens.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/NumberText.h"
#include "store/ProgramDatabase.h"
#include "store/StoreError.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Fixture {
    explicit Fixture(const QString& folderTemplate) : folder(folderTemplate) {}
    QTemporaryDir folder;
    std::unique_ptr<Database> db;
    std::unique_ptr<LanServer> server;
    std::thread serving;
    std::string session;
    std::string firstTable;
    std::string secondTable;
};

Fixture* fixture = nullptr;

// A connection whose input has ended is answered and closed well within this.
constexpr auto kConnectionLimit = std::chrono::seconds(20);

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_lanserve: %s\n%s\n", what, detail.c_str());
    std::abort();
}

std::size_t contentLength(const std::string& head) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    const std::size_t at = lower.find("\r\ncontent-length: ");
    return at == std::string::npos ? 0 : std::strtoull(head.c_str() + at + 18, nullptr, 10);
}

// Every answer is a status line, headers and a body of the stated length, with a status the server can
// give: a 500 means a page failed or a handler threw. The first answer is checked strictly; later ones
// (pipelined requests) as far as they can be told apart, since an answer to HEAD has no body.
void checkAnswers(const std::string& out) {
    std::size_t at = 0;
    for (int answer = 0; at < out.size(); ++answer) {
        if (out.compare(at, 9, "HTTP/1.1 ") != 0 && out.compare(at, 9, "HTTP/1.0 ") != 0) {
            if (answer == 0)
                fail("an answer does not start with a status line", out.substr(0, 200));
            return;
        }
        const int status = std::atoi(out.c_str() + at + 9);
        if (status < 100 || status > 599 || status == 500)
            fail("an answer has an unexpected status", out.substr(at, 3000));
        const std::size_t headEnd = out.find("\r\n\r\n", at);
        if (headEnd == std::string::npos)
            fail("an answer has no end of headers", out.substr(at, 3000));
        at = headEnd + 4 + contentLength(out.substr(at, headEnd - at));
    }
    // The pages never hold this tag, so it can only come from a request value written in unescaped.
    std::string lower = out;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower.find("<fz") != std::string::npos)
        fail("a request value went into an answer unescaped", out.substr(0, 4000));
}

// Hands the server one end of a socket pair as a connection from 127.0.0.1, writes the bytes into the other
// end, closes it for writing and returns everything the server answers until it closes the connection.
std::string handleConnection(LanServer& server, const std::string& bytes) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        fail("no socket pair", std::strerror(errno));
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(50000);
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (!server.serveConnection(ends[1], peer))
        fail("the server did not take the connection", {});
    const int client = ends[0];
    std::string answers;
    std::size_t written = 0;
    bool writing = true;
    const auto deadline = std::chrono::steady_clock::now() + kConnectionLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (writing && written == bytes.size()) {
            ::shutdown(client, SHUT_WR);
            writing = false;
        }
        pollfd ready{client, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
        if (::poll(&ready, 1, 100) <= 0)
            continue;
        if (writing && (ready.revents & POLLOUT)) {
            const ssize_t n = ::send(client, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);
            if (n < 0) {
                writing = false; // the server closed its end before reading everything
                ::shutdown(client, SHUT_WR);
            } else {
                written += static_cast<std::size_t>(n);
            }
        }
        if (ready.revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[65536];
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::close(client);
                return answers;
            }
            answers.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(client);
    fail("the server did not end the connection in time", answers.substr(0, 2000));
}

void replaceAll(std::string& text, const std::string& placeholder, const std::string& value) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

void waitUntilServing(const LanServer& server) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server.serving()) {
        if (std::chrono::steady_clock::now() > deadline)
            fail("the server did not start serving", {});
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Signs in with the sample password, as a phone does, and returns the session id the answer sets.
std::string signIn(LanServer& server) {
    const std::string body = "password=739&next=list.asp";
    const std::string answer =
        handleConnection(server, "POST /phone/list.asp HTTP/1.1\r\nHost: 127.0.0.1:8212\r\n"
                                 "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\n\r\n" + body);
    const std::string cookie = std::string("Set-Cookie: ") + PhonePages::kSessionCookie + '=';
    const std::size_t at = answer.find(cookie);
    if (at == std::string::npos)
        fail("the sample password does not sign in", answer.substr(0, 2000));
    const std::size_t start = at + cookie.size();
    return answer.substr(start, answer.find_first_of(";\r", start) - start);
}

// The first table's bill id and the id of its first line, as the pages would show them.
std::pair<std::string, std::string> firstTableBill(Database& db) {
    OrderDesk desk(db);
    desk.openTable(0, QDateTime::currentDateTime());
    const QList<OrderLine>& lines = desk.bill.lines();
    const std::string line = lines.isEmpty() ? std::string() : lines.front().lineId.toStdString();
    return {desk.bill.billId().toStdString(), line};
}

// Settles every open table, as the counter does at the end of a meal, so bills do not grow without end.
void settleAll(Database& db) {
    SettingsStore settings(db);
    TableMap tables(db, settings);
    tables.refreshSlots();
    for (int i = 0; i < tables.tableCount(); ++i)
        if (tables.isOccupied(i))
            tables.settle(i);
}

void checkDatabase(Database& db) {
    Statement check(db, "PRAGMA quick_check");
    if (!check.next() || check.text(0) != QLatin1String("ok"))
        fail("the database is damaged", check.text(0).toStdString());
    // Every occupied table's bill has its row, and the row's total is the sum of its lines.
    SettingsStore settings(db);
    TableMap tables(db, settings);
    tables.refreshSlots();
    for (int i = 0; i < tables.tableCount(); ++i) {
        if (!tables.isOccupied(i))
            continue;
        const QString bill = tables.slotValue(i);
        Statement row(db, "SELECT \"应收\" FROM \"桌台\" WHERE \"id\" = ?");
        row.bind(1, bill);
        if (!row.next())
            fail("an occupied table's bill has no row", bill.toStdString());
        const double total = ReadNumber(row.text(0));
        double sum = 0;
        Statement lines(db, "SELECT \"金额\" FROM \"明细\" WHERE \"id\" = ?");
        lines.bind(1, bill);
        while (lines.next())
            sum += ReadNumber(lines.text(0));
        if (std::abs(total - sum) > 0.005)
            fail("a bill's total is not the sum of its lines",
                 bill.toStdString() + ": " + row.text(0).toStdString() + " vs " + std::to_string(sum));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    static QCoreApplication app(qtArgc, qtArgv);
    (void)argc;

    // Memory-backed when possible: every change is a synced commit.
    const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    fixture = new Fixture(base + QStringLiteral("/fuzz_lanserve-XXXXXX"));
    if (!fixture->folder.isValid())
        fail("no temporary folder", base.toStdString());
    const QString dataFolder = fixture->folder.path();
    try {
        fixture->db = OpenProgramDatabase(dataFolder);
    } catch (const StoreError& error) {
        fail("cannot create the database", error.text().toStdString());
    }
    if (WriteServicePages(dataFolder).size() != ServicePageNames().size())
        fail("cannot write the phone pages", dataFolder.toStdString());
    LanServerOptions options;
    options.dataFolder = dataFolder;
    options.host = QStringLiteral("127.0.0.1");
    options.port = 0;
    fixture->server = std::make_unique<LanServer>(*fixture->db, options);
    if (!fixture->server->bind())
        fail("the server cannot listen on 127.0.0.1", {});
    fixture->serving = std::thread([] { fixture->server->run(); });
    waitUntilServing(*fixture->server);
    try {
        const QStringList keys = SettingsStore(*fixture->db).tableKeys();
        const QHash<QString, QString> tokens = TableTokens::EnsureTokens(*fixture->db, keys);
        if (keys.size() < 2)
            fail("the sample database has fewer than two tables", {});
        fixture->firstTable = tokens.value(keys.at(0)).toStdString();
        fixture->secondTable = tokens.value(keys.at(1)).toStdString();
    } catch (const StoreError& error) {
        fail("cannot make the table codes", error.text().toStdString());
    }
    fixture->session = signIn(*fixture->server);
    // Server, database and then the folder go at a normal exit; a crash leaves the folder for a look.
    std::atexit([] {
        fixture->server->stop();
        fixture->serving.join();
        delete fixture;
        fixture = nullptr;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 96 * 1024)
        return 0;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    replaceAll(bytes, "@S@", fixture->session);
    replaceAll(bytes, "@T@", fixture->firstTable);
    replaceAll(bytes, "@U@", fixture->secondTable);
    replaceAll(bytes, "@K@", PhoneOrderKeys::NewKey().toStdString());
    if (bytes.find("@B@") != std::string::npos || bytes.find("@L@") != std::string::npos) {
        try {
            const auto [bill, line] = firstTableBill(*fixture->db);
            replaceAll(bytes, "@B@", bill);
            replaceAll(bytes, "@L@", line);
        } catch (const StoreError& error) {
            fail("cannot read the first table's bill", error.text().toStdString());
        }
    }
    const std::string answers = handleConnection(*fixture->server, bytes);
    // FUZZ_SHOW=1: the first line of the request and the status lines of the answers, to check the seeds.
    static const bool show = qEnvironmentVariableIntValue("FUZZ_SHOW") == 1;
    if (show) {
        std::string statuses;
        for (std::size_t at = answers.find("HTTP/1."); at != std::string::npos;
             at = answers.find("HTTP/1.", at + 1))
            statuses += answers.substr(at + 9, 3) + ' ';
        std::fprintf(stderr, "%s -> %s\n",
                     bytes.substr(0, std::min<std::size_t>(bytes.find('\r'), 100)).c_str(), statuses.c_str());
    }
    checkAnswers(answers);
    static unsigned long runs = 0;
    if (++runs % 64 == 0)
        checkDatabase(*fixture->db);
    if (runs % 1024 == 0) {
        try {
            settleAll(*fixture->db);
        } catch (const StoreError& error) {
            fail("cannot settle the tables", error.text().toStdString());
        }
    }
    return 0;
}
