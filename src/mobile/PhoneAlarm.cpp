#include "mobile/PhoneAlarm.h"

#include <QFileInfo>

PhoneAlarm::PhoneAlarm(const QString& dataFolder, Clock clock)
    : path_(dataFolder + QLatin1Char('/') + QLatin1String(kFileName)), clock_(std::move(clock)),
      seen_(modified()) {}

QDateTime PhoneAlarm::modified() const {
    const QFileInfo file(path_);
    return file.exists() ? file.lastModified() : QDateTime();
}

bool PhoneAlarm::raisedSinceLastCheck() {
    const QDateTime now = modified();
    if (!now.isValid() || now == seen_)
        return false;
    seen_ = now;
    return !acknowledged_.isValid() || now > acknowledged_;
}

void PhoneAlarm::acknowledge() {
    acknowledged_ = clock_();
    seen_ = modified();
}
