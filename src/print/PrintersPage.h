#pragma once

#include "print/Printer.h"

#include <QWidget>

class Database;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;

// "打印机": the printers (add, change, remove, 打印测试页), the switch 手机订单自动送厨, and today's print
// jobs with 重打. A thin window over PrinterStore, JobStore and the print queue.
class PrintersPage : public QWidget {
    Q_OBJECT
public:
    explicit PrintersPage(Database& db, QWidget* parent = nullptr);

    QTableWidget* printerTable() const { return printers_; }
    QTableWidget* jobTable() const { return jobs_; }

    // The form as a printer, and a printer into the form.
    Printer formPrinter() const;
    void showInForm(const Printer& printer);

    void addPrinter();    // 添加
    void changePrinter(); // 修改: the selected printer becomes the form's
    void removePrinter(); // 删除
    void printTestPage(); // 打印测试页 on the selected printer
    void reprintJob();    // 重打 the selected job
    void setPhoneOrdersToKitchen(bool on);
    void refresh();

private:
    QWidget* buildForm();
    QWidget* buildJobs();
    QString selectedPrinter() const;
    void fillPrinters();
    void fillJobs();
    void reportFailure(const QString& what, const QString& why);

    Database& db_;
    QList<Printer> shown_;
    QTableWidget* printers_ = nullptr;
    QLabel* sharedWarning_ = nullptr;
    QTableWidget* jobs_ = nullptr;
    QStringList jobIds_;
    QLineEdit* nameBox_ = nullptr;
    QLineEdit* addressBox_ = nullptr;
    QComboBox* paperBox_ = nullptr;
    QCheckBox* kitchenBox_ = nullptr;
    QCheckBox* billsBox_ = nullptr;
    QList<QCheckBox*> categoryBoxes_;
    QCheckBox* drawerBox_ = nullptr;
    QCheckBox* enabledBox_ = nullptr;
    QCheckBox* phoneBox_ = nullptr;
};
