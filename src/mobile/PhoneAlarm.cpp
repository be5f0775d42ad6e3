#include "mobile/PhoneAlarm.h"

#include <QFileInfo>

PhoneAlarm::PhoneAlarm(const QString& dataFolder)
    : path_(dataFolder + QLatin1Char('/') + QLatin1String(kFileName)), seen_(modified()) {}

QDateTime PhoneAlarm::modified() const {
    const QFileInfo file(path_);
    return file.exists() ? file.lastModified() : QDateTime();
}

bool PhoneAlarm::raisedSinceLastCheck() {
    const QDateTime now = modified();
    if (!now.isValid() || now == seen_)
        return false;
    seen_ = now;
    return true;
}
