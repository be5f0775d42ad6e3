#pragma once

#include "print/Transport.h"
#include "settings/Password.h"
#include "settings/StaffAccounts.h"
#include "store/Backup.h"
#include "store/BackupSchedule.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"

#include <QObject>
#include <memory>

class ChangeFeed;
class Database;
class PhoneAlarm;
class PrintSpooler;
class ServerControl;
class SettingsStore;

// What runs for a signed-in counter besides its windows: the settings store the windows and page printing
// share, the notices of what phones and other counters store, the print spooler (on the one counter that
// holds its claim), the phones' password alarm, the hourly backups, and at the end the LAN server's stop and
// the last backup. No widgets: the main window shows its state.
class CounterSession : public QObject {
    Q_OBJECT
public:
    CounterSession(Database& db, DataFolders folders, ServerControl& server, QObject* parent = nullptr);
    // The spooler's threads stop before anything they may hand pages to.
    ~CounterSession() override;

    Database& database() { return db_; }
    ServerControl& server() { return server_; }
    SettingsStore& settings() { return *settings_; }
    // The 工号 of who signed in at this counter, and whether the title should name them (the restaurant
    // has more than one account).
    const QString& signedInStaff() const { return signedInStaff_.id; }
    const StaffAccount& signedInAccount() const { return signedInStaff_; }
    void setSignedInStaff(const StaffAccount& account, bool nameInTitle) {
        signedInStaff_ = account;
        nameInTitle_ = nameInTitle;
    }
    bool nameInTitle() const { return nameInTitle_; }

    // Follows other writers' commits and the phones' alarm, asks for the spooler (which sends jobs with
    // `transports`) and writes a backup every `backupInterval`.
    void start(TransportFactory transports, std::chrono::milliseconds backupInterval = kBackupInterval);
    // Null while another counter sends the tickets.
    PrintSpooler* spooler() const { return spooler_.get(); }
    // Jobs were written here: the spooler sends them now instead of at its next look.
    void wakeSpooler();
    // The cashier has seen the phones' alarm: it comes back only for wrong passwords after this.
    void acknowledgePhoneAlarm();
    // The program's end: stops the LAN server (it finishes the requests in flight) and writes this hour's
    // backup on the backup thread, calling `waiting` meanwhile.
    BackupResult finish(const BackupProgressHook& waiting);
    // The database file is damaged: the LAN server stops and no backup is written any more, so nothing
    // writes to the file and no good backup is replaced.
    void stopAfterDamage();

Q_SIGNALS:
    void storedChanged();        // phones, other counters or this program's threads committed
    void printerStatesChanged(); // the spooler's printers changed state, or this counter stopped spooling
    void phoneAlarmRaised();     // phones tried many wrong staff passwords since the last look
    void backupWritten(const BackupResult& result); // an hourly backup ended, copied or not
    void databaseDamaged(const QString& notice);    // an hourly backup found the file damaged

private:
    void startSpooler();
    void watchSpoolerClaim();
    void reportBackup(const BackupResult& result);

    Database& db_;
    DataFolders folders_;
    ServerControl& server_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<PhoneAlarm> phoneAlarm_;
    ChangeFeed* changes_ = nullptr;
    TransportFactory transports_;
    std::unique_ptr<PrintSpooler> spooler_;
    BackupSchedule backups_;
    // Until a login says otherwise: the first account, a 店长, as in a restaurant without staff.
    StaffAccount signedInStaff_{kFirstStaffId, kRoleOwner, kRoleOwner, {}, true};
    bool nameInTitle_ = false;
};
