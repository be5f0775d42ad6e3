#pragma once

#include "settings/TrailModels.h"

#include <QDialog>
#include <functional>

class Database;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableView;

// 操作记录: the 店长 reads the action trail, newest first, filtered by days, 员工, 动作 and 桌号, sees
// whether the chain is whole, counts 退菜, 折扣, 反结账 and 删除账单 per day and person (每日汇总), and
// exports the shown tab as .xls. Every filter is applied by the database, so years of rows stay there.
class TrailWindow : public QDialog {
    Q_OBJECT
public:
    explicit TrailWindow(Database& db, QWidget* parent = nullptr);

    // Asks for the export's file name; tests answer it themselves. Empty cancels.
    void setFileChooser(std::function<QString(QWidget*)> chooser) { chooseFile_ = std::move(chooser); }

    QDateEdit* firstDayBox() const { return firstDay_; }
    QDateEdit* lastDayBox() const { return lastDay_; }
    QComboBox* staffBox() const { return staff_; }
    QComboBox* actionBox() const { return action_; }
    QLineEdit* tableBox() const { return table_; }
    QTableView* list() const { return list_; }
    QTableView* summary() const { return summary_; }
    QTabWidget* tabs() const { return tabs_; }
    QLabel* checkLine() const { return checkLine_; }

    void query();       // 查询: reads the rows, the daily counts and the chain's check again
    void exportShown(); // 导出: the tab on show as an .xls workbook

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildFilters();
    QTableView* buildGrid(QAbstractTableModel* model, const char* name);
    void fillStaffBox();
    TrailFilter filter() const;
    void showCheck(const TrailCheck& check);

    Database& db_;
    StaffNames names_;
    QDateEdit* firstDay_;
    QDateEdit* lastDay_;
    QComboBox* staff_;
    QComboBox* action_;
    QLineEdit* table_;
    TrailListModel* rows_;
    TrailSummaryModel* counts_;
    QTableView* list_;
    QTableView* summary_;
    QTabWidget* tabs_;
    QLabel* checkLine_;
    std::function<QString(QWidget*)> chooseFile_;
    bool heightFitted_ = false;
};
