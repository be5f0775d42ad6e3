#include "crash_journal.h"

#include "store/Database.h"
#include "store/NumberText.h"
#include "store/Settings.h"

#include <QFile>
#include <fcntl.h>
#include <unistd.h>

void CrashJournal::open() {
    fd_ = ::open(path_.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
}

void CrashJournal::record(const QString& line) {
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    if (::write(fd_, bytes.constData(), bytes.size()) == bytes.size())
        ::fdatasync(fd_);
}

CrashCheck CheckAfterCrash(Database& db, const QString& journalPath) {
    CrashCheck check;
    {
        Statement integrity(db, "PRAGMA integrity_check");
        integrity.next();
        if (integrity.text(0) != QStringLiteral("ok"))
            check.problems.append(QStringLiteral("integrity_check: ") + integrity.text(0));
    }

    // Replay the promises: the last state of each line, bill and slot.
    QHash<QString, QString> lines; // 序号 -> 数量, or empty when gone
    QHash<QString, QString> bills; // id -> 应收
    QHash<int, QString> slots;
    QHash<QString, bool> left;
    QHash<QString, QString> billOfLine;
    // The call in flight when the process died: its table, the transfer target and its bill.
    QStringList inFlight;
    QFile file(journalPath);
    if (!journalPath.isEmpty() && file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> records = file.readAll().split('\n');
        for (int i = 0; i + 1 < records.size(); ++i) { // the last piece has no newline: torn or empty
            const QStringList f = QString::fromUtf8(records.at(i)).split(QLatin1Char(' '));
            if (f.value(0) == QStringLiteral("begin"))
                inFlight = f.mid(1);
            else if (f.value(0) == QStringLiteral("end"))
                inFlight.clear();
            else if (f.value(0) == QStringLiteral("line"))
                lines[f.value(1)] = f.value(2), billOfLine[f.value(1)] = f.value(3);
            else if (f.value(0) == QStringLiteral("gone"))
                lines[f.value(1)] = QString();
            else if (f.value(0) == QStringLiteral("bill") && f.value(2) == QStringLiteral("?"))
                bills.remove(f.value(1));
            else if (f.value(0) == QStringLiteral("bill"))
                bills[f.value(1)] = f.value(2);
            else if (f.value(0) == QStringLiteral("slot"))
                slots[f.value(1).toInt()] = f.value(2) == QStringLiteral("-") ? QString() : f.value(2);
            else if (f.value(0) == QStringLiteral("left"))
                left[f.value(1)] = true;
            ++check.recordsChecked;
        }
    }
    const auto touchedSlot = [&](int index) {
        return !inFlight.isEmpty() &&
               (inFlight.value(0).toInt() == index || inFlight.value(1).toInt() == index);
    };
    const auto touchedBill = [&](const QString& id) {
        return !inFlight.isEmpty() && inFlight.value(2) == id;
    };

    Statement lineQuery(db, "SELECT \"数量\" FROM \"明细\" WHERE \"序号\" = ?");
    for (auto it = lines.cbegin(); it != lines.cend(); ++it) {
        lineQuery.reset();
        lineQuery.bind(1, it.key());
        const bool present = lineQuery.next();
        if (touchedBill(billOfLine.value(it.key())))
            continue;
        if (it.value().isEmpty() && present)
            check.problems.append(QStringLiteral("deleted line %1 is back").arg(it.key()));
        else if (!it.value().isEmpty() && (!present || lineQuery.text(0) != it.value()))
            check.problems.append(QStringLiteral("line %1 of bill %2: promised %3, stored %4 (in flight: %5)")
                                      .arg(it.key(), billOfLine.value(it.key()), it.value(),
                                           present ? lineQuery.text(0) : QStringLiteral("nothing"),
                                           inFlight.join(QLatin1Char(' '))));
    }
    Statement billQuery(db, "SELECT \"应收\", \"退桌状态\" FROM \"桌台\" WHERE \"id\" = ?");
    for (auto it = bills.cbegin(); it != bills.cend(); ++it) {
        if (touchedBill(it.key()))
            continue;
        billQuery.reset();
        billQuery.bind(1, it.key());
        if (!billQuery.next())
            check.problems.append(QStringLiteral("bill %1 lost").arg(it.key()));
        else if (left.value(it.key()) && billQuery.text(1) != QStringLiteral("yes"))
            check.problems.append(QStringLiteral("bill %1 lost its checkout").arg(it.key()));
    }
    const QStringList stored = ReadSlots(db, 45);
    for (auto it = slots.cbegin(); it != slots.cend(); ++it)
        if (!touchedSlot(it.key()) && stored.value(it.key()) != it.value())
            check.problems.append(QStringLiteral("slot %1 holds %2, promised %3")
                                      .arg(it.key())
                                      .arg(stored.value(it.key()), it.value()));

    // Rules that hold whatever moment the process died at.
    for (int i = 0; i < stored.size(); ++i) {
        if (stored.at(i).isEmpty())
            continue;
        billQuery.reset();
        billQuery.bind(1, stored.at(i));
        if (!billQuery.next())
            check.problems.append(
                QStringLiteral("slot %1 points to missing bill %2").arg(i).arg(stored.at(i)));
    }
    Statement sums(
        db,
        "SELECT \"明细\".\"id\", \"桌台\".\"应收\", \"明细\".\"数量\", \"明细\".\"单价\", \"明细\".\"分类\" "
        "FROM \"明细\" LEFT JOIN \"桌台\" ON \"桌台\".\"id\" = \"明细\".\"id\" ORDER BY \"明细\".\"id\"");
    QHash<QString, double> lineTotals;
    QHash<QString, QString> billTotals;
    while (sums.next()) {
        lineTotals[sums.text(0)] += ReadNumber(sums.text(2)) * ReadNumber(sums.text(3));
        billTotals[sums.text(0)] = sums.isNull(1) ? QStringLiteral("<none>") : sums.text(1);
    }
    for (auto it = lineTotals.cbegin(); it != lineTotals.cend(); ++it) {
        const QString billTotal = billTotals.value(it.key());
        if (it.value() != 0 && billTotal == QStringLiteral("<none>"))
            check.problems.append(QStringLiteral("bill %1 has lines but no row").arg(it.key()));
        else if (billTotal != QStringLiteral("<none>") && NumberText(it.value()) != billTotal)
            check.problems.append(QStringLiteral("bill %1 total %2, lines add up to %3")
                                      .arg(it.key(), billTotal, NumberText(it.value())));
    }
    return check;
}
