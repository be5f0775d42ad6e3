#include "ui/WholeRowsHolder.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>

WholeRowsHolder::WholeRowsHolder(QTableView* grid, int designedRows, int minimumRows, QWidget* parent)
    : QWidget(parent), grid_(grid), designedRows_(designedRows), minimumRows_(minimumRows) {
    grid_->setParent(this);
    grid_->ensurePolished();
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

namespace {
// A header's height before it is laid out: its fixed height, or else the height it asks for.
int HeaderHeight(const QHeaderView* header) {
    if (header->isHidden())
        return 0;
    return header->minimumHeight() == header->maximumHeight() ? header->minimumHeight()
                                                              : header->sizeHint().height();
}
} // namespace

int WholeRowsHolder::heightFor(int rows) const {
    const int header = HeaderHeight(grid_->horizontalHeader());
    const int scrollBar = grid_->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn
                              ? grid_->horizontalScrollBar()->sizeHint().height()
                              : 0;
    return header + rows * grid_->verticalHeader()->defaultSectionSize() + 2 * grid_->frameWidth() +
           scrollBar;
}

QSize WholeRowsHolder::sizeHint() const {
    return {std::max(grid_->minimumWidth(), grid_->sizeHint().width()), heightFor(designedRows_)};
}

QSize WholeRowsHolder::minimumSizeHint() const {
    return {std::max(grid_->minimumWidth(), grid_->minimumSizeHint().width()), heightFor(minimumRows_)};
}

void WholeRowsHolder::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int rowHeight = std::max(1, grid_->verticalHeader()->defaultSectionSize());
    const int rows = std::max(minimumRows_, (height() - heightFor(0)) / rowHeight);
    grid_->setGeometry(0, 0, width(), std::min(height(), heightFor(rows)));
}
