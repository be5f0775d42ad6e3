#pragma once

#include <QDateTime>
#include <QString>

// The LAN server touches a file in the data folder when wrong staff passwords from the phones reach the
// alarm level; the counter asks this whether that happened since it last looked (alarms from before the
// counter started are not news).
class PhoneAlarm {
public:
    explicit PhoneAlarm(const QString& dataFolder);

    // The file in the data folder the server touches.
    static constexpr const char* kFileName = "Lanserve.alert";

    bool raisedSinceLastCheck();

    // What the counter shows.
    static QString Warning() { return QStringLiteral("手机点餐：多次密码错误"); }

private:
    QDateTime modified() const;

    QString path_;
    QDateTime seen_;
};
