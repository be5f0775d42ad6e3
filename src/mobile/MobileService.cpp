#include "mobile/MobileService.h"

#include "app/ServerControl.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"

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
