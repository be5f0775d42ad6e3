#pragma once

#include "stats/BackgroundReader.h"
#include "stats/Turnover.h"

#include <QWidget>
#include <functional>
#include <optional>

class Database;
class QLabel;
class QLineEdit;
class QPushButton;

// "营业额统计": bill count and money sums of a date range, what each payment method and each member of
// staff took, and export of it all to an .xls workbook.
class TurnoverWindow : public QWidget {
    Q_OBJECT
public:
    explicit TurnoverWindow(Database& db, QWidget* parent = nullptr);

    QLineEdit* startBox() const { return startBox_; }
    QLineEdit* endBox() const { return endBox_; }
    QLabel* resultLabel() const { return result_; }
    bool busy() const { return reader_.busy(); }

    // 统 计: checks both dates and computes; the result arrives when the computation ends.
    void compute();
    void showToday();
    void showThisMonth();
    // 导出: the last result into the workbook the user names.
    void exportResult();
    // Where 导出 asks for the file name; tests answer it without a dialog.
    void setFileChooser(std::function<QString(QWidget*)> chooser) { chooseFile_ = std::move(chooser); }

Q_SIGNALS:
    // The result text has been replaced (or the computation failed).
    void computed();

private:
    void showEvent(QShowEvent* event) override;
    void showResult(const QString& text);

    struct Result {
        TurnoverTotals totals;
        PaymentSums payments;
    };

    BackgroundReader reader_;
    std::optional<Result> shown_;
    std::function<QString(QWidget*)> chooseFile_;
    QLineEdit* startBox_;
    QLineEdit* endBox_;
    QLabel* result_;
    bool centred_ = false;
};
