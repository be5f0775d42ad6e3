#include "print/TicketEncoder.h"

#include "print/EscPos.h"
#include "store/NumberText.h"

#include <algorithm>

namespace {

using Align = EscPosWriter::Align;

QString Rule(int columns) {
    return QString(columns, QLatin1Char('-'));
}

// Lines of a label and its value, the value going on under the label's width when it is long.
void LabelledLines(EscPosWriter& out, const QString& label, const QString& value, int columns) {
    for (const QString& line : WrapColumns(label + value, columns))
        out.line(line);
}

// Big centred text (double width and height), which halves the columns.
void LargeLines(EscPosWriter& out, const QString& text, int columns) {
    out.align(Align::Center).size(true, true);
    for (const QString& line : WrapColumns(text, columns / 2))
        out.line(line);
    out.size(false, false).align(Align::Left);
}

void CopyBanner(EscPosWriter& out, const QString& mark, int columns) {
    if (!mark.isEmpty())
        LargeLines(out, QStringLiteral("** %1 **").arg(mark), columns);
}

void Finish(EscPosWriter& out) {
    out.feed(3).cut();
}

// An item: its name on the left, broken within its column, the quantity on the right of the first line
// (on a line of its own when it leaves the name too little room); the remark below it, indented.
void KitchenItem(EscPosWriter& out, const OrderLine& line, int columns, const QString& change) {
    // On a 退菜 or 加菜 ticket the quantity is what was taken back or added, and says so.
    const QString quantity = change.left(1) + QuantityText(line);
    const int quantityColumns = TextColumns(quantity);
    const int nameColumns = columns - quantityColumns - 1;
    out.size(false, true);
    if (nameColumns >= columns / 3) {
        const QStringList names = WrapColumns(line.name, nameColumns);
        out.line(PadColumns(names.first(), columns - quantityColumns) + quantity);
        for (qsizetype i = 1; i < names.size(); ++i)
            out.line(names.at(i));
    } else {
        for (const QString& name : WrapColumns(line.name, columns))
            out.line(name);
        out.align(Align::Right);
        for (const QString& part : WrapColumns(quantity, columns))
            out.line(part);
        out.align(Align::Left);
    }
    out.size(false, false);
    if (!line.remark.trimmed().isEmpty()) {
        const QString indent(2, QLatin1Char(' '));
        for (const QString& remark :
             WrapColumns(QStringLiteral("备注：") + line.remark.trimmed(), columns - 2))
            out.line(indent + remark);
    }
}

struct BillColumns {
    int name;
    int quantity;
    int amount;
};

BillColumns BillColumnsFor(int columns) {
    const int amount = columns >= 48 ? 10 : 8;
    const int quantity = columns >= 48 ? 10 : 8;
    return {columns - quantity - amount, quantity, amount};
}

QString RightAligned(const QString& text, int columns) {
    const int used = TextColumns(text);
    return used >= columns ? text : QString(columns - used, QLatin1Char(' ')) + text;
}

// A bill row: each cell broken within its column, the rows as many as the tallest cell needs.
void BillRow(EscPosWriter& out, const BillColumns& widths, const QString& name, const QString& quantity,
             const QString& amount) {
    const QStringList names = WrapColumns(name, widths.name - 1);
    const QStringList quantities = WrapColumns(quantity, widths.quantity - 1);
    const QStringList amounts = WrapColumns(amount, widths.amount);
    const qsizetype rows = std::max({names.size(), quantities.size(), amounts.size()});
    for (qsizetype i = 0; i < rows; ++i)
        out.line(PadColumns(names.value(i), widths.name) + PadColumns(quantities.value(i), widths.quantity) +
                 RightAligned(amounts.value(i), widths.amount));
}

// A report row: the label on the left and the value on the right of the same line when both fit, else the
// value right-aligned on lines of its own; a row without a value is a heading in bold.
void ReportRowLines(EscPosWriter& out, const ReportLine& row, int columns) {
    const auto& [label, value] = row;
    if (value.isEmpty()) {
        out.bold(true);
        for (const QString& line : WrapColumns(label, columns))
            out.line(line);
        out.bold(false);
        return;
    }
    const int gap = columns - TextColumns(label) - TextColumns(value);
    if (gap >= 1) {
        out.line(label + QString(gap, QLatin1Char(' ')) + value);
        return;
    }
    for (const QString& line : WrapColumns(label, columns))
        out.line(line);
    for (const QString& line : WrapColumns(value, columns))
        out.line(RightAligned(line, columns));
}

} // namespace

QByteArray EncodeReport(const PrintJob& job, int columns) {
    EscPosWriter out;
    out.initialize();
    CopyBanner(out, CopyMark(job), columns);
    LargeLines(out, job.title, columns);
    out.line(Rule(columns));
    for (const ReportLine& row : job.rows)
        ReportRowLines(out, row, columns);
    out.line(Rule(columns));
    LabelledLines(out, QStringLiteral("打印时间："),
                  job.created.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), columns);
    Finish(out);
    return out.bytes();
}

QString CopyMark(const PrintJob& job) {
    QStringList marks;
    if (job.reprint)
        marks.append(QStringLiteral("重打"));
    if (job.recovery)
        marks.append(QStringLiteral("补打"));
    return marks.join(QLatin1Char(' '));
}

