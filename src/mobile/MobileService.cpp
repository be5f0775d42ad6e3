#include "mobile/MobileService.h"

#include "mobile/ServerControl.h"
#include "mobile/ServicePages.h"
#include "settings/Password.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/PasswordHash.h"
#include "store/Settings.h"

#include <QFile>

namespace MobileService {

QString PageAddress(const QString& localAddress) {
    return QStringLiteral("http://") + localAddress + QStringLiteral(":%1").arg(kPort) +
           QStringLiteral("/phone/list.asp");
}

SwitchResult ApplySwitch(ServerControl& server, bool on) {
    if (!on)
        return server.stop() ? SwitchResult::Stopped : SwitchResult::NotRunning;
    switch (server.start()) {
    case ServerControl::StartResult::Started:
        return SwitchResult::Started;
    case ServerControl::StartResult::AlreadyRunning:
        return SwitchResult::AlreadyRunning;
    case ServerControl::StartResult::NotInstalled:
        return SwitchResult::NotInstalled;
    case ServerControl::StartResult::Failed:
        break;
    }
    return SwitchResult::StartFailed;
}

QString SwitchMessage(SwitchResult result) {
    switch (result) {
    case SwitchResult::NotInstalled:
        return QStringLiteral("开启手机点餐功能出错：找不到手机点餐服务程序 Lanserve，请重新安装本软件。");
    case SwitchResult::StartFailed:
        return QStringLiteral("开启手机点餐功能出错：手机点餐服务程序 Lanserve 无法启动。");
    default:
        return {};
    }
}

void StoreFlag(Database& db, SettingsStore& store, bool on) {
    // The in-memory flag follows the box even when the row cannot be written.
    store.setMobileFlag(on ? 1 : 0);
    Statement update(db, "UPDATE \"综合设置\" SET \"手机点餐\" = ? "
                         "WHERE rowid = (SELECT min(rowid) FROM \"综合设置\")");
    update.bind(1, on ? QStringLiteral("1") : QStringLiteral("0")).run();
}

} // namespace MobileService

namespace {

// Keys of the hints already given, one per line, in a small file of the data folder.
bool firstTime(const QString& dataFolder, const QString& key) {
    QFile file(dataFolder + QStringLiteral("/.given-hints"));
    if (file.open(QIODevice::ReadOnly)) {
        const QStringList given = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        if (given.contains(key))
            return false;
        file.close();
    }
    if (file.open(QIODevice::Append))
        file.write(key.toUtf8() + '\n');
    return true;
}

} // namespace

QStringList MobileService::HintsToShowOnce(Database& db, const QString& dataFolder, bool mobileOrderingOn) {
    QStringList hints;
    const std::optional<StaffAccount> account = LoginAccount(db);
    if (mobileOrderingOn && account && PasswordHashMatches(kFactoryPassword, account->passwordHash) &&
        firstTime(dataFolder, QStringLiteral("factory-password")))
        hints.append(QStringLiteral("服务员用收银软件的登录密码在手机上登录，而现在的密码仍是出厂密码 739，"
                                    "顾客也可能猜到。请在“综合设置”中修改密码。"));
    const QStringList edited = EditedServicePages(dataFolder);
    if (!edited.isEmpty() &&
        firstTime(dataFolder, QStringLiteral("kept-pages ") + edited.join(QLatin1Char(' '))))
        hints.append(QStringLiteral(
                         "这些手机点餐页面是贵店修改过的，升级时保留了原样，没有换成新版：%1。"
                         "如需新版页面，请删除这些文件（在数据文件夹的 phone 文件夹中）后重新启动收银软件。")
                         .arg(edited.join(QStringLiteral("、"))));
    return hints;
}
