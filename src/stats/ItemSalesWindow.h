#pragma once

#include "stats/BackgroundReader.h"
#include "stats/ItemSales.h"

#include <QWidget>
#include <functional>
#include <vector>

class Database;
class ItemSalesModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QScrollBar;
class QTableView;
class QTimer;

// "明细统计": items of one category sold in a range of at most 33 days, with export to an .xls workbook.
class ItemSalesWindow : public QWidget {
    Q_OBJECT
public:
    explicit ItemSalesWindow(Database& db, QWidget* parent = nullptr);

    QLineEdit* startBox() const { return startBox_; }
    QLineEdit* endBox() const { return endBox_; }
    QComboBox* categoryBox() const { return category_; }
    QTableView* grid() const { return grid_; }
    QScrollBar* scrollBar() const;
    bool busy() const { return reader_.busy(); }
    // The result table of the last computation (what the export writes).
    const std::vector<ItemSalesRow>& result() const { return result_; }

    // Asks for the file to export to; returns an empty text when cancelled. A save dialog by default.
    void setFileChooser(std::function<QString(QWidget*)> chooser) { chooseFile_ = std::move(chooser); }

    // 统   计: checks the dates and the span, then computes; the result arrives when the computation ends.
    void compute();
    // 导出
    void exportResult();

Q_SIGNALS:
    void computed();

private:
    void showEvent(QShowEvent* event) override;
    // Sizes the grid for 16 whole rows and its columns, and the window around it.
    void fitGrid();
    void showResult(std::vector<ItemSalesRow> rows);
    void setBusy(bool busy);
    void advanceBusyBar();

    BackgroundReader reader_;
    QLineEdit* startBox_;
    QLineEdit* endBox_;
    QComboBox* category_;
    ItemSalesModel* model_;
    QTableView* grid_;
    QWidget* busyPanel_;
    QLabel* busyBar_;
    QTimer* busyTimer_;
    std::vector<ItemSalesRow> result_;
    std::function<QString(QWidget*)> chooseFile_;
    bool centred_ = false;
};
