#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;
class TableMap;

// "转桌": moves the selected table's party and bill to a free table.
class TransferWindow : public QDialog {
    Q_OBJECT
public:
    // `approver`: the 店长 who approved the move (工号), when the signed-in role needed it.
    TransferWindow(TableMap& tables, const QString& approver = QString(), QWidget* parent = nullptr);

    void chooseTarget(int index);
    void confirm();

private:
    // Opens or closes the list under the box; the window keeps its width and its closed height.
    void showList(bool shown);

    TableMap& tables_;
    QString approver_;
    int source_;
    int target_ = -1;
    QLineEdit* targetName_;  // the chosen table, shown as in a drop-down box
    QListWidget* tableList_; // the tables to choose from, shown under it while open
    int closedHeight_ = 0;
};
