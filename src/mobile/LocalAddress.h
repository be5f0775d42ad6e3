#pragma once

#include <QString>
#include <QStringList>

// The IPv4 address of this computer that phones on the same network can reach, in dotted decimal, or an
// empty text. The host name's first address is taken; when that is a loopback address (Debian maps the host
// name to 127.0.1.1), the first IPv4 address of an active, non-loopback interface is taken instead.
QString GetLocalAddress();

// The rule above on given lists, in the order the system returns them.
QString ChooseLocalAddress(const QStringList& hostNameAddresses, const QStringList& interfaceAddresses);

bool IsLoopbackAddress(const QString& dotted);
