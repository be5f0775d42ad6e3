#include "LanserveProcess.h"

#include "common/TestHome.h"

#include "bill/PhoneOrderKeys.h"
#include "menu/MenuCatalogue.h"
#include "mobile/ServicePages.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>

LanserveProcess::LanserveProcess(const QString& dataFolder, const QStringList& extraArguments)
    : dataFolder_(dataFolder), extraArguments_(extraArguments) {}

LanserveProcess::~LanserveProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QString LanserveProcess::programPath() {
    return QString::fromLocal8Bit(qgetenv("CJ_BIN_DIR")) + QStringLiteral("/Lanserve");
}

bool LanserveProcess::start() {
    process_.setProgram(programPath());
    process_.setArguments(QStringList{dataFolder_, QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                                      QStringLiteral("--port"), QStringLiteral("0")} +
                          extraArguments_);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
    if (!process_.waitForStarted(5000)) {
        error_ = QStringLiteral("Lanserve did not start: ") + process_.errorString();
        return false;
    }
    static const QRegularExpression listening(QStringLiteral("listening on \\S+ port (\\d+)"));
    QByteArray output;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
        process_.waitForReadyRead(200);
        output += process_.readAllStandardOutput();
        const QRegularExpressionMatch match = listening.match(QString::fromLocal8Bit(output));
        if (match.hasMatch()) {
            port_ = match.captured(1).toInt();
            return true;
        }
    }
    error_ =
        QStringLiteral("Lanserve gave no port: ") + QString::fromLocal8Bit(process_.readAllStandardError());
    return false;
}

void LanserveProcess::terminate() {
    process_.terminate();
}

QString LanserveProcess::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

std::unique_ptr<Database> PrepareDataFolder(const QString& dataFolder) {
    QDir().mkpath(dataFolder);
    // On the test server the counter and Lanserve (which inherits the variable) share a new database.
    if (TestsOnServer())
        qputenv("CJPOS_DATABASE", TestHome::createServerDatabase().toUtf8());
    auto db = OpenProgramDatabase(dataFolder);
    WriteServicePages(dataFolder);
    return db;
}

namespace {

thread_local QString clientAddress;

} // namespace

ClientAddress::ClientAddress(const QString& address) : previous_(clientAddress) {
    clientAddress = address;
}

ClientAddress::~ClientAddress() {
    clientAddress = previous_;
}

RawReply SendRaw(int port, const QByteArray& request) {
    RawReply reply;
    QTcpSocket socket;
    if (!clientAddress.isEmpty() && !socket.bind(QHostAddress(clientAddress)))
        return reply;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    if (!socket.waitForConnected(3000))
        return reply;
    socket.write(request);
    QByteArray data;
    const QDeadlineTimer deadline(8000);
    while (!deadline.hasExpired()) {
        if (!socket.waitForReadyRead(250) && socket.state() != QAbstractSocket::ConnectedState)
            break;
        data += socket.readAll();
    }
    data += socket.readAll();
    const qsizetype split = data.indexOf("\r\n\r\n");
    reply.headers = split < 0 ? data : data.left(split);
    reply.body = split < 0 ? QByteArray() : data.mid(split + 4);
    const QList<QByteArray> statusLine = reply.headers.left(reply.headers.indexOf("\r\n")).split(' ');
    reply.status = statusLine.size() > 1 ? statusLine.at(1).toInt() : 0;
    return reply;
}

namespace {

QByteArray cookieLine(const QByteArray& cookie) {
    return cookie.isEmpty() ? QByteArray() : "Cookie: " + cookie + "\r\n";
}

} // namespace

RawReply Get(int port, const QByteArray& target, const QByteArray& cookie) {
    return SendRaw(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                             cookieLine(cookie) + "\r\n");
}

QByteArray FormBody(const QList<QPair<QString, QString>>& fields) {
    QByteArray body;
    for (const auto& [key, value] : fields) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

RawReply PostForm(int port, const QByteArray& target, const QList<QPair<QString, QString>>& fields,
                  const QByteArray& cookie) {
    const QByteArray body = FormBody(fields);
    return SendRaw(port, "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                             cookieLine(cookie) +
                             "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                             QByteArray::number(body.size()) + "\r\n\r\n" + body);
}

QString HeaderValue(const RawReply& reply, const QByteArray& name) {
    for (const QByteArray& line : reply.headers.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(line.mid(colon + 1).trimmed());
    }
    return {};
}

QByteArray SignIn(int port, const QString& password, const QString& staff) {
    const RawReply reply =
        PostForm(port, "/phone/list.asp", {{"staff", staff}, {"password", password}, {"next", "list.asp"}});
    const QString setCookie = HeaderValue(reply, "Set-Cookie");
    return reply.status == 303 ? setCookie.section(QLatin1Char(';'), 0, 0).toLatin1() : QByteArray();
}

FormFields OrderFields(const QString& table, const QString& tableName, const FormFields& dishes,
                       const QString& key) {
    FormFields fields{
        {"t", table}, {"tn", tableName}, {"k", key.isEmpty() ? PhoneOrderKeys::NewKey() : key}, {"go", "1"}};
    for (const auto& [dish, quantity] : dishes)
        fields.append({QLatin1Char('q') + dish, quantity});
    return fields;
}

QStringList DishKeys(Database& db, const QString& category) {
    QStringList keys;
    for (const MenuItem& item : MenuCatalogue(db).search(category, {}))
        keys.append(item.key);
    return keys;
}

static QStringList rowsOf(Database& db, const char* sql) {
    QStringList rows;
    Statement query(db, sql);
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < query.columnCount(); ++i)
            fields.append(query.columnName(i) + QLatin1Char('=') + query.text(i));
        rows.append(fields.join(QLatin1Char('|')));
    }
    return rows;
}

QStringList SnapshotOf(Database& db) {
    return rowsOf(db, "SELECT * FROM \"桌台\" ORDER BY rowid") +
           rowsOf(db, "SELECT * FROM \"明细\" ORDER BY rowid") +
           rowsOf(db, "SELECT * FROM \"综合设置\" ORDER BY rowid");
}
