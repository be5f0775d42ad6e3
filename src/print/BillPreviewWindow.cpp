#include "print/BillPreviewWindow.h"

#include "print/PrintQueue.h"

#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

namespace {
// Room below the bill on the preview paper.
constexpr double kPaperTailMm = 10;
constexpr double kPaperRightMm = 3;

// Where the widest text ends: a large amount reaches past the bill's content width.
double RightmostTextMm(const ReceiptDocument& document) {
    double right = 0;
    for (const ReceiptItem& item : document.items())
        if (item.kind == ReceiptItem::Kind::Text)
            right = std::max(right, item.xMm + TextWidthMm(item.font, item.text));
    return right;
}

// The paper the bill is drawn on, in millimetres converted at the screen's resolution.
class BillCanvas : public QWidget {
public:
    BillCanvas(const ReceiptDocument& document, double leftMarginMm, QWidget* parent)
        : QWidget(parent), document_(document) {
        const double widthMm =
            std::max({kBillAreaWidthMm, leftMarginMm + 3 + kBillContentWidthMm + kPaperRightMm,
                      RightmostTextMm(document) + kPaperRightMm});
        const double heightMm = document.endMm() + kPaperTailMm;
        const double dotsX = logicalDpiX() / 25.4;
        const double dotsY = logicalDpiY() / 25.4;
        setFixedSize(qCeil(widthMm * dotsX), qCeil(heightMm * dotsY));
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, Qt::white);
        setPalette(colours);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        PaintReceipt(painter, document_);
    }

private:
    const ReceiptDocument& document_;
};
} // namespace

BillPreviewWindow::BillPreviewWindow(const BillData& bill, QWidget* parent)
    : QWidget(parent, Qt::Window), bill_(bill), document_(BillReceiptDocument(bill)) {
    setObjectName(QStringLiteral("billPreviewWindow"));
    setWindowTitle(QStringLiteral("打印预览"));
    setAttribute(Qt::WA_DeleteOnClose);

    area_ = new QScrollArea(this);
    area_->setObjectName(QStringLiteral("previewArea"));
    area_->setBackgroundRole(QPalette::Base);
    area_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    drawBill();
    FrameControl(area_);

    auto* note = new QLabel(QStringLiteral("本软件支持80mm热敏小票打印机"), this);
    note->setObjectName(QStringLiteral("printerNote"));
    auto* print = new QPushButton(QStringLiteral("打印"), this);
    print->setObjectName(QStringLiteral("printButton"));
    connect(print, &QPushButton::clicked, this, &BillPreviewWindow::printBill);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(note, 1);
    bottom->addWidget(print);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(area_, 1);
    layout->addLayout(bottom);

    resize(Px(6300), Px(9600));
    CenterOnScreen(this);
}

void BillPreviewWindow::drawBill() {
    // The canvas paints from document_, so the old canvas goes before the document changes under it.
    delete area_->takeWidget();
    area_->setWidget(new BillCanvas(document_, bill_.leftMarginMm, area_));
}

void BillPreviewWindow::showBill(const BillData& bill) {
    const int scrolled = area_->verticalScrollBar()->value();
    delete area_->takeWidget();
    bill_ = bill;
    document_ = BillReceiptDocument(bill_);
    drawBill();
    area_->verticalScrollBar()->setValue(scrolled);
}

void BillPreviewWindow::printBill() {
    if (beforePrint_)
        beforePrint_();
    if (db_) {
        try {
            if (QueueBill(*db_, bill_, QDateTime::currentDateTime()))
                return;
        } catch (const StoreError& error) {
            ShowMessage(this, QStringLiteral("账单没有送到打印机。\n") + error.text());
            return;
        }
    }
    PrintBill(this, bill_, printerSource_);
}

namespace {
QPointer<BillPreviewWindow>& OpenPreview() {
    static QPointer<BillPreviewWindow> window;
    return window;
}

BillPreviewWindow* ShowExisting() {
    BillPreviewWindow* window = OpenPreview();
    if (!window)
        return nullptr;
    window->showNormal();
    window->raise();
    window->activateWindow();
    return window;
}
} // namespace

BillPreviewWindow* ShowBillPreview(QWidget* parent, const BillData& bill) {
    if (BillPreviewWindow* existing = ShowExisting())
        return existing;
    auto* window = new BillPreviewWindow(bill, parent);
    OpenPreview() = window;
    window->show();
    return window;
}

BillPreviewWindow* OpenBillPreview(QWidget* parent, const QString& tableName, const QList<OrderLine>& lines,
                                   const QString& receivable, const QString& received,
                                   SettingsStore& settings) {
    if (BillPreviewWindow* existing = ShowExisting())
        return existing;
    try {
        return ShowBillPreview(parent, MakeBillData(settings, tableName, lines, receivable, received));
    } catch (const StoreError& error) {
        ShowMessage(parent, error.text());
        return nullptr;
    }
}
