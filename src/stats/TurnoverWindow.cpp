#include "stats/TurnoverWindow.h"

#include "stats/ItemSales.h"
#include "stats/Turnover.h"
#include "store/Ids.h"
#include "ui/Widgets.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

TurnoverWindow::TurnoverWindow(Database& db, QWidget* parent)
    : QWidget(parent, Qt::Window), reader_(db), startBox_(new QLineEdit(this)), endBox_(new QLineEdit(this)),
      result_(new QLabel(this)) {
    setObjectName(QStringLiteral("turnoverWindow"));
    setWindowTitle(QStringLiteral("营业额统计"));
    setFixedWidth(Px(4560));

    auto* frame = new QGroupBox(QStringLiteral("营业额统计"), this);
    frame->setObjectName(QStringLiteral("dateGroup"));
    auto* dateLabel = new QLabel(QStringLiteral("日期"), frame);
    dateLabel->setObjectName(QStringLiteral("dateLabel"));
    auto* toLabel = new QLabel(QStringLiteral("至"), frame);
    toLabel->setObjectName(QStringLiteral("toLabel"));
    startBox_->setObjectName(QStringLiteral("startDateEdit"));
    endBox_->setObjectName(QStringLiteral("endDateEdit"));
    const QDate today = QDate::currentDate();
    startBox_->setText(DateText(OneMonthBack(today)));
    endBox_->setText(DateText(today));
    auto* dates = new QHBoxLayout(frame);
    dates->addWidget(dateLabel);
    dates->addWidget(startBox_, 1);
    dates->addWidget(toLabel);
    dates->addWidget(endBox_, 1);

    // The result panel: the label itself, framed, with the seven lines inside its margin.
    result_->setObjectName(QStringLiteral("resultLabel"));
    result_->setMinimumHeight(Px(1644)); // 29 mm, more when the font needs it for the seven lines
    result_->setMargin(5);
    result_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* month = new QPushButton(QStringLiteral("本  月"), this);
    month->setObjectName(QStringLiteral("thisMonthButton"));
    auto* day = new QPushButton(QStringLiteral("今 日"), this);
    day->setObjectName(QStringLiteral("todayButton"));
    auto* count = new QPushButton(QStringLiteral("统 计"), this);
    count->setObjectName(QStringLiteral("computeButton"));
    auto* save = new QPushButton(QStringLiteral("导出"), this);
    save->setObjectName(QStringLiteral("exportButton"));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {month, day, count, save}) {
        button->setFixedSize(Px(1134), Px(374)); // 20 mm x 6.6 mm
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Px(120), Px(60), Px(120), Px(120));
    layout->addWidget(frame);
    layout->addWidget(result_, 1);
    layout->addLayout(buttons);

    FrameControl(startBox_);
    FrameControl(endBox_);
    FrameControl(result_);

    // Room for the full result text: the seven lines decide the height, never less than the designed one.
    result_->setText(QStringLiteral("桌数：\n\n菜品：\n\n应收：\n\n挂账："));
    setFixedHeight(std::max(Px(3645), sizeHint().height()));
    result_->clear();

    connect(count, &QPushButton::clicked, this, &TurnoverWindow::compute);
    connect(day, &QPushButton::clicked, this, &TurnoverWindow::showToday);
    connect(month, &QPushButton::clicked, this, &TurnoverWindow::showThisMonth);
    connect(save, &QPushButton::clicked, this, &TurnoverWindow::exportResult);
    chooseFile_ = [](QWidget* owner) {
        return QFileDialog::getSaveFileName(owner, QStringLiteral("另存为"), QString(),
                                            QStringLiteral("Excel文件 (*.xls)"));
    };
}

void TurnoverWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CenterOnScreen(this);
    }
}

void TurnoverWindow::compute() {
    const std::optional<DateRange> range = ReadDateRange(startBox_->text(), endBox_->text());
    if (!range) {
        ShowMessage(this, kDateFormatMessage, kProgramTitle);
        return;
    }
    const bool started = reader_.start<Result>(
        this,
        [range = *range](Database& db) {
            return Result{ComputeTurnover(db, range), ComputePaymentSums(db, range)};
        },
        [this](Result result) {
            unsetCursor();
            const QString payments = PaymentSumsText(result.payments);
            showResult(TurnoverText(result.totals) +
                       (payments.isEmpty() ? QString() : QStringLiteral("\n\n") + payments));
            shown_ = std::move(result);
            Q_EMIT computed();
        },
        [this](const QString& message) {
            unsetCursor();
            ShowMessage(this, QStringLiteral("统计失败：%1").arg(message));
            Q_EMIT computed();
        });
    if (started)
        setCursor(Qt::BusyCursor);
}

void TurnoverWindow::showResult(const QString& text) {
    result_->setText(text);
    // Figures wider than the designed window (a busy restaurant's years) widen it, so each shows whole.
    const int width = std::max(Px(4560), sizeHint().width());
    const int height = std::max(Px(3645), sizeHint().height());
    if (width != this->width() || height != this->height()) {
        setFixedSize(width, height);
        KeepOnScreen(this);
    }
}

void TurnoverWindow::exportResult() {
    if (!shown_) {
        ShowMessage(this, QStringLiteral("请先统计，再导出。"));
        return;
    }
    const QString chosen = chooseFile_(this).trimmed();
    if (chosen.isEmpty())
        return;
    const QString failure = ExportTurnover(ExportFileName(chosen), shown_->totals, shown_->payments);
    if (failure.isEmpty())
        ShowMessage(this, QStringLiteral("文件导出成功！"));
    else
        ShowMessage(this, QStringLiteral("文件导出失败：%1").arg(failure));
}

void TurnoverWindow::showToday() {
    const QString today = DateText(QDate::currentDate());
    endBox_->setText(today);
    startBox_->setText(today);
    compute();
}

void TurnoverWindow::showThisMonth() {
    const QDate today = QDate::currentDate();
    startBox_->setText(DateText(QDate(today.year(), today.month(), 1)));
    endBox_->setText(DateText(today));
    compute();
}
