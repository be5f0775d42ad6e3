#pragma once

#include "print/Printing.h"
#include "settings/Password.h"
#include "stats/Shifts.h"

#include <QDateTime>
#include <QWidget>
#include <functional>

class Database;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class SettingsStore;

// 交班: the signed-in cashier's shift. 开班 with a float, 存入/取出 cash during it, 交班 with the counted
// cash, which shows what the drawer should hold, what was counted and the difference with the shift's
// takings; 打印 sends the shown report to the bill printer and opens the drawer, A4打印 prints it on a page
// of the default printer. A 店长 also closes the business day here (日结) and looks at a closed day's
// report again (查看日结).
class HandoverWindow : public QWidget {
    Q_OBJECT
public:
    HandoverWindow(Database& db, SettingsStore& settings, const StaffAccount& who, QWidget* parent = nullptr);

    // The clock the window's steps are stamped with (the tests set their own); 营业日 shows its business day.
    void setClock(std::function<QDateTime()> clock);

    void startShift();
    void addCashEntry(bool in);
    void endShift();
    void closeDay();
    void showDayClose();
    void printReport();
    void printReportOnPage();
    // Where A4打印 prints (the tests print to a PDF file).
    void setPrinterSource(PrinterSource source) { printerSource_ = std::move(source); }

    const QList<ReportRow>& shownRows() const { return rows_; }

Q_SIGNALS:
    void printJobsWritten();

private:
    void refresh();
    void showCurrentBusinessDay();
    void showRows(const QString& title, const QList<ReportRow>& rows);
    // The amount typed in the box in fen; nothing (the user has been told) when it is no amount.
    std::optional<qint64> amountIn(QLineEdit* edit);
    void fail(const QString& what, const QString& why);
    // Prints the shown report on a page; true when the printer took it, else the user has been told why.
    bool printOnPage(const QString& failure);

    Database& db_;
    SettingsStore& settings_;
    StaffAccount who_;
    std::function<QDateTime()> clock_ = [] { return QDateTime::currentDateTime(); };
    qint64 openShift_ = 0;
    QString title_;
    QList<ReportRow> rows_;
    PrinterSource printerSource_ = DefaultPrinter;

    QLabel* stateLabel_;
    QLineEdit* floatEdit_;
    QPushButton* startButton_;
    QLineEdit* cashAmountEdit_;
    QLineEdit* cashNoteEdit_;
    QPushButton* cashInButton_;
    QPushButton* cashOutButton_;
    QLineEdit* countedEdit_;
    QPushButton* endButton_;
    QDateEdit* dayEdit_;
    QPushButton* closeDayButton_;
    QPushButton* showDayButton_;
    QLabel* reportTitle_;
    QTableWidget* reportTable_;
    QPushButton* printButton_;
    QPushButton* printPageButton_;
};
