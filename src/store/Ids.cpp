#include "store/Ids.h"

#include <QRegularExpression>

QString BillId(const QDateTime& openedAt) {
    return openedAt.toString(QStringLiteral("yyyyMMddHHmmss"));
}

QString LineId(const QDateTime& addedAt, int linesBefore) {
    const QString count = (QStringLiteral("000") + QString::number(linesBefore)).right(3);
    return addedAt.toString(QStringLiteral("yyMMddHHmmss")) + count;
}

QString SortKey(const QString& recordOrCategory, int linesBefore) {
    const QString head = recordOrCategory.left(2);
    int base = 1000;
    if (head == QStringLiteral("酒水"))
        base = 2000;
    else if (head == QStringLiteral("其他"))
        base = 3000;
    return QString::number(base + linesBefore);
}

QString BillTimeText(const QString& billId) {
    return billId.mid(0, 4) + QLatin1Char('-') + billId.mid(4, 2) + QLatin1Char('-') + billId.mid(6, 2) +
           QLatin1Char(' ') + billId.mid(8, 2) + QLatin1Char(':') + billId.mid(10, 2);
}

QString EscapeBrackets(const QString& name) {
    QString stored = name;
    stored.replace(QLatin1Char('['), QLatin1Char('{')).replace(QLatin1Char(']'), QLatin1Char('}'));
    return stored;
}

QString RestoreBrackets(const QString& stored) {
    QString name = stored;
    name.replace(QLatin1Char('{'), QLatin1Char('[')).replace(QLatin1Char('}'), QLatin1Char(']'));
    return name;
}

QString DateText(const QDate& date) {
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QDate OneMonthBack(const QDate& date) {
    return date.addMonths(-1);
}

std::optional<QDate> ParseUserDate(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}
