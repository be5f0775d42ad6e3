#include "ui/GivingColumns.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QTableView>
#include <algorithm>

namespace {

// A giving column keeps room for this many characters.
constexpr int kFewestCharacters = 3;

class ColumnSharer : public QObject {
public:
    ColumnSharer(QTableView* grid, int lastColumn, const QList<int>& givingColumns)
        : QObject(grid), grid_(grid), lastColumn_(lastColumn), giving_(givingColumns) {
        for (const int column : giving_)
            designed_.append(grid_->columnWidth(column));
        grid_->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == grid_->viewport() && event->type() == QEvent::Resize)
            share();
        return false;
    }

private:
    void share() {
        int others = 0;
        for (int column = 0; column <= lastColumn_; ++column)
            if (!giving_.contains(column) && !grid_->isColumnHidden(column))
                others += grid_->columnWidth(column);
        int designedTotal = 0;
        for (const int width : designed_)
            designedTotal += width;
        const int room = grid_->viewport()->width() - others;
        const int fewest = grid_->fontMetrics().horizontalAdvance(QString(kFewestCharacters, QChar(0x6C49)));
        int given = 0;
        for (int i = 0; i < giving_.size(); ++i) {
            // The last giving column takes what rounding left, so the columns end at the edge.
            const int share =
                i + 1 < giving_.size() ? room * designed_.at(i) / std::max(1, designedTotal) : room - given;
            const int width = std::max(fewest, share);
            grid_->setColumnWidth(giving_.at(i), width);
            given += width;
        }
    }

    QTableView* grid_;
    int lastColumn_;
    QList<int> giving_;
    QList<int> designed_;
};

} // namespace

void GiveWayToColumns(QTableView* grid, int lastColumn, const QList<int>& givingColumns) {
    new ColumnSharer(grid, lastColumn, givingColumns);
}
