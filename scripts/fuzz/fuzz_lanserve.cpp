// The LAN server's request handling without sockets: each input is the raw bytes a phone could send (request
// line, headers, query, form body; several requests in a row are handled as one keep-alive connection). They
// go through the server's own HTTP parsing and routing into the phone pages, over one database made at start
// in a temporary folder and kept across inputs, as on a busy evening. Every answer must be well formed
// HTTP with a status the pages use (500 means a page failed), no answer may carry the tag "<fz" that only
// requests hold (values must be escaped before they go into a page), and the database must stay sound
// (quick_check, every occupied table's bill has its row whose total is the sum of its lines).
//
// Staff sessions and table codes are random, so the input names them by placeholders the harness fills in
// before the bytes are handled: "@S@" becomes a live staff session id, "@T@" the code of the first table
// and "@U@" that of the second (both 32 characters: seeds count that in their Content-Length); "@B@" becomes
// the first table's bill id (14 characters) and "@L@" the id of its first line (15), when it has them;
// "@V@" and "@W@" become the menu versions (16) of the dishes and of the drinks as listed without a search.

#include "app/ServicePages.h"
#include "app/Startup.h"
#include "bill/BillStore.h"
#include "main/OrderDesk.h"
#include "main/TableMap.h"
#include "mobile/TableTokens.h"
#include "mobile/server/LanServer.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/NumberText.h"
#include "store/StoreError.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

// LanServer keeps its HTTP server private and the library keeps the one-request entry point protected. Both
// are reached here without changing them: an explicit instantiation may name private members, and a
// using-declaration in a derived class makes the protected member nameable.
std::unique_ptr<httplib::Server>& HttpServerOf(LanServer& server);
template <std::unique_ptr<httplib::Server> LanServer::*Member> struct HttpServerAccess {
    friend std::unique_ptr<httplib::Server>& HttpServerOf(LanServer& server) { return server.*Member; }
};
template struct HttpServerAccess<&LanServer::server_>;

namespace {

struct RequestEntry : httplib::Server {
    using httplib::Server::process_request;
};

// A connection whose incoming bytes are the fuzz input and whose outgoing bytes are kept.
class MemoryConnection : public httplib::Stream {
public:
    MemoryConnection(const std::uint8_t* data, std::size_t size)
        : in_(reinterpret_cast<const char*>(data), size) {}

    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    ssize_t read(char* ptr, std::size_t size) override {
        const std::size_t n = std::min(size, in_.size() - position_);
        std::copy_n(in_.data() + position_, n, ptr);
        position_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, std::size_t size) override {
        out_.append(ptr, size);
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 50000;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 8212;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

    bool drained() const { return position_ >= in_.size(); }
    const std::string& written() const { return out_; }

private:
    std::string_view in_;
    std::size_t position_ = 0;
    std::string out_;
};

struct Fixture {
    QTemporaryDir folder;
    std::unique_ptr<Database> db;
    std::unique_ptr<LanServer> server;
    std::string session;
    std::string firstTable;
    std::string secondTable;
    std::string dishesVersion;
    std::string drinksVersion;
};

Fixture* fixture = nullptr;

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
        if (out.compare(at, 9, "HTTP/1.1 ") != 0) {
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

// Handles the bytes as one connection and returns what the server wrote back.
std::string handleConnection(LanServer& server, const std::string& bytes) {
    httplib::Server& http = *HttpServerOf(server);
    constexpr auto processRequest = &RequestEntry::process_request;
    MemoryConnection connection(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    // At most five requests on one connection, the last one closing it.
    for (int request = 0; request < 5 && !connection.drained(); ++request) {
        bool closed = false;
        const bool last = request == 4;
        const bool ok = (http.*processRequest)(connection, last, closed, [](httplib::Request&) {});
        if (!ok || closed)
            break;
    }
    return connection.written();
}

void replaceAll(std::string& text, const std::string& placeholder, const std::string& value) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
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

// The version a phone is given with the listed menu of a category (the menu itself never changes here).
std::string menuVersion(Database& db, const QString& category) {
    MenuChoice menu(db);
    menu.chooseCategory(category);
    return PhonePages::MenuFingerprint(menu.records()).toStdString();
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
    fixture = new Fixture{
        QTemporaryDir(base + QStringLiteral("/fuzz_lanserve-XXXXXX")), nullptr, nullptr, {}, {}, {}, {}, {}};
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
    options.port = 0;
    fixture->server = std::make_unique<LanServer>(*fixture->db, options);
    try {
        const QStringList keys = SettingsStore(*fixture->db).tableKeys();
        const QHash<QString, QString> tokens = TableTokens::EnsureTokens(*fixture->db, keys);
        if (keys.size() < 2)
            fail("the sample database has fewer than two tables", {});
        fixture->firstTable = tokens.value(keys.at(0)).toStdString();
        fixture->secondTable = tokens.value(keys.at(1)).toStdString();
        fixture->dishesVersion = menuVersion(*fixture->db, kDishes);
        fixture->drinksVersion = menuVersion(*fixture->db, kDrinks);
    } catch (const StoreError& error) {
        fail("cannot make the table codes", error.text().toStdString());
    }
    fixture->session = signIn(*fixture->server);
    // Server, database and then the folder go at a normal exit; a crash leaves the folder for a look.
    std::atexit([] {
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
    replaceAll(bytes, "@V@", fixture->dishesVersion);
    replaceAll(bytes, "@W@", fixture->drinksVersion);
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
        for (std::size_t at = answers.find("HTTP/1.1 "); at != std::string::npos;
             at = answers.find("HTTP/1.1 ", at + 1))
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
