#include "print/Printer.h"

#include "bill/OrderLine.h"

#include <QUrl>

namespace {

const QString kTcpPrefix = QStringLiteral("tcp://");
const QString kUsbPrefix = QStringLiteral("usb:");
const QString kCupsPrefix = QStringLiteral("cups:");

std::optional<PrinterAddress> Refuse(QString* whyNot, const QString& why) {
    if (whyNot)
        *whyNot = why;
    return std::nullopt;
}

std::optional<PrinterAddress> ParseTcp(const QString& rest, QString* whyNot) {
    // QUrl takes care of bracketed IPv6 hosts and the port.
    const QUrl url(kTcpPrefix + rest, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.path().isEmpty() || !url.userInfo().isEmpty() ||
        url.hasQuery() || url.hasFragment())
        return Refuse(whyNot, QStringLiteral(
                                  "网络打印机的地址应写成 tcp://IP地址:端口，例如 tcp://192.168.1.100:9100"));
    PrinterAddress address;
    address.kind = PrinterAddress::Kind::Tcp;
    address.host = url.host();
    const int port = url.port(9100);
    if (port <= 0 || port > 65535)
        return Refuse(whyNot, QStringLiteral("端口应在 1 到 65535 之间"));
    address.port = static_cast<quint16>(port);
    return address;
}

} // namespace

std::optional<PrinterAddress> PrinterAddress::Parse(const QString& text, QString* whyNot) {
    const QString trimmed = text.trimmed();
    if (trimmed == QLatin1String("system"))
        return PrinterAddress{};
    if (trimmed.startsWith(kTcpPrefix))
        return ParseTcp(trimmed.mid(kTcpPrefix.size()), whyNot);
    if (trimmed.startsWith(kUsbPrefix)) {
        const QString path = trimmed.mid(kUsbPrefix.size());
        if (!path.startsWith(QLatin1Char('/')) || path.size() < 2)
            return Refuse(whyNot, QStringLiteral("USB 打印机的地址应写成 usb:/dev/usb/lp0"));
        return PrinterAddress{Kind::Usb, {}, 0, path};
    }
    if (trimmed.startsWith(kCupsPrefix)) {
        const QString queue = trimmed.mid(kCupsPrefix.size());
        const bool plain = !queue.isEmpty() && std::none_of(queue.begin(), queue.end(), [](QChar c) {
            return c.isSpace() || c == QLatin1Char('/') || c == QLatin1Char('#');
        });
        if (!plain)
            return Refuse(
                whyNot, QStringLiteral("CUPS 打印队列的地址应写成 cups:队列名，队列名中不能有空格、/ 或 #"));
        return PrinterAddress{Kind::Cups, {}, 0, queue};
    }
    return Refuse(whyNot,
                  QStringLiteral("地址应为 tcp://IP地址:端口、usb:/dev/usb/lp0、cups:队列名 或 system"));
}

QString Printer::useText() const {
    QStringList uses;
    if (kitchen)
        uses.append(kKitchenUse);
    if (bills)
        uses.append(kBillUse);
    return uses.join(QLatin1Char(','));
}

void Printer::setUseText(const QString& text) {
    const QStringList uses = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    kitchen = uses.contains(kKitchenUse);
    bills = uses.contains(kBillUse);
}

const QStringList& PrinterCategories() {
    static const QStringList categories{kDishes, kDrinks, kOthers};
    return categories;
}

QString PrinterProblem(const Printer& printer) {
    if (printer.name.trimmed().isEmpty())
        return QStringLiteral("请填写打印机名称，例如 厨房、吧台、前台。");
    if (printer.name.contains(QLatin1Char(',')))
        return QStringLiteral("打印机名称中不能有逗号。");
    QString why;
    if (!PrinterAddress::Parse(printer.address, &why))
        return QStringLiteral("地址“%1”不对：%2。").arg(printer.address, why);
    if (printer.paperMm != 58 && printer.paperMm != 80)
        return QStringLiteral("纸宽只能是 58 或 80 毫米。");
    if (!printer.kitchen && !printer.bills)
        return QStringLiteral("请选择打印机的用途：后厨、账单，或两者都选。");
    for (const QString& category : printer.categories)
        if (!PrinterCategories().contains(category))
            return QStringLiteral("没有“%1”这个分类，分类只能是 菜品、酒水、其他。").arg(category);
    return {};
}
