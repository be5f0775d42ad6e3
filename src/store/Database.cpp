#include "store/Database.h"

#include "store/Engine.h"
#include "store/PostgresEngine.h"
#include "store/SqliteEngine.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSysInfo>
#include <cerrno>

namespace {

QString newClaimHolder() {
    quint64 words[2];
    QRandomGenerator::system()->fillRange(words);
    return QString::number(words[0], 16).rightJustified(16, QLatin1Char('0')) +
           QString::number(words[1], 16).rightJustified(16, QLatin1Char('0'));
}

} // namespace

Database::Database(const QString& path, const QString& key)
    : kind_(Kind::File), path_(path), connectWith_(key), connection_(store_engine::OpenSqliteFile(path, key)),
      claimHolder_(newClaimHolder()) {}

Database::Database(Kind kind, QString path, QString connectWith,
                   std::unique_ptr<store_engine::Connection> connection)
    : kind_(kind), path_(std::move(path)), connectWith_(std::move(connectWith)),
      connection_(std::move(connection)), claimHolder_(newClaimHolder()) {}

QString Database::ClaimHolderDescription() {
    QString program = QCoreApplication::applicationName();
    if (program.isEmpty())
        program = QString::fromLocal8Bit(program_invocation_short_name);
    return QStringLiteral("%1 %2@%3")
        .arg(program)
        .arg(QCoreApplication::applicationPid())
        .arg(QSysInfo::machineHostName());
}

std::unique_ptr<Database> Database::ConnectServer(const QString& uri) {
    return std::make_unique<Database>(Kind::Server, store_engine::PostgresDisplayName(uri), uri,
                                      store_engine::ConnectPostgres(uri));
}

Database::~Database() = default;

std::unique_ptr<Database> Database::connectAgain() const {
    std::unique_ptr<Database> again =
        kind_ == Kind::Server ? ConnectServer(connectWith_) : std::make_unique<Database>(path_, connectWith_);
    again->writer_ = writer_;
    again->claimHolder_ = claimHolder_;
    return again;
}

bool Database::holdsNoTables() {
    return connection_->holdsNoTables();
}

sqlite3* Database::handle() const {
    return connection_->sqliteHandle();
}

void Database::exec(const char* sql) {
    connection_->exec(sql);
}

int Database::userVersion() {
    return connection_->userVersion();
}

void Database::setUserVersion(int version) {
    connection_->setUserVersion(version);
}

qint64 Database::changes() const {
    return connection_->changes();
}

qint64 Database::ownChanges() const {
    return connection_->ownChanges();
}

qint64 Database::commitsByOthers() {
    return connection_->commitsByOthers();
}

bool Database::inTransaction() const {
    return connection_->inTransaction();
}

void Database::fail(const QString& what) const {
    throw StoreError(QStringLiteral("%1：%2").arg(what, connection_->lastError()));
}

void Database::listen(const char* channel) {
    connection_->listen(channel);
}

void Database::notify(const char* channel) {
    connection_->notify(channel);
}

int Database::notificationSocket() const {
    return connection_->notificationSocket();
}

QStringList Database::takeNotifications() {
    return connection_->takeNotifications();
}

void Database::setWaitObserver(ServerWaitObserver observer) {
    connection_->setWaitObserver(std::move(observer));
}

Statement::Statement(Database& db, const char* sql) : statement_(db.connection_->prepare(sql)) {}

Statement::Statement(Statement&& other) noexcept = default;

Statement::~Statement() = default;

Statement& Statement::bind(int index, const QString& value) {
    // A server's text ends at the first NUL, so "Wang\0Hidden" would be stored as "Wang": no engine takes
    // one.
    if (value.contains(QChar(u'\0')))
        throw StoreError(QStringLiteral("文字中含有不能保存的空字符（NUL），没有保存。请去掉后重试。"));
    statement_->bindText(index, value);
    return *this;
}

Statement& Statement::bind(int index, qint64 value) {
    statement_->bindInteger(index, value);
    return *this;
}

Statement& Statement::bindNull(int index) {
    statement_->bindNull(index);
    return *this;
}

bool Statement::next() {
    return statement_->next();
}

void Statement::run() {
    while (next()) {
    }
    statement_->finish();
}

void Statement::reset() {
    statement_->reset();
}

QString Statement::text(int column) const {
    return statement_->text(column);
}

qint64 Statement::integer(int column) const {
    return statement_->integer(column);
}

bool Statement::isNull(int column) const {
    return statement_->isNull(column);
}

int Statement::columnCount() const {
    return statement_->columnCount();
}

QString Statement::columnName(int column) const {
    return statement_->columnName(column);
}

Transaction::Transaction(Database& db, Kind kind) : db_(db) {
    if (db_.inTransaction()) {
        savepoint_ = ++db_.savepoints_;
        try {
            db_.exec(savepointSql("SAVEPOINT").constData());
        } catch (...) {
            --db_.savepoints_;
            throw;
        }
        return;
    }
    db_.savepoints_ = 0;
    if (kind == Kind::Write)
        db_.connection_->beginWrite();
    else
        db_.connection_->beginRead();
}

QByteArray Transaction::savepointSql(const char* verb) const {
    return QByteArray(verb) + " cj_step_" + QByteArray::number(savepoint_) + ';';
}

Transaction::~Transaction() {
    if (savepoint_ > 0)
        --db_.savepoints_;
    if (!open_)
        return;
    try {
        if (savepoint_ > 0) {
            db_.exec(savepointSql("ROLLBACK TO").constData());
            db_.exec(savepointSql("RELEASE").constData());
        } else {
            db_.exec("ROLLBACK;");
        }
    } catch (const StoreError&) {
        // The engine has already rolled the whole transaction back (for instance after a full disk);
        // nothing is left to undo, and the enclosing step's commit will fail and say so.
    }
}

void Transaction::commit() {
    if (savepoint_ > 0) {
        // After the engine ended the transaction on its own, releasing would find no savepoint; saying
        // so here keeps the caller from going on as if its edits had been kept.
        if (!db_.inTransaction())
            throw StoreError(QStringLiteral("数据库读写失败：这一步的修改已被数据库撤销。"));
        db_.exec(savepointSql("RELEASE").constData());
    } else {
        if (!db_.inTransaction())
            throw StoreError(QStringLiteral("数据库读写失败：这一步的修改已被数据库撤销。"));
        db_.connection_->commit();
    }
    open_ = false;
}
