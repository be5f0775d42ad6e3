#include "store/BackupSchedule.h"

#include <QElapsedTimer>

namespace {

// How often writeLast lets its caller keep the screen alive.
constexpr auto kWaitingStep = std::chrono::milliseconds(40);

} // namespace

BackupSchedule::BackupSchedule(const Database& db, QString backupFolder, QObject* parent)
    : QObject(parent), db_(db), backupFolder_(std::move(backupFolder)) {
    connect(&clock_, &QTimer::timeout, this, &BackupSchedule::writeHourly);
}

BackupSchedule::~BackupSchedule() {
    clock_.stop();
    if (hourly_.valid())
        hourly_.wait();
}

void BackupSchedule::start(std::chrono::milliseconds interval) {
    clock_.start(interval);
}

void BackupSchedule::stop() {
    clock_.stop();
    disconnect(this, &BackupSchedule::written, nullptr, nullptr);
}

BackupResult BackupSchedule::backUp() {
    bytesDone_ = 0;
    bytesTotal_ = 0;
    return BackupDatabase(db_, backupFolder_, QDateTime::currentDateTime(),
                          [this](const BackupProgress& step) {
                              bytesDone_ = step.bytesDone;
                              bytesTotal_ = step.bytesTotal;
                          });
}

void BackupSchedule::writeHourly() {
    // A backup still under way (a slow disk, a large server) is not stacked with another.
    if (hourly_.valid() && hourly_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    hourly_ = std::async(std::launch::async, [this] {
        const BackupResult result = backUp();
        // Delivered only while this object lives; the destructor waits for this thread first.
        QMetaObject::invokeMethod(
            this, [this, result] { Q_EMIT written(result); }, Qt::QueuedConnection);
        return result;
    });
}

void BackupSchedule::waitFor(const std::future<BackupResult>& backup, const BackupProgressHook& waiting,
                             const QElapsedTimer& clock) {
    while (backup.wait_for(kWaitingStep) != std::future_status::ready)
        if (waiting)
            waiting({bytesDone_, bytesTotal_, clock.elapsed()});
}

BackupResult BackupSchedule::writeLast(const BackupProgressHook& waiting) {
    // The last backup's result is the one that counts; an hourly one still being reported is not shown.
    stop();
    QElapsedTimer clock;
    clock.start();
    if (hourly_.valid())
        waitFor(hourly_, waiting, clock);
    std::future<BackupResult> last = std::async(std::launch::async, [this] { return backUp(); });
    waitFor(last, waiting, clock);
    return last.get();
}
