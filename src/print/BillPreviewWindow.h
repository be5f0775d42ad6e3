#pragma once

#include "print/BillLayout.h"
#include "print/Printing.h"

#include <QWidget>
#include <functional>

class Database;
class QScrollArea;
class SettingsStore;

// "打印预览": the customer bill drawn once, from the values taken when the window opened, on a scrolling
// preview area, with a button that prints the same bill on the default printer.
class BillPreviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit BillPreviewWindow(const BillData& bill, QWidget* parent = nullptr);

    const BillData& bill() const { return bill_; }
    const ReceiptDocument& document() const { return document_; }
    // Draws another state of the bill (the open bill changed while the preview is shown).
    void showBill(const BillData& bill);
    // Run before the print button prints, so what goes to paper is the bill as stored at that moment.
    void setBeforePrint(std::function<void()> refresh) { beforePrint_ = std::move(refresh); }
    // Where the print button sends the bill (the default printer unless changed).
    void setPrinterSource(PrinterSource source) { printerSource_ = std::move(source); }
    // With a database, the bill goes as ESC/POS to the printer set for 账单 when there is one.
    void setDatabase(Database* db) { db_ = db; }

private:
    void printBill();
    void drawBill();

    BillData bill_;
    ReceiptDocument document_;
    PrinterSource printerSource_ = DefaultPrinter;
    Database* db_ = nullptr;
    QScrollArea* area_ = nullptr;
    std::function<void()> beforePrint_;
};

// Shows the preview of the bill; while one is open, that window is shown again as it stands, not redrawn.
BillPreviewWindow* ShowBillPreview(QWidget* parent, const BillData& bill);
// The same with the restaurant details and margins from the settings, read only when a new preview opens;
// what the ordering window calls for 打印清单.
BillPreviewWindow* OpenBillPreview(QWidget* parent, const QString& tableName, const QList<OrderLine>& lines,
                                   const QString& receivable, const QString& received,
                                   SettingsStore& settings);
