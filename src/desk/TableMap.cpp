#include "desk/TableMap.h"

#include "bill/BillStore.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "store/NumberText.h"

#include <QRegularExpression>
#include <functional>

TableMap::TableMap(Database& db, SettingsStore& settings)
    : db_(db), settings_(settings), slots_(kSlotCount, QString()) {}

void TableMap::selectTile(int index) {
    if (index < 0 || index >= kTileCount)
        return;
    selectedTile_ = index;
    Q_EMIT selectionChanged(index);
}

int TableMap::tableCount() {
    return settings_.tableCount();
}

QString TableMap::tableName(int index) {
    const QStringList& names = settings_.tableList();
    return index >= 0 && index < names.size() ? names.at(index) : QString();
}

bool TableMap::isOccupied(int index) const {
    return index >= 0 && index < slots_.size() && SlotOccupied(slots_.at(index));
}

void TableMap::refreshSlots() {
    const QStringList stored = BillStore(db_).slots(tableCount());
    for (int i = 0; i < stored.size(); ++i)
        slots_[i] = stored.at(i);
    Q_EMIT slotsChanged();
    refreshBills();
}

void TableMap::refreshBills() {
    QStringList open;
    for (int i = 0; i < tableCount() && i < slots_.size(); ++i)
        if (isOccupied(i))
            open.append(slots_.at(i));
    QHash<QString, QString> fresh = BillStore(db_).receivables(open);
    if (fresh == receivables_)
        return;
    receivables_ = std::move(fresh);
    Q_EMIT billsChanged();
}

QString TableMap::tileStatus(int index, const QDateTime& now) const {
    if (!isOccupied(index))
        return {};
    const QString& billId = slots_.at(index);
    const QDateTime opened = QDateTime::fromString(billId, QStringLiteral("yyyyMMddHHmmss"));
    const qint64 minutes = opened.isValid() ? std::max<qint64>(0, opened.secsTo(now) / 60) : 0;
    const QString duration = minutes < 60 ? QStringLiteral("%1分").arg(minutes)
                                          : QStringLiteral("%1小时%2分").arg(minutes / 60).arg(minutes % 60);
    return QStringLiteral("¥%1 · %2").arg(receivables_.value(billId, QStringLiteral("0")), duration);
}

void TableMap::refreshSlotsIfChanged() {
    const QStringList stored = BillStore(db_).slots(tableCount());
    bool changed = false;
    for (int i = 0; i < stored.size(); ++i) {
        if (slots_.at(i) != stored.at(i)) {
            slots_[i] = stored.at(i);
            changed = true;
        }
    }
    if (changed)
        Q_EMIT slotsChanged();
    refreshBills();
}

void TableMap::setSlot(int index, const QString& billId) {
    if (index < 0 || index >= slots_.size() || slots_.at(index) == billId)
        return;
    slots_[index] = billId;
    Q_EMIT slotsChanged();
}

std::optional<QString> TableMap::receivableShown(int index) const {
    if (!isOccupied(index) || !receivables_.contains(slots_.at(index)))
        return std::nullopt;
    return receivables_.value(slots_.at(index));
}

BillStore::SettleResult TableMap::settle(int index, const std::optional<QString>& shownReceivable) {
    const BillStore::SettleResult result = BillStore(db_).settle(index, shownReceivable);
    if (result.status == BillStore::SettleStatus::Changed) {
        receivables_.insert(result.billId, result.receivable);
        Q_EMIT billsChanged();
        return result;
    }
    slots_[index] = QString();
    Q_EMIT slotsChanged();
    return result;
}

std::optional<QString> TableMap::changedSinceShown(int index, const std::optional<QString>& shownReceivable) {
    const QString billId = slotValue(index);
    if (!shownReceivable || !SlotOccupied(billId))
        return std::nullopt;
    const Transaction reading(db_, Transaction::Kind::Read);
    const std::optional<BillHeader> stored = BillStore(db_).header(billId);
    if (!stored || ReadNumber(stored->receivable) == ReadNumber(*shownReceivable))
        return std::nullopt;
    receivables_.insert(billId, stored->receivable);
    Q_EMIT billsChanged();
    return stored->receivable;
}

TableMap::TransferResult TableMap::transfer(int source, int target, const QString& approver) {
    BillStore store(db_);
    const TransferResult result = store.transfer(source, target, tableName(target), actor_, approver);
    if (result != TransferResult::Moved)
        return result;
    slots_[source] = QString();
    slots_[target] = store.slotOf(target);
    Q_EMIT slotsChanged();
    selectTile(target);
    return TransferResult::Moved;
}

QString TableMap::split(int source, int target, const QList<SplitPart>& parts, const QString& approver) {
    TableRegroup regroup(db_);
    regroup.setActor(actor_, approver);
    const QString billId =
        regroup.split(source, target, tableName(target), parts, QDateTime::currentDateTime());
    refreshSlots();
    selectTile(target);
    return billId;
}

void TableMap::merge(int target, const QList<int>& sources, const QString& approver) {
    TableRegroup regroup(db_);
    regroup.setActor(actor_, approver);
    regroup.merge(target, sources, QDateTime::currentDateTime());
    refreshSlots();
}

void TableMap::undoMerge(int target, const QString& approver) {
    TableRegroup regroup(db_);
    regroup.setActor(actor_, approver);
    regroup.undoMerge(target);
    refreshSlots();
}

QList<int> TableMap::mergedInto(int target) {
    return TableRegroup(db_).mergedTables(slots_.value(target));
}

QList<QPoint> TableMap::FlowTiles(int areaWidthTwips, int count) {
    QList<QPoint> positions;
    if (count <= 0)
        return positions;
    positions.append(QPoint(0, 0));
    for (int i = 1; i < count; ++i) {
        const QPoint previous = positions.last();
        if (previous.x() + 2 * kTileWidth < areaWidthTwips)
            positions.append(QPoint(previous.x() + kTileWidth, previous.y()));
        else
            positions.append(QPoint(0, previous.y() + kTileHeight));
    }
    return positions;
}

int TableMap::FindTyped(const QStringList& names, const QString& typed) {
    if (typed.isEmpty())
        return -1;
    static const QRegularExpression number(QStringLiteral("\\d+"));
    bool typedNumber = false;
    const qlonglong typedValue = typed.toLongLong(&typedNumber);
    // 大厅003 is table 3 too.
    const auto numberIs = [&](const QString& name) {
        if (!typedNumber)
            return false;
        for (const QRegularExpressionMatch& digits : number.globalMatch(name))
            if (digits.captured().toLongLong() == typedValue)
                return true;
        return false;
    };
    const std::function<bool(const QString&)> tests[] = {
        [&](const QString& name) { return name.compare(typed, Qt::CaseInsensitive) == 0; },
        [&](const QString& name) { return name.startsWith(typed, Qt::CaseInsensitive); },
        numberIs,
        [&](const QString& name) { return name.contains(typed, Qt::CaseInsensitive); },
    };
    for (const auto& test : tests)
        for (int i = 0; i < names.size(); ++i)
            if (test(names.at(i)))
                return i;
    return -1;
}
