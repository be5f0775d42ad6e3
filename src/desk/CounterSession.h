#pragma once

#include "print/Transport.h"
#include "store/Backup.h"
#include "store/ProgramDatabase.h"

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
// holds its claim), the phones' password alarm, and at the end the LAN server's stop and the hour's backup.
// No widgets: the main window shows its state.
class CounterSession : public QObject {
    Q_OBJECT
public:
    CounterSession(Database& db, DataFolders folders, ServerControl& server, QObject* parent = nullptr);
    // The spooler's threads stop before anything they may hand pages to.
    ~CounterSession() override;

    Database& database() { return db_; }
    ServerControl& server() { return server_; }
    SettingsStore& settings() { return *settings_; }

    // Follows other writers' commits and the phones' alarm, and asks for the spooler; the spooler sends
    // jobs with `transports`.
    void start(TransportFactory transports);
    // Null while another counter sends the tickets.
    PrintSpooler* spooler() const { return spooler_.get(); }
    // Jobs were written here: the spooler sends them now instead of at its next look.
    void wakeSpooler();
    // The cashier has seen the phones' alarm: it comes back only for wrong passwords after this.
    void acknowledgePhoneAlarm();
    // The program's end: stops the LAN server (it finishes the requests in flight) and writes this hour's
    // backup.
    BackupResult finish(const BackupProgressHook& progress);

Q_SIGNALS:
    void storedChanged();        // phones, other counters or this program's threads committed
    void printerStatesChanged(); // the spooler's printers changed state, or this counter stopped spooling
    void phoneAlarmRaised();     // phones tried many wrong staff passwords since the last look

private:
    void startSpooler();
    void watchSpoolerClaim();

    Database& db_;
    DataFolders folders_;
    ServerControl& server_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<PhoneAlarm> phoneAlarm_;
    ChangeFeed* changes_ = nullptr;
    TransportFactory transports_;
    std::unique_ptr<PrintSpooler> spooler_;
};
