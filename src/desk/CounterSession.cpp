#include "desk/CounterSession.h"

#include "bill/ChangeFeed.h"
#include "mobile/PhoneAlarm.h"
#include "mobile/ServerControl.h"
#include "print/PrintSpooler.h"
#include "settings/SettingsStore.h"
#include "store/Claims.h"
#include "store/Database.h"
#include "store/Log.h"
#include "store/StoreError.h"

#include <QTimer>

namespace {

// How often a counter without the print spooler asks for it again.
constexpr auto kAskAgain = std::chrono::seconds(10);
// How often the phones' alarm file is looked at.
constexpr auto kAlarmLook = std::chrono::milliseconds(1500);

} // namespace

CounterSession::CounterSession(Database& db, DataFolders folders, ServerControl& server, QObject* parent)
    : QObject(parent), db_(db), folders_(std::move(folders)), server_(server),
      settings_(std::make_unique<SettingsStore>(db)),
      phoneAlarm_(std::make_unique<PhoneAlarm>(folders_.dataFolder)), backups_(db, folders_.backupFolder) {
    connect(&backups_, &BackupSchedule::written, this, &CounterSession::reportBackup);
}

CounterSession::~CounterSession() {
    spooler_.reset();
    try {
        Claims(db_).release(QString::fromUtf8(Claims::kSpoolerObject));
    } catch (const StoreError& error) {
        // The claim lapses by itself within a lease.
        Log::write(QStringLiteral("打印队列的占用没有解除：") + error.text());
    }
}

void CounterSession::start(TransportFactory transports, std::chrono::milliseconds backupInterval) {
    changes_ = new ChangeFeed(db_, this);
    connect(changes_, &ChangeFeed::changed, this, &CounterSession::storedChanged);
    changes_->start();
    auto* alarmClock = new QTimer(this);
    connect(alarmClock, &QTimer::timeout, this, [this] {
        if (phoneAlarm_->raisedSinceLastCheck())
            Q_EMIT phoneAlarmRaised();
    });
    alarmClock->start(kAlarmLook);
    transports_ = std::move(transports);
    startSpooler();
    backups_.start(backupInterval);
}

void CounterSession::startSpooler() {
    // One counter sends every counter's tickets: two spoolers would print each ticket twice. The claim
    // lapses when that counter goes, and the others keep asking for it, so another takes over within a lease.
    try {
        if (!Claims(db_).take(QString::fromUtf8(Claims::kSpoolerObject))) {
            QTimer::singleShot(kAskAgain, this, &CounterSession::startSpooler);
            return;
        }
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("打印队列没有启动：") + error.text());
        QTimer::singleShot(kAskAgain, this, &CounterSession::startSpooler);
        return;
    }
    Database& db = db_;
    spooler_ = std::make_unique<PrintSpooler>([&db] { return db.connectAgain(); }, transports_);
    connect(spooler_.get(), &PrintSpooler::statesChanged, this, &CounterSession::printerStatesChanged,
            Qt::QueuedConnection);
    spooler_->start();
    watchSpoolerClaim();
}

// A counter that stalled past its lease may find another one sending: it stops and asks again.
void CounterSession::watchSpoolerClaim() {
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, [this, watch] {
        try {
            if (Claims(db_).stillHeld(QString::fromUtf8(Claims::kSpoolerObject)))
                return;
        } catch (const StoreError& error) {
            Log::write(QStringLiteral("打印队列的占用无法确认：") + error.text());
            return;
        }
        Log::write(QStringLiteral("另一台收银台已在送打印单，本机的打印队列停止。"));
        watch->deleteLater();
        spooler_.reset();
        Q_EMIT printerStatesChanged();
        QTimer::singleShot(kAskAgain, this, &CounterSession::startSpooler);
    });
    watch->start(Claims::RenewalInterval());
}

void CounterSession::wakeSpooler() {
    if (spooler_)
        spooler_->wake();
}

void CounterSession::acknowledgePhoneAlarm() {
    phoneAlarm_->acknowledge();
}

void CounterSession::reportBackup(const BackupResult& result) {
    if (result.sourceDamaged)
        Q_EMIT databaseDamaged(result.damageNotice);
    else
        Q_EMIT backupWritten(result);
}

BackupResult CounterSession::finish(const BackupProgressHook& waiting) {
    server_.stop();
    return backups_.writeLast(waiting);
}

void CounterSession::stopAfterDamage() {
    server_.stop();
    backups_.stop();
}
