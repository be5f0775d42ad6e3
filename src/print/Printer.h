#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Where a printer is reached, as its address names it:
//   tcp://HOST:PORT   a network printer's raw port (9100 when the port is left out)
//   usb:/dev/usb/lp0  a USB printer's device file
//   cups:QUEUE        a CUPS queue, the bytes sent raw
//   system            the desktop's default printer, printing pages as before printers were set up
struct PrinterAddress {
    enum class Kind { Tcp, Usb, Cups, System };
    Kind kind = Kind::System;
    QString host; // tcp
    quint16 port = 9100;
    QString path; // usb: the device file; cups: the queue name

    // The address as parsed, or nullopt (with the reason in whyNot) when it is none of the four forms.
    static std::optional<PrinterAddress> Parse(const QString& text, QString* whyNot = nullptr);
    // Raw ESC/POS bytes go to every kind but the system printer, which prints pages.
    bool raw() const { return kind != Kind::System; }
};

inline const QString kKitchenUse = QStringLiteral("后厨");
inline const QString kBillUse = QStringLiteral("账单");

// One row of 打印机. A kitchen printer takes the categories listed (菜品, 酒水, 其他); with none listed it
// takes every category no other kitchen printer lists.
struct Printer {
    QString name;
    QString address;
    int paperMm = 80; // 58 or 80
    bool kitchen = true;
    bool bills = false;
    QStringList categories;
    bool drawer = false; // pulses the cash drawer on 结账离开
    bool enabled = true;

    // Characters of the normal font across the paper: 32 on 58 mm paper, 48 on 80 mm.
    int columns() const { return paperMm == 58 ? 32 : 48; }
    // 用途 as stored: "后厨", "账单" or "后厨,账单".
    QString useText() const;
    void setUseText(const QString& text);

    bool operator==(const Printer&) const = default;
};

// Why the printer cannot be stored as it is (empty when it can): a missing name, an address of none of the
// four forms, a paper width other than 58 or 80, no use, an unknown category.
QString PrinterProblem(const Printer& printer);

// The menu's categories, in the order the settings show them.
const QStringList& PrinterCategories();
