#include "menu/DishDialog.h"

#include "menu/Pinyin.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A box of the dish dialog: Enter moves on like Tab (the key itself is dropped), and a box that gets the
// focus puts the caret after its last character instead of selecting its text.
class DishBox : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            focusNextChild();
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        end(false);
    }
};

const char* const kBoxCaptions[] = {"名  称：", "数  量：", "单  位：", "单  价：", "拼  音：", "备  注："};
const QString kBoxNames[] = {QStringLiteral("nameEdit"),     QStringLiteral("quantityEdit"),
                             QStringLiteral("unitEdit"),     QStringLiteral("priceEdit"),
                             QStringLiteral("initialsEdit"), QStringLiteral("remarkEdit")};
constexpr int kPrinterRowsShown = 4;

} // namespace

DishDialog::DishDialog(MenuCatalogue& catalogue, QWidget* parent)
    : QWidget(parent, Qt::Window), catalogue_(catalogue), printerList_(new QListWidget(this)),
      categoryLabel_(new QLabel(QStringLiteral("菜品"), this)) {
    setObjectName(QStringLiteral("dishDialog"));
    setWindowTitle(QStringLiteral("酒菜设置"));
    setFont(QFont(QStringLiteral("Noto Serif CJK SC"), 9));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(10);
    for (int i = 0; i < BoxCount; ++i) {
        auto* box = new DishBox(this);
        box->setObjectName(kBoxNames[i]);
        box->setMinimumWidth(Px(3300));
        FrameControl(box);
        boxes_[i] = box;
        grid->addWidget(new QLabel(QString::fromUtf8(kBoxCaptions[i]), this), i, 0);
        grid->addWidget(box, i, 1);
    }
    printerList_->setObjectName(QStringLiteral("printerList"));
    printerList_->setMinimumWidth(Px(3300));
    FrameControl(printerList_);
    addPrinterRow({}, QStringLiteral("未设置打印机"), false);
    printerList_->setFixedHeight(kPrinterRowsShown * printerList_->sizeHintForRow(0) +
                                 2 * printerList_->frameWidth());
    auto* printerHint = new QLabel(QStringLiteral("都不勾选：按分类"), this);
    printerHint->setObjectName(QStringLiteral("printerHint"));
    grid->addWidget(new QLabel(QStringLiteral("打印机："), this), BoxCount, 0, Qt::AlignTop);
    grid->addWidget(printerList_, BoxCount, 1);
    grid->addWidget(printerHint, BoxCount + 1, 1);
    categoryLabel_->setObjectName(QStringLiteral("dishCategoryLabel"));
    categoryLabel_->setStyleSheet(QStringLiteral("color: rgb(192,0,0); font-weight: bold;"));

    auto* save = new QPushButton(QStringLiteral("保  存"), this);
    save->setObjectName(QStringLiteral("saveButton"));
    auto* cancel = new QPushButton(QStringLiteral("取  消"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    for (QPushButton* button : {save, cancel})
        button->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Px(450), Px(300), Px(450), Px(300));
    layout->addWidget(categoryLabel_, 0, Qt::AlignHCenter);
    layout->addSpacing(6);
    layout->addLayout(grid);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(boxes_[Name], &QLineEdit::textChanged, this,
            [this](const QString& name) { boxes_[Initials]->setText(PinyinInitials(name)); });
    connect(save, &QPushButton::clicked, this, &DishDialog::save);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
}

void DishDialog::openNew(const QString& key, const QString& category) {
    close();
    key_ = key;
    categoryLabel_->setText(category);
    for (QLineEdit* box : boxes_)
        box->clear();
    boxes_[Quantity]->setText(QStringLiteral("1"));
    showPrinters({});
    showDialog();
}

void DishDialog::openFor(const MenuItem& item, const QString& category) {
    key_ = item.key;
    categoryLabel_->setText(category);
    boxes_[Name]->setText(item.name);
    boxes_[Quantity]->setText(item.quantity);
    boxes_[Unit]->setText(item.unit);
    boxes_[Price]->setText(item.price);
    boxes_[Initials]->setText(item.initials);
    boxes_[Remark]->setText(item.remark);
    showPrinters(item.printers);
    showDialog();
}

QString DishDialog::category() const {
    return categoryLabel_->text();
}

DishEntry DishDialog::entry() const {
    return {boxes_[Name]->text(),     boxes_[Quantity]->text(), boxes_[Unit]->text(), boxes_[Price]->text(),
            boxes_[Initials]->text(), boxes_[Remark]->text(),   checkedPrinters()};
}

void DishDialog::showPrinters(const QStringList& named) {
    printerList_->clear();
    QList<Printer> printers;
    try {
        printers = catalogue_.kitchenPrinters();
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("酒菜设置读取打印机失败：%1").arg(error.text()));
        ShowMessage(this, QStringLiteral("读取打印机失败：%1").arg(error.text()));
    }
    QStringList listed;
    for (const Printer& printer : printers) {
        const QString caption =
            printer.enabled ? printer.name : QStringLiteral("%1（停用）").arg(printer.name);
        addPrinterRow(printer.name, caption, named.contains(printer.name));
        listed.append(printer.name);
    }
    for (const QString& name : named)
        if (!listed.contains(name))
            addPrinterRow(name, QStringLiteral("%1（无此打印机）").arg(name), true);
    const bool any = printerList_->count() > 0;
    if (!any)
        addPrinterRow({}, QStringLiteral("未设置打印机"), false);
    printerList_->setEnabled(any);
}

// A row without a name only says something; it has no check box.
void DishDialog::addPrinterRow(const QString& name, const QString& caption, bool checked) {
    auto* row = new QListWidgetItem(caption, printerList_);
    if (name.isEmpty()) {
        row->setFlags(Qt::NoItemFlags);
        return;
    }
    row->setData(Qt::UserRole, name);
    row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    row->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

QStringList DishDialog::checkedPrinters() const {
    QStringList names;
    for (int row = 0; row < printerList_->count(); ++row)
        if (const QListWidgetItem* item = printerList_->item(row); item->checkState() == Qt::Checked)
            names.append(item->data(Qt::UserRole).toString());
    return names;
}

bool DishDialog::save() {
    try {
        catalogue_.save(key_, category(), entry());
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("酒菜未保存（%1）：%2").arg(key_, error.text()));
        ShowMessage(this, error.text());
        return false;
    }
    Q_EMIT saved();
    close();
    return true;
}

void DishDialog::showDialog() {
    show();
    raise();
    activateWindow();
    boxes_[Name]->setFocus();
}

void DishDialog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CenterOnScreen(this);
    }
}