QString QuantityText(const OrderLine& line) {
    return QStringLiteral("×") + line.quantity + line.unit;
}

QByteArray EncodeKitchenTicket(const PrintJob& job, int columns) {
    EscPosWriter out;
    out.initialize();
    out.align(Align::Center).bold(true).line(job.printer).bold(false).align(Align::Left);
    CopyBanner(out, CopyMark(job), columns);
    // A change of what the kitchen already has must not be read as a new order.
    if (!job.change.isEmpty())
        LargeLines(out, QStringLiteral("■■ %1 ■■").arg(job.change), columns);
    LargeLines(out, QStringLiteral("桌号：") + job.tableName, columns);
    out.size(true, true).line(QStringLiteral("单号：%1").arg(job.number)).size(false, false);
    LabelledLines(out, QStringLiteral("来源："), job.source, columns);
    LabelledLines(out, QStringLiteral("时间："), job.created.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                  columns);
    out.line(Rule(columns));
    for (const OrderLine& line : job.lines)
        KitchenItem(out, line, columns, job.change);
    out.line(Rule(columns));
    if (!job.reason.isEmpty())
        LabelledLines(out, QStringLiteral("原因："), job.reason, columns);
    out.line(job.change.isEmpty() ? QStringLiteral("共 %1 项").arg(job.lines.size())
                                  : QStringLiteral("%1 共 %2 项").arg(job.change).arg(job.lines.size()));
    Finish(out);
    return out.bytes();
}

QByteArray EncodeBill(const BillData& bill, int columns, const QString& copyMark) {
    const BillColumns widths = BillColumnsFor(columns);
    EscPosWriter out;
    out.initialize();
    CopyBanner(out, copyMark, columns);
    LargeLines(out, bill.restaurantName, columns);
    out.align(Align::Center).bold(true).size(true, true).line(QStringLiteral("消费清单"));
    out.size(false, false).bold(false).align(Align::Left);
    LabelledLines(out, QStringLiteral("桌号："), bill.tableName, columns);
    LabelledLines(out, QStringLiteral("打印时间："),
                  bill.printTime.toString(QStringLiteral("yyyy-MM-dd hh:mm")), columns);
    out.line(Rule(columns));
    BillRow(out, widths, QStringLiteral("名称"), QStringLiteral("数量"), QStringLiteral("金额"));
    out.line(Rule(columns));
    for (const OrderLine& line : bill.lines)
        BillRow(out, widths, line.name, line.quantity + line.unit, FormatMoneyText(line.amount));
    out.line(Rule(columns));
    LabelledLines(out, QStringLiteral("合计："), FormatMoneyText(bill.receivable), columns);
    LabelledLines(out, QStringLiteral("实收："), FormatMoneyText(bill.received), columns);
    out.line(Rule(columns));
    LabelledLines(out, QStringLiteral("地址："), bill.address, columns);
    LabelledLines(out, QStringLiteral("电话："), bill.phone, columns);
    Finish(out);
    return out.bytes();
}

QByteArray EncodeTestPage(const Printer& printer, const QDateTime& now) {
    const int columns = printer.columns();
    EscPosWriter out;
    out.initialize();
    LargeLines(out, QStringLiteral("打印测试页"), columns);
    LabelledLines(out, QStringLiteral("名称："), printer.name, columns);
    LabelledLines(out, QStringLiteral("地址："), printer.address, columns);
    LabelledLines(out, QStringLiteral("纸宽："),
                  QStringLiteral("%1 毫米，每行 %2 个字符").arg(printer.paperMm).arg(columns), columns);
    LabelledLines(out, QStringLiteral("用途："), printer.useText(), columns);
    LabelledLines(out, QStringLiteral("分类："),
                  printer.categories.isEmpty() ? QStringLiteral("其他打印机不接收的分类")
                                               : printer.categories.join(QLatin1Char(',')),
                  columns);
    LabelledLines(out, QStringLiteral("钱箱："),
                  printer.drawer ? QStringLiteral("结账离开时打开") : QStringLiteral("不打开"), columns);
    out.line(Rule(columns));
    QString ruler;
    for (int i = 0; i < columns; ++i)
        ruler.append(QChar(u'0' + (i + 1) % 10));
    out.line(ruler);
    out.line(QString(columns / 2, QChar(u'中')));
    // What becomes of characters outside the printer's fonts, as the printers page says.
    LabelledLines(out, QStringLiteral("GBK 以外的字符印作“%1”：").arg(kUnprintableMark),
                  QStringLiteral("𠮷😀☕"), columns);
    LabelledLines(out, QStringLiteral("时间："), now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                  columns);
    Finish(out);
    return out.bytes();
}

QByteArray EncodeDrawerPulse() {
    EscPosWriter out;
    out.initialize().pulseDrawer();
    return out.bytes();
}

QByteArray EncodeJob(const PrintJob& job, const Printer& printer) {
    switch (job.kind) {
    case JobKind::Kitchen:
        return EncodeKitchenTicket(job, printer.columns());
    case JobKind::Bill:
        return EncodeBill(job.bill, printer.columns(), CopyMark(job));
    case JobKind::TestPage:
        return EncodeTestPage(printer, job.created);
    case JobKind::Drawer:
        return EncodeDrawerPulse();
    case JobKind::Report:
        return EncodeReport(job, printer.columns());
    }
    return {};
}
