#pragma once

#include <QString>
#include <QStringList>

class Database;
class ServerControl;
class SettingsStore;

// The mobile ordering switch: the page address, starting and stopping the server, the stored flag.
namespace MobileService {

inline constexpr int kPort = 8212;

// "http://" + address + ":8212/phone/list.asp" (the address may be empty).
QString PageAddress(const QString& localAddress);

enum class SwitchResult { Started, AlreadyRunning, NotInstalled, StartFailed, Stopped, NotRunning };

// Ticked: starts the server unless one runs. Cleared: asks a running server to end.
SwitchResult ApplySwitch(ServerControl& server, bool on);

// The message a user must see for a result, or an empty text.
QString SwitchMessage(SwitchResult result);

// Sets the store's flag and writes 综合设置.手机点餐 ("1" or "0"); throws StoreError when the row cannot be
// written (the store's flag is set all the same).
void StoreFlag(Database& db, SettingsStore& store, bool on);

// Hints 手机点餐 shows once per data folder: the login password is still the factory one while phones can
// sign in with it, and phone pages the restaurant edited were kept when the program was updated. Each
// hint is remembered in the data folder once it has been given.
QStringList HintsToShowOnce(Database& db, const QString& dataFolder, bool mobileOrderingOn);

} // namespace MobileService
