#include "lanserve/StaffSignIn.h"

#include "lanserve/PageTemplate.h"
#include "mobile/PhoneAlarm.h"
#include "settings/Password.h"
#include "store/Log.h"
#include "store/PasswordHash.h"
#include "store/Schema.h"
#include "store/Settings.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

namespace {

// Staff sign in here with their 工号 and password (a restaurant with one account keeps 001).
const char* const kSignInPage = R"(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>服务员登录</title>
<style>body{font-family:sans-serif;margin:0;background:#f2f2f2;font-size:18px}
header{background:rgb(75,151,199);color:#fff;padding:14px 16px;font-size:20px}
form{margin:24px 16px}p{line-height:1.6}.error{color:#c00}
input,button{box-sizing:border-box;width:100%;font-size:18px;padding:12px;margin:8px 0;border-radius:6px}
input{border:1px solid #bbb}button{border:0;background:rgb(75,151,199);color:#fff}</style></head>
<body><header>服务员登录</header>
<form method="post" action="{{action}}">
{{#message}}<p class="error" id="message">{{message}}</p>{{/message}}
<p>请输入工号和收银软件的登录密码。顾客请扫描餐桌上的二维码点菜。</p>
<input type="hidden" name="next" value="{{next}}">
<label>工号<input type="text" name="staff" value="{{staff}}" autocomplete="username" maxlength="10"></label>
<label>密码<input type="password" name="password" autocomplete="current-password" maxlength="50" autofocus></label>
<button type="submit">登录</button>
</form></body></html>
)";

// Where to go after signing in: one of our own pages with a plain query, else the table list.
QString safeNext(const QString& next) {
    static const QRegularExpression query(QStringLiteral("^(\\?[A-Za-z0-9%&=._~+-]*)?$"));
    const qsizetype split = next.indexOf(QLatin1Char('?'));
    const QString page = split < 0 ? next : next.left(split);
    const QString rest = split < 0 ? QString() : next.mid(split);
    if (FindPageRoute(page) && query.match(rest).hasMatch())
        return next;
    return PageName(PhonePage::List);
}

} // namespace

StaffSignIn::StaffSignIn(PageContext& context)
    : context_(context),
      sessions_(&std::chrono::steady_clock::now, context.dataFile(QString::fromLatin1(kGuardFile))) {}

QHash<QString, QString> StaffSignIn::currentPasswordStamps() {
    QHash<QString, QString> hashes;
    {
        const std::scoped_lock lock(context_.dbMutex());
        hashes = EnabledPasswordHashes(context_.db());
    }
    for (QString& hash : hashes)
        hash = PasswordStamp(hash);
    return hashes;
}

bool StaffSignIn::signedIn(const PageRequest& request, const QHash<QString, QString>& passwordStamps) {
    return !request.staffSession.isEmpty() && sessions_.check(request.staffSession, passwordStamps);
}

QString StaffSignIn::staffOf(const PageRequest& request) {
    return sessions_.staffOf(request.staffSession);
}

PageResponse StaffSignIn::signIn(const PageRequest& request) {
    const QString next = safeNext(Param(request, "next"));
    const QString staff =
        Param(request, "staff").trimmed().isEmpty() ? kFirstStaffId : Param(request, "staff").trimmed();
    std::optional<StaffAccount> account;
    {
        const std::scoped_lock lock(context_.dbMutex());
        account = ReadStaffAccount(context_.db(), staff);
    }
    const QString password = Param(request, "password");
    // The slow hash is computed only for a try the guard lets through, so guessing costs no more work
    // than it may make tries.
    const auto matches = [&account, &password] {
        return account && account->enabled && PasswordHashMatches(password, account->passwordHash);
    };
    const QString stamp = PasswordStamp(account ? account->passwordHash : QString());
    const StaffSessions::SignIn result =
        // Names of no account share one guard, so made-up 工号 cannot multiply the allowance.
        sessions_.signIn(request.peer, matches, stamp, request.deviceToken, account ? staff : QString());
    report(result, request.peer);
    switch (result.outcome) {
    case StaffSessions::Outcome::Accepted: {
        PageResponse response = Redirect(next);
        response.cookie = result.session;
        response.deviceCookie = result.device;
        return response;
    }
    case StaffSessions::Outcome::WrongPassword:
        return SignInPage(403, QStringLiteral("密码错误！"), next);
    case StaffSessions::Outcome::Locked:
        return SignInPage(429, QStringLiteral("密码错误次数过多，请一分钟后再试。"), next);
    case StaffSessions::Outcome::DeviceWaits:
        return SignInPage(
            429, QStringLiteral("这台手机输错密码的次数过多，请 %1后再试。").arg(WaitText(result.retryAfter)),
            next);
    case StaffSessions::Outcome::Throttled:
        break;
    }
    return SignInPage(
        429, QStringLiteral("密码错误次数过多，登录暂时受限，请 %1后再试。").arg(WaitText(result.retryAfter)),
        next);
}

QString StaffSignIn::WaitText(std::chrono::seconds wait) {
    using std::chrono::hours, std::chrono::minutes;
    if (wait < minutes(2))
        return QStringLiteral("%1 秒").arg(wait.count());
    if (wait < hours(2))
        return QStringLiteral("%1 分钟").arg(std::chrono::ceil<minutes>(wait).count());
    return QStringLiteral("%1 小时").arg(std::chrono::ceil<hours>(wait).count());
}

// The log says when a lock or the alarm starts, once; the counter hears of every wrong password while the
// alarm holds (those are few: each one waits its turn).
void StaffSignIn::report(const StaffSessions::SignIn& result, const QString& peer) {
    if (result.lockStarted && result.outcome == StaffSessions::Outcome::Locked)
        Log::write(QStringLiteral("手机点餐：%1 密码错误次数过多，登录暂停一分钟").arg(peer));
    if (result.lockStarted && result.outcome == StaffSessions::Outcome::DeviceWaits)
        Log::write(QStringLiteral("手机点餐：登录过的手机（%1）密码错误次数过多，登录暂停 %2")
                       .arg(peer, WaitText(result.retryAfter)));
    if (result.alarmStarted)
        raiseAlarm();
    if (result.allowanceSpent)
        Log::write(QStringLiteral("手机点餐：未登录过的手机密码错误次数已到上限，它们要等 %1 才能再登录；"
                                  "登录过的手机不受影响")
                       .arg(WaitText(
                           std::chrono::duration_cast<std::chrono::seconds>(DeviceGuard::kAllowanceRefill))));
    if (result.alarmed)
        tellTheCounter();
}

PageResponse StaffSignIn::signOut(const PageRequest& request) {
    sessions_.signOut(request.staffSession);
    PageResponse response = SignInPage(200, QStringLiteral("已退出登录。"), PageName(PhonePage::List));
    response.endSession = true;
    return response;
}

void StaffSignIn::raiseAlarm() {
    Log::write(QStringLiteral("手机点餐：多次密码错误，%1 分钟内超过 %2 次，登录已放慢")
                   .arg(std::chrono::duration_cast<std::chrono::minutes>(StaffSessions::kAlarmWindow).count())
                   .arg(StaffSessions::kAlarmWrongTries));
}

// The counter watches this file and warns the cashier; its time is the time of the latest wrong password.
void StaffSignIn::tellTheCounter() {
    QSaveFile alert(context_.dataFile(QLatin1String(PhoneAlarm::kFileName)));
    if (alert.open(QIODevice::WriteOnly)) {
        alert.write(QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + '\n');
        alert.commit();
    }
}

PageResponse StaffSignIn::SignInPage(int status, const QString& message, const QString& next) {
    static const PageTemplate page(QString::fromUtf8(kSignInPage));
    PageData data;
    data.set(QStringLiteral("action"), PageName(PhonePage::List));
    data.set(QStringLiteral("message"), message);
    data.set(QStringLiteral("next"), next);
    data.set(QStringLiteral("staff"), kFirstStaffId);
    PageResponse response;
    response.status = status;
    response.body = page.render(data).toUtf8();
    return response;
}

QString StaffSignIn::PageTarget(const PageRequest& request) {
    QString target = request.page;
    QChar separator = QLatin1Char('?');
    for (auto it = request.params.cbegin(); it != request.params.cend(); ++it) {
        target += separator + QString::fromLatin1(QUrl::toPercentEncoding(it.key())) + QLatin1Char('=') +
                  QString::fromLatin1(QUrl::toPercentEncoding(it.value()));
        separator = QLatin1Char('&');
    }
    return target.size() > 1000 ? request.page : target;
}
