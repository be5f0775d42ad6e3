#pragma once

#include "stats/BackgroundReader.h"

#include <QWidget>

class Database;
class QLabel;
class QLineEdit;
class QPushButton;

// "营业额统计": bill count and money sums of a date range.
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

Q_SIGNALS:
    // The result text has been replaced (or the computation failed).
    void computed();

private:
    void showEvent(QShowEvent* event) override;
    void showResult(const QString& text);

    BackgroundReader reader_;
    QLineEdit* startBox_;
    QLineEdit* endBox_;
    QLabel* result_;
    bool centred_ = false;
};
