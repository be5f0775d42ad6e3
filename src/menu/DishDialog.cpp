#include "menu/DishDialog.h"

#include "menu/DishGroups.h"
#include "menu/Pinyin.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QCompleter>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
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

const char* const kBoxCaptions[] = {"名  称：", "数  量：", "单  位：", "单  价：",
                                    "拼  音：", "备  注：", "描  述：", "分  组："};
const QString kBoxNames[] = {QStringLiteral("nameEdit"),        QStringLiteral("quantityEdit"),
                             QStringLiteral("unitEdit"),        QStringLiteral("priceEdit"),
                             QStringLiteral("initialsEdit"),    QStringLiteral("remarkEdit"),
                             QStringLiteral("descriptionEdit"), QStringLiteral("groupEdit")};
constexpr int kPrinterRowsShown = 4;
constexpr int kDescriptionLength = 100;
constexpr int kGroupLength = 20;
constexpr int kPreviewSide = 120;

QString choosePictureFileByDialog(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("选择图片"), QString(),
                                        QStringLiteral("图片 (*.jpg *.jpeg *.png *.bmp *.webp)"));
}

} // namespace

DishDialog::DishDialog(MenuCatalogue& catalogue, QWidget* parent)
    : QWidget(parent, Qt::Window), catalogue_(catalogue), printerList_(new QListWidget(this)),
      categoryLabel_(new QLabel(QStringLiteral("菜品"), this)), picturePreview_(new QLabel(this)),
      removePictureButton_(new QPushButton(QStringLiteral("删除图片"), this)),
      choosePictureFile_(&choosePictureFileByDialog) {
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
    boxes_[Description]->setMaxLength(kDescriptionLength);
    boxes_[Group]->setMaxLength(kGroupLength);
    boxes_[Group]->setPlaceholderText(QStringLiteral("如 凉菜、热菜，手机菜单按分组列出"));
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
    grid->addWidget(new QLabel(QStringLiteral("图  片："), this), BoxCount + 2, 0, Qt::AlignTop);
    grid->addLayout(makePictureRow(), BoxCount + 2, 1);
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

// A small preview beside the two buttons; the phone menu shows the picture as a thumbnail.
QLayout* DishDialog::makePictureRow() {
    picturePreview_->setObjectName(QStringLiteral("picturePreview"));
    picturePreview_->setFixedSize(kPreviewSide, kPreviewSide);
    picturePreview_->setAlignment(Qt::AlignCenter);
    FrameControl(picturePreview_);
    auto* choose = new QPushButton(QStringLiteral("选择图片…"), this);
    choose->setObjectName(QStringLiteral("choosePictureButton"));
    removePictureButton_->setObjectName(QStringLiteral("removePictureButton"));
    for (QPushButton* button : {choose, removePictureButton_})
        button->setAutoDefault(false);
    connect(choose, &QPushButton::clicked, this, &DishDialog::choosePicture);
    connect(removePictureButton_, &QPushButton::clicked, this, &DishDialog::removePicture);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(choose);
    buttons->addWidget(removePictureButton_);
    buttons->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(picturePreview_);
    row->addLayout(buttons);
    row->addStretch();
    return row;
}

void DishDialog::openNew(const QString& key, const QString& category) {
    close();
    key_ = key;
    stored_ = false;
    pendingPicture_.clear();
    showPicture({});
    categoryLabel_->setText(category);
    for (QLineEdit* box : boxes_)
        box->clear();
    boxes_[Quantity]->setText(QStringLiteral("1"));
    offerGroups(category);
    showPrinters({});
    showDialog();
}

void DishDialog::openFor(const MenuItem& item, const QString& category) {
    key_ = item.key;
    stored_ = true;
    pendingPicture_.clear();
    categoryLabel_->setText(category);
    boxes_[Name]->setText(item.name);
    boxes_[Quantity]->setText(item.quantity);
    boxes_[Unit]->setText(item.unit);
    boxes_[Price]->setText(item.price);
    boxes_[Initials]->setText(item.initials);
    boxes_[Remark]->setText(item.remark);
    boxes_[Description]->setText(item.description);
    boxes_[Group]->setText(item.group);
    offerGroups(category);
    showPrinters(item.printers);
    std::optional<DishPicture> picture;
    attempt(QStringLiteral("读取图片失败"), [&] { picture = catalogue_.picture(key_); });
    showPicture(picture ? picture->jpeg : QByteArray());
    showDialog();
}

QString DishDialog::category() const {
    return categoryLabel_->text();
}

DishEntry DishDialog::entry() const {
    return {boxes_[Name]->text(),  boxes_[Quantity]->text(),    boxes_[Unit]->text(),
            boxes_[Price]->text(), boxes_[Initials]->text(),    boxes_[Remark]->text(),
            checkedPrinters(),     boxes_[Description]->text(), boxes_[Group]->text()};
}

void DishDialog::offerGroups(const QString& category) {
    QStringList groups;
    try {
        groups = DishGroups(catalogue_.database()).ofCategory(category);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("酒菜设置读取分组失败：%1").arg(error.text()));
    }
    delete boxes_[Group]->completer();
    auto* completer = new QCompleter(groups, boxes_[Group]);
    completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    boxes_[Group]->setCompleter(completer);
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
        catalogue_.save(key_, category(), entry(), pendingPicture_);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("酒菜未保存（%1）：%2").arg(key_, error.text()));
        ShowMessage(this, error.text());
        return false;
    }
    Q_EMIT saved();
    close();
    return true;
}

void DishDialog::choosePicture() {
    const QString path = choosePictureFile_(this);
    if (path.isEmpty())
        return;
    QByteArray jpeg;
    const bool done = attempt(QStringLiteral("图片未保存"), [&] {
        jpeg = DishPictureFromFile(path);
        if (stored_)
            catalogue_.setPicture(key_, jpeg);
    });
    if (!done)
        return;
    if (!stored_)
        pendingPicture_ = jpeg;
    showPicture(jpeg);
}

void DishDialog::removePicture() {
    if (stored_ && !attempt(QStringLiteral("图片未删除"), [&] { catalogue_.removePicture(key_); }))
        return;
    pendingPicture_.clear();
    showPicture({});
}

void DishDialog::showPicture(const QByteArray& jpeg) {
    QPixmap pixmap;
    if (!jpeg.isEmpty() && pixmap.loadFromData(jpeg, "JPEG"))
        picturePreview_->setPixmap(pixmap.scaled(picturePreview_->contentsRect().size(), Qt::KeepAspectRatio,
                                                 Qt::SmoothTransformation));
    else
        picturePreview_->setText(QStringLiteral("无图片"));
    removePictureButton_->setEnabled(!pixmap.isNull());
}

bool DishDialog::attempt(const QString& what, const std::function<void()>& change) {
    try {
        change();
        return true;
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("酒菜设置%1（%2）：%3").arg(what, key_, error.text()));
        ShowMessage(this, error.text());
        return false;
    }
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
