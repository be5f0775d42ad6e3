#include "settings/TableDialog.h"

#include "settings/DiningTables.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>

namespace {

// The name box: Enter saves, and the key itself is dropped.
class NameBox : public QLineEdit {
public:
    NameBox(std::function<void()> enter, QWidget* parent) : QLineEdit(parent), enter_(std::move(enter)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            event->accept();
            enter_();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

private:
    std::function<void()> enter_;
};

} // namespace

TableDialog::TableDialog(DiningTables& tables, QWidget* parent)
    : QWidget(parent, Qt::Window), tables_(tables), nameBox_(new NameBox([this] { save(); }, this)) {
    setObjectName(QStringLiteral("tableDialog"));
    setWindowTitle(QStringLiteral("餐桌设置"));
    setFont(QFont(QStringLiteral("Noto Serif CJK SC"), 9));

    nameBox_->setObjectName(QStringLiteral("tableNameEdit"));
    nameBox_->setMinimumWidth(Px(2700));
    FrameControl(nameBox_);
    auto* save = new QPushButton(QStringLiteral("保  存"), this);
    save->setObjectName(QStringLiteral("saveTableButton"));
    save->setAutoDefault(false);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("餐桌名称"), this));
    row->addWidget(nameBox_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Px(450), Px(450), Px(450), Px(360));
    layout->addLayout(row);
    layout->addSpacing(Px(240));
    layout->addWidget(save, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint());

    connect(save, &QPushButton::clicked, this, &TableDialog::save);
}

void TableDialog::openNew(const QString& key) {
    key_ = key;
    nameBox_->clear();
    showDialog();
}

void TableDialog::openFor(const QString& key, const QString& name) {
    key_ = key;
    nameBox_->setText(name);
    nameBox_->end(false);
    showDialog();
}

bool TableDialog::save() {
    try {
        switch (tables_.save(key_, nameBox_->text())) {
        case DiningTables::SaveResult::NameMissing:
            ShowMessage(this, QStringLiteral("请输入餐桌名称！"));
            return false;
        case DiningTables::SaveResult::TooMany:
            ShowMessage(this, kTableLimitMessage);
            return false;
        case DiningTables::SaveResult::Saved:
            break;
        }
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("餐桌未保存（%1）：%2").arg(key_, error.text()));
        ShowMessage(this, error.text());
        return false;
    }
    Q_EMIT saved();
    close();
    return true;
}

void TableDialog::showDialog() {
    show();
    // Centred across, 340 twips above the middle of the screen.
    CenterOnScreen(this, Px(340));
    raise();
    activateWindow();
    nameBox_->setFocus();
}
