#include "lanserve/DeviceGuard.h"

#include "mobile/TableTokens.h"
#include "store/Log.h"
#include "store/Schema.h"

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

DeviceGuard::DeviceGuard(QString file, TimePoint now) : file_(std::move(file)) {
    load(now);
}

QString DeviceGuard::idOf(const QString& device, const QString& staff) {
    // The file holds no cookie a reader could present. The first account's phones keep the ids they had
    // before there were other accounts.
    const QByteArray named =
        staff == kFirstStaffId ? device.toLatin1() : staff.toUtf8() + '\n' + device.toLatin1();
    return QString::fromLatin1(QCryptographicHash::hash(named, QCryptographicHash::Sha256).toHex());
}

DeviceGuard::Allowance& DeviceGuard::allowanceOf(const QString& staff, TimePoint now) {
    auto found = allowances_.find(staff);
    if (found == allowances_.end())
        found = allowances_.insert(staff, Allowance{kUnknownAllowance, now});
    Allowance& allowance = found.value();
    if (now > allowance.refilled) {
        const double regained =
            duration<double>(now - allowance.refilled) / duration<double>(kAllowanceRefill);
        allowance.left = std::min<double>(kUnknownAllowance, allowance.left + regained);
        allowance.refilled = now;
    }
    return allowance;
}

seconds DeviceGuard::unknownWait(const QString& staff, TimePoint now) {
    const Allowance& allowance = allowanceOf(staff, now);
    if (allowance.left >= 1)
        return seconds(0);
    return std::chrono::ceil<seconds>(duration<double>(kAllowanceRefill) * (1 - allowance.left));
}

bool DeviceGuard::unknownWrongPassword(const QString& staff, TimePoint now) {
    Allowance& allowance = allowanceOf(staff, now);
    allowance.left = std::max(0.0, allowance.left - 1);
    save(now);
    return allowance.left < 1;
}

bool DeviceGuard::knows(const QString& device, const QString& staff, TimePoint now) const {
    if (!TableTokens::LooksLikeToken(device))
        return false;
    const auto found = devices_.constFind(idOf(device, staff));
    return found != devices_.cend() && now - found->signedIn < kDeviceLifetime;
}

seconds DeviceGuard::deviceWait(const QString& device, const QString& staff, TimePoint now) const {
    const auto found = devices_.constFind(idOf(device, staff));
    return found == devices_.cend() ? seconds(0) : secondsUntil(found->waitUntil, now);
}

bool DeviceGuard::deviceWrongPassword(const QString& device, const QString& staff, TimePoint now) {
    Device& known = devices_[idOf(device, staff)];
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

QString DeviceGuard::signedIn(const QString& device, const QString& staff, TimePoint now) {
    // A cookie counts only for the accounts whose password it came with, so keeping one the phone brings
    // gives it nothing it did not earn.
    const QString kept = TableTokens::LooksLikeToken(device) ? device : TableTokens::NewToken();
    devices_.insert(idOf(kept, staff), Device{now, 0, {}});
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
    const auto readAllowance = [&](const QJsonObject& kept) {
        return Allowance{
            std::clamp<double>(kept.value(QLatin1String("allowance")).toDouble(), 0, kUnknownAllowance),
            steadyOf(kept.value(QLatin1String("refilled")).toInteger(), now)};
    };
    // A file from before there were other accounts holds the first account's allowance alone.
    if (stored.contains(QLatin1String("allowance")))
        allowances_.insert(kFirstStaffId, readAllowance(stored));
    const QJsonObject allowances = stored.value(QLatin1String("allowances")).toObject();
    for (auto it = allowances.begin(); it != allowances.end() && allowances_.size() < kMaxAllowances; ++it)
        allowances_.insert(it.key(), readAllowance(it.value().toObject()));
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
    QJsonObject allowances;
    for (auto it = allowances_.cbegin(); it != allowances_.cend(); ++it)
        // A whole allowance is what an account without a record has.
        if (it->left < kUnknownAllowance)
            allowances.insert(it.key(), QJsonObject{{QLatin1String("allowance"), it->left},
                                                    {QLatin1String("refilled"), wallOf(it->refilled, now)}});
    const QJsonObject stored{{QLatin1String("allowances"), allowances}, {QLatin1String("devices"), devices}};
    QSaveFile file(file_);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(QJsonDocument(stored).toJson(QJsonDocument::Compact)) > 0 && file.commit()) {
        QFile::setPermissions(file_, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return;
    }
    // Kept in memory still; only a restart would forget it.
    Log::write(QStringLiteral("手机点餐：登录记录 %1 无法写入：%2").arg(file_, file.errorString()));
}
