#include "mobile/LocalAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

namespace {

QString dotted(const sockaddr* address) {
    char text[INET_ADDRSTRLEN] = {};
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address);
    return inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text) ? QString::fromLatin1(text) : QString();
}

QStringList hostNameAddresses() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0)
        return {};
    QStringList addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next)
        if (entry->ai_family == AF_INET && entry->ai_addr)
            addresses.append(dotted(entry->ai_addr));
    freeaddrinfo(found);
    return addresses;
}

QStringList interfaceAddresses() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return {};
    QStringList addresses;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        const bool up = (entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING);
        if (up && !(entry->ifa_flags & IFF_LOOPBACK) && entry->ifa_addr &&
            entry->ifa_addr->sa_family == AF_INET)
            addresses.append(dotted(entry->ifa_addr));
    }
    freeifaddrs(list);
    return addresses;
}

} // namespace

bool IsLoopbackAddress(const QString& dotted) {
    return dotted.startsWith(QLatin1String("127."));
}

QString ChooseLocalAddress(const QStringList& hostNameAddresses, const QStringList& interfaceAddresses) {
    const QString first = hostNameAddresses.value(0);
    if (!first.isEmpty() && !IsLoopbackAddress(first))
        return first;
    for (const QString& address : interfaceAddresses)
        if (!address.isEmpty() && !IsLoopbackAddress(address))
            return address;
    return first;
}

QString GetLocalAddress() {
    const QStringList byName = hostNameAddresses();
    if (!byName.isEmpty() && !IsLoopbackAddress(byName.first()))
        return byName.first();
    return ChooseLocalAddress(byName, interfaceAddresses());
}
