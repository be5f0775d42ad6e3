#pragma once

#include <QDialog>

class QListWidget;
class TableMap;

// "并台": joins the bills of the occupied tables the user ticks into the selected table's bill.
class MergeWindow : public QDialog {
    Q_OBJECT
public:
    // `approver`: the 店长 who approved it (工号), when the signed-in role needed it.
    MergeWindow(TableMap& tables, const QString& approver = QString(), QWidget* parent = nullptr);

    // Ticks the table (by its index among all tables); false when it is not offered.
    bool tick(int table);
    void confirm();

private:
    TableMap& tables_;
    QString approver_;
    int target_;
    QListWidget* list_; // the other occupied tables, each with a check box
};
