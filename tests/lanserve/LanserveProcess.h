#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

class Database;

// A data folder with the program database and the phone pages, and a Lanserve child serving it on
// 127.0.0.1 at a free port. The server is ended when this goes out of scope.
class LanserveProcess {
public:
    explicit LanserveProcess(const QString& dataFolder, const QStringList& extraArguments = {});
    ~LanserveProcess();
    LanserveProcess(const LanserveProcess&) = delete;
    LanserveProcess& operator=(const LanserveProcess&) = delete;

    // Starts the server and waits (bounded) for its port; false with `error()` when it did not come up.
    bool start();
    void terminate();
    QProcess& process() { return process_; }
    int port() const { return port_; }
    QString baseUrl() const;
    const QString& error() const { return error_; }

    static QString programPath();

private:
    QString dataFolder_;
    QStringList extraArguments_;
    QProcess process_;
    int port_ = 0;
    QString error_;
};

// A data folder as the counter leaves it after login: database with the sample rows and the pages.
std::unique_ptr<Database> PrepareDataFolder(const QString& dataFolder);

struct RawReply {
    int status = 0;
    QByteArray headers;
    QByteArray body;
};

// While one lives, the requests this thread sends with the functions below come from `address` (another
// 127.0.0.x loopback address), as from a phone of its own: the server caps connections per address.
class ClientAddress {
public:
    explicit ClientAddress(const QString& address);
    ~ClientAddress();
    ClientAddress(const ClientAddress&) = delete;
    ClientAddress& operator=(const ClientAddress&) = delete;

private:
    QString previous_;
};

// Sends exactly the given bytes to 127.0.0.1:port and reads the whole reply (bounded by a few seconds).
RawReply SendRaw(int port, const QByteArray& request);
// `cookie` is sent as the Cookie header when not empty.
RawReply Get(int port, const QByteArray& target, const QByteArray& cookie = {});
RawReply PostForm(int port, const QByteArray& target, const QList<QPair<QString, QString>>& fields,
                  const QByteArray& cookie = {});
// Signs in as staff; the "name=value" of the session cookie, empty when refused.
QByteArray SignIn(int port, const QString& password = QStringLiteral("739"),
                  const QString& staff = QStringLiteral("001"));
QByteArray FormBody(const QList<QPair<QString, QString>>& fields);
QString HeaderValue(const RawReply& reply, const QByteArray& name);

// A phone order as the 下单 sheet sends it: the table, the name the phone saw, a fresh one-time key (or
// `key`) and each dish as (menu key, quantity).
using FormFields = QList<QPair<QString, QString>>;
FormFields OrderFields(const QString& table, const QString& tableName, const FormFields& dishes,
                       const QString& key = {});
// The menu keys of a category, in menu order.
QStringList DishKeys(Database& db, const QString& category);
// Every row of the bills, their lines and the settings, as text: equal before and after means a request
// changed nothing.
QStringList SnapshotOf(Database& db);
