#include "lanserve/DeviceGuard.h"

#include "mobile/TableTokens.h"
#include "store/Log.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

using namespace std::chrono;

namespace {

// The file keeps wall-clock times (milliseconds since 1970), as the steady clock starts anew with each run.
qint64 wallOf(DeviceGuard::TimePoint at, DeviceGuard::TimePoint now) {
    const system_clock::time_point wall =
        system_clock::now() + duration_cast<system_clock::duration>(at - now);
    return duration_cast<milliseconds>(wall.time_since_epoch()).count();
}

DeviceGuard::TimePoint steadyOf(qint64 wallMs, DeviceGuard::TimePoint now) {
    const system_clock::time_point wall{milliseconds(wallMs)};
    return now + duration_cast<steady_clock::duration>(wall - system_clock::now());
}

seconds secondsUntil(DeviceGuard::TimePoint at, DeviceGuard::TimePoint now) {
    return at > now ? std::chrono::ceil<seconds>(at - now) : seconds(0);
}

} // namespace

DeviceGuard::DeviceGuard(QString file, TimePoint now) : file_(std::move(file)), refilled_(now) {
    load(now);
}

QString DeviceGuard::idOf(const QString& device) {
    // The file holds no cookie a reader could present.
    return QString::fromLatin1(
        QCryptographicHash::hash(device.toLatin1(), QCryptographicHash::Sha256).toHex());
}

void DeviceGuard::refill(TimePoint now) {
    if (now <= refilled_)
        return;
    const double regained = duration<double>(now - refilled_) / duration<double>(kAllowanceRefill);
    allowance_ = std::min<double>(kUnknownAllowance, allowance_ + regained);
    refilled_ = now;
}

seconds DeviceGuard::unknownWait(TimePoint now) {
    refill(now);
    if (allowance_ >= 1)
        return seconds(0);
    return std::chrono::ceil<seconds>(duration<double>(kAllowanceRefill) * (1 - allowance_));
}

bool DeviceGuard::unknownWrongPassword(TimePoint now) {
    refill(now);
    allowance_ = std::max(0.0, allowance_ - 1);
    save(now);
    return allowance_ < 1;
}

bool DeviceGuard::knows(const QString& device, TimePoint now) const {
    if (!TableTokens::LooksLikeToken(device))
        return false;
    const auto found = devices_.constFind(idOf(device));
    return found != devices_.cend() && now - found->signedIn < kDeviceLifetime;
}

seconds DeviceGuard::deviceWait(const QString& device, TimePoint now) const {
    const auto found = devices_.constFind(idOf(device));
    return found == devices_.cend() ? seconds(0) : secondsUntil(found->waitUntil, now);
}

bool DeviceGuard::deviceWrongPassword(const QString& device, TimePoint now) {
    Device& known = devices_[idOf(device)];
    ++known.wrong;
    const int over = known.wrong - kDeviceWrongTries;
    if (over >= 0) {
        // Doubling stops well before the longest wait could overflow.
        const auto wait = std::min<minutes>(kDeviceFirstWait * (1 << std::min(over, 20)), kDeviceLongestWait);
        known.waitUntil = now + wait;
    }
    save(now);
    return over >= 0;
}

QString DeviceGuard::signedIn(const QString& device, TimePoint now) {
    const QString kept = knows(device, now) ? device : TableTokens::NewToken();
    devices_.insert(idOf(kept), Device{now, 0, {}});
    dropForgotten(now);
    save(now);
    return kept;
}

void DeviceGuard::dropForgotten(TimePoint now) {
    for (auto it = devices_.begin(); it != devices_.end();)
        it = now - it->signedIn >= kDeviceLifetime ? devices_.erase(it) : std::next(it);
    while (devices_.size() > kMaxDevices) {
        auto oldest = devices_.begin();
        for (auto it = devices_.begin(); it != devices_.end(); ++it)
            if (it->signedIn < oldest->signedIn)
                oldest = it;
        devices_.erase(oldest);
    }
}

void DeviceGuard::load(TimePoint now) {
    if (file_.isEmpty())
        return;
    QFile file(file_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject stored = QJsonDocument::fromJson(file.readAll()).object();
    if (stored.contains(QLatin1String("allowance"))) {
        allowance_ =
            std::clamp<double>(stored.value(QLatin1String("allowance")).toDouble(), 0, kUnknownAllowance);
        refilled_ = steadyOf(stored.value(QLatin1String("refilled")).toInteger(), now);
    }
    const QJsonObject devices = stored.value(QLatin1String("devices")).toObject();
    for (auto it = devices.begin(); it != devices.end(); ++it) {
        const QJsonObject device = it.value().toObject();
        const qint64 waitUntil = device.value(QLatin1String("waitUntil")).toInteger();
        devices_.insert(it.key(), Device{steadyOf(device.value(QLatin1String("signedIn")).toInteger(), now),
                                         device.value(QLatin1String("wrong")).toInt(),
                                         waitUntil > 0 ? steadyOf(waitUntil, now) : TimePoint{}});
    }
    dropForgotten(now);
}

void DeviceGuard::save(TimePoint now) const {
    if (file_.isEmpty())
        return;
    QJsonObject devices;
    for (auto it = devices_.cbegin(); it != devices_.cend(); ++it)
        devices.insert(it.key(), QJsonObject{{QLatin1String("signedIn"), wallOf(it->signedIn, now)},
                                             {QLatin1String("wrong"), it->wrong},
                                             {QLatin1String("waitUntil"),
                                              it->waitUntil > now ? wallOf(it->waitUntil, now) : 0}});
    const QJsonObject stored{{QLatin1String("allowance"), allowance_},
                             {QLatin1String("refilled"), wallOf(refilled_, now)},
                             {QLatin1String("devices"), devices}};
    QSaveFile file(file_);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(QJsonDocument(stored).toJson(QJsonDocument::Compact)) > 0 && file.commit()) {
        QFile::setPermissions(file_, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return;
    }
    // Kept in memory still; only a restart would forget it.
    Log::write(QStringLiteral("手机点餐：登录记录 %1 无法写入：%2").arg(file_, file.errorString()));
}
