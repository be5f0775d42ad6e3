#pragma once

#include "bill/OrderLine.h"

#include <QDialog>
#include <QList>

class Database;
class QComboBox;
class QTableWidget;
class TableMap;

// "拆单": moves some lines of the selected table's bill, or part of a line's quantity, to a new bill on a
// free table the user picks.
class SplitWindow : public QDialog {
    Q_OBJECT
public:
    // `approver`: the 店长 who approved it (工号), when the signed-in role needed it.
    SplitWindow(Database& db, TableMap& tables, const QString& approver = QString(),
                QWidget* parent = nullptr);

    // The quantity to move of the line in this row, as typed.
    void setMoving(int row, const QString& quantity);
    // Picks the target table by its index among all tables; false when it is not offered (not free).
    bool chooseTarget(int table);
    void confirm();

private:
    TableMap& tables_;
    QString approver_;
    int source_;
    QList<OrderLine> lines_; // as stored when the window opened, one row each
    QTableWidget* grid_;
    QComboBox* target_;
};
