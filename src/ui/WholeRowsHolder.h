#pragma once

#include <QWidget>

class QTableView;

// Holds a grid at a height of whole rows, so no row is ever shown cut at the bottom: the holder may be
// given less than the designed rows' height on a small screen (down to minimumRows) or more on a large
// one, and the room below the last whole row stays empty. The grid's header height and row height are
// set before it is handed over.
class WholeRowsHolder : public QWidget {
    Q_OBJECT
public:
    WholeRowsHolder(QTableView* grid, int designedRows, int minimumRows, QWidget* parent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The height of a grid showing this many rows.
    int heightFor(int rows) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QTableView* grid_;
    int designedRows_;
    int minimumRows_;
};
