#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

// The LAN server rewrites a file in the data folder for each wrong staff password from the phones while
// they are at the alarm level, so the file's time is that of the latest one. The counter asks this whether
// that happened since it last looked (alarms from before the counter started are not news). Once the
// cashier has acknowledged the alarm, only wrong passwords from after that moment raise it again.
class PhoneAlarm {
public:
    using Clock = std::function<QDateTime()>;
    explicit PhoneAlarm(const QString& dataFolder, Clock clock = &QDateTime::currentDateTimeUtc);

    // The file in the data folder the server touches.
    static constexpr const char* kFileName = "Lanserve.alert";

    bool raisedSinceLastCheck();
    // The cashier has seen the alarm: the wrong passwords until now are old news, even those not yet looked
    // at.
    void acknowledge();

    // What the counter shows.
    static QString Warning() { return QStringLiteral("手机点餐：多次密码错误"); }

private:
    QDateTime modified() const;

    QString path_;
    Clock clock_;
    QDateTime seen_;
    QDateTime acknowledged_;
};
