#include "common/MessageBoxes.h"
#include "common/TestHome.h"
#include "menu/DishDialog.h"
#include "menu/MenuWindow.h"
#include "print/PrinterStore.h"
#include "store/Database.h"

#include <QApplication>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

namespace {

void typeText(QWidget* box, const QString& text) {
    box->setFocus();
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(box, &event);
}

int countRows(Database& db, const char* where = "1") {
    const QByteArray sql = QByteArray("SELECT count(*) FROM \"菜单\" WHERE ") + where;
    Statement query(db, sql.constData());
    query.next();
    return static_cast<int>(query.integer(0));
}

QString nameOfKey(Database& db, const QString& key) {
    Statement query(db, "SELECT \"名称\" FROM \"菜单\" WHERE \"序号\" = ?");
    query.bind(1, key);
    return query.next() ? query.text(0) : QString();
}

QString printersOfKey(Database& db, const QString& key) {
    Statement query(db, "SELECT \"打印机\" FROM \"菜单\" WHERE \"序号\" = ?");
    query.bind(1, key);
    return query.next() ? query.text(0) : QString();
}

Printer networkPrinter(const QString& name, bool kitchen, bool enabled) {
    Printer printer;
    printer.name = name;
    printer.address = QStringLiteral("tcp://127.0.0.1:9100");
    printer.kitchen = kitchen;
    printer.bills = !kitchen;
    printer.enabled = enabled;
    return printer;
}

QStringList rowTexts(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts.append(list->item(row)->text());
    return texts;
}

} // namespace

class MenuWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        home_ = std::make_unique<TestHome>();
        db_ = home_->createDatabase();
        window_ = std::make_unique<MenuWindow>(*db_);
        window_->show();
    }
    void cleanup() {
        window_.reset();
        db_.reset();
        home_.reset();
    }

    void opensOnDishes() {
        QCOMPARE(window_->windowTitle(), QStringLiteral("酒菜设置"));
        QCOMPARE(window_->findChild<QLabel*>("categoryLabel")->text(), QStringLiteral("菜品"));
        QCOMPARE(cell(0, 0), QStringLiteral("宫保鸡丁"));
        QCOMPARE(cell(3, 0), QStringLiteral("清蒸鲈鱼"));
        QCOMPARE(cell(4, 0), QString());
        QCOMPARE(window_->grid()->model()->rowCount(), 22);
        QCOMPARE(background(0), QColor(249, 248, 245));
        QCOMPARE(background(1), QColor(Qt::white));
    }

    void scrollBarWith22And23Items_data() {
        QTest::addColumn<int>("items");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("maximum");
        QTest::newRow("22") << 22 << false << 0;
        QTest::newRow("23") << 23 << true << 1;
    }
    void scrollBarWith22And23Items() {
        QFETCH(int, items);
        QFETCH(bool, enabled);
        QFETCH(int, maximum);
        addDishes(items - 4);
        window_->findChild<QPushButton*>("searchButton")->click();
        auto* bar = window_->findChild<QScrollBar*>("rowScrollBar");
        QCOMPARE(bar->isEnabled(), enabled);
        QCOMPARE(bar->maximum(), maximum);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(cell(21, 0), QStringLiteral("菜%1").arg(17));
        if (enabled) {
            bar->setValue(1);
            QCOMPARE(cell(0, 0), QStringLiteral("鱼香肉丝"));
            QCOMPARE(cell(21, 0), QStringLiteral("菜%1").arg(18));
        }
    }

    void clickSelectsARow() {
        clickRow(2);
        QCOMPARE(background(2), QColor(0, 255, 255));
        QCOMPARE(window_->findChild<QLabel*>("selectedKeyLabel")->text(), QStringLiteral("20240101130002"));
        clickRow(1);
        QCOMPARE(background(2), QColor(249, 248, 245));
        QCOMPARE(background(1), QColor(0, 255, 255));
        // An empty screen row selects nothing new.
        clickRow(10);
        QCOMPARE(window_->list().selectedRow(), 1);
    }

    void searchBoxFilters() {
        auto* search = window_->findChild<QLineEdit*>("searchBox");
        search->setText(QStringLiteral("GBJD"));
        QCOMPARE(cell(0, 0), QStringLiteral("宫保鸡丁"));
        QCOMPARE(cell(1, 0), QString());
        search->setText(QStringLiteral("'"));
        QCOMPARE(cell(0, 0), QString());
    }

    void clearAnsweredNoDeletesNothing() {
        const MessageBoxAnswerer answer({QMessageBox::No});
        window_->findChild<QPushButton*>("clearButton")->click();
        QVERIFY(!answer.shown().isEmpty());
        QCOMPARE(answer.firstText(), QStringLiteral("数据清空后将不能恢复，是否确认清空！"));
        QCOMPARE(countRows(*db_), 10);
        QCOMPARE(cell(0, 0), QStringLiteral("宫保鸡丁"));
    }

    void clearAnsweredYesEmptiesTheCategory() {
        window_->findChild<QRadioButton*>("drinksOption")->click();
        QCOMPARE(window_->findChild<QLabel*>("categoryLabel")->text(), QStringLiteral("酒水"));
        const MessageBoxAnswerer answer({QMessageBox::Yes});
        window_->findChild<QPushButton*>("clearButton")->click();
        QVERIFY(!answer.shown().isEmpty());
        QCOMPARE(countRows(*db_, "\"分类\" = '酒水'"), 0);
        QCOMPARE(countRows(*db_), 7);
        QCOMPARE(cell(0, 0), QString());
    }

    void addTypeAndSave() {
        window_->findChild<QRadioButton*>("otherOption")->click();
        window_->findChild<QPushButton*>("addButton")->click();
        DishDialog* dialog = window_->dishDialog();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("酒菜设置"));
        QCOMPARE(dialog->findChild<QLabel*>("dishCategoryLabel")->text(), QStringLiteral("其他"));
        auto* name = dialog->findChild<QLineEdit*>("nameEdit");
        auto* quantity = dialog->findChild<QLineEdit*>("quantityEdit");
        QCOMPARE(quantity->text(), QStringLiteral("1"));
        QCOMPARE(name->text(), QString());

        typeText(name, QStringLiteral("宫保鸡丁"));
        QCOMPARE(dialog->findChild<QLineEdit*>("initialsEdit")->text(), QStringLiteral("gbjd"));
        // Enter moves on like Tab and adds nothing to the box.
        QApplication::setActiveWindow(dialog);
        QTest::keyClick(name, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), quantity);
        QCOMPARE(quantity->cursorPosition(), 1);
        QCOMPARE(quantity->selectedText(), QString());
        QCOMPARE(name->text(), QStringLiteral("宫保鸡丁"));

        dialog->findChild<QLineEdit*>("priceEdit")->setText(QStringLiteral("32元"));
        dialog->findChild<QPushButton*>("saveButton")->click();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(nameOfKey(*db_, dialog->key()), QStringLiteral("宫保鸡丁"));
        QCOMPARE(cell(3, 0), QStringLiteral("宫保鸡丁"));
        QCOMPARE(cell(3, 3), QStringLiteral("32"));
        QCOMPARE(cell(3, 6), QStringLiteral("其他"));
    }

    // Modify shows the stored initials; clicking another row meanwhile does not redirect the save.
    void dialogSavesTheItemItWasOpenedFor() {
        Statement custom(*db_, "UPDATE \"菜单\" SET \"拼音\" = 'gong' WHERE \"序号\" = '20240101130000'");
        custom.run();
        window_->refresh();
        clickRow(0);
        window_->findChild<QPushButton*>("modifyButton")->click();
        DishDialog* dialog = window_->dishDialog();
        QCOMPARE(dialog->findChild<QLineEdit*>("nameEdit")->text(), QStringLiteral("宫保鸡丁"));
        QCOMPARE(dialog->findChild<QLineEdit*>("initialsEdit")->text(), QStringLiteral("gong"));

        clickRow(1);
        dialog->findChild<QLineEdit*>("nameEdit")->setText(QStringLiteral("宫保虾球"));
        dialog->findChild<QPushButton*>("saveButton")->click();
        QCOMPARE(nameOfKey(*db_, QStringLiteral("20240101130000")), QStringLiteral("宫保虾球"));
        QCOMPARE(nameOfKey(*db_, QStringLiteral("20240101130001")), QStringLiteral("鱼香肉丝"));
        QCOMPARE(countRows(*db_), 10);
        // The refresh after saving drops the selection.
        QVERIFY(!window_->list().selectedRow());
    }

    // The dialog offers the kitchen printers as set up when it opens, enabled or not, and saves the checked
    // ones; a name that is no printer any more stays checked until unchecked.
    void dialogSavesTheCheckedPrinters() {
        const QString gongbao = QStringLiteral("20240101130000");
        DishDialog* dialog = window_->dishDialog();
        auto* printers = dialog->findChild<QListWidget*>("printerList");
        modifyRow(0);
        QVERIFY(!printers->isEnabled());
        QCOMPARE(rowTexts(printers), QStringList{QStringLiteral("未设置打印机")});
        dialog->close();

        PrinterStore store(*db_);
        store.add(networkPrinter(QStringLiteral("厨房"), true, true));
        store.add(networkPrinter(QStringLiteral("凉菜间"), true, false));
        store.add(networkPrinter(QStringLiteral("前台"), false, true));
        modifyRow(0);
        QVERIFY(printers->isEnabled());
        QCOMPARE(rowTexts(printers), (QStringList{QStringLiteral("凉菜间（停用）"), QStringLiteral("厨房")}));
        printers->item(0)->setCheckState(Qt::Checked);
        printers->item(1)->setCheckState(Qt::Checked);
        dialog->findChild<QPushButton*>("saveButton")->click();
        QCOMPARE(printersOfKey(*db_, gongbao), QStringLiteral("凉菜间,厨房"));
        QCOMPARE(cell(0, 7), QStringLiteral("凉菜间、厨房"));
        QCOMPARE(cell(1, 7), QString());

        store.remove(QStringLiteral("厨房"));
        modifyRow(0);
        QCOMPARE(rowTexts(printers),
                 (QStringList{QStringLiteral("凉菜间（停用）"), QStringLiteral("厨房（无此打印机）")}));
        QCOMPARE(printers->item(1)->checkState(), Qt::Checked);
        printers->item(0)->setCheckState(Qt::Unchecked);
        dialog->findChild<QPushButton*>("saveButton")->click();
        QCOMPARE(printersOfKey(*db_, gongbao), QStringLiteral("厨房"));
    }

    // A new dish's picture waits for its first save; a stored dish's picture changes at once.
    void picturesOfANewDishWaitForItsSave() {
        QImage photo(60, 40, QImage::Format_RGB32);
        photo.fill(Qt::darkYellow);
        const QString path = home_->path(QStringLiteral("photo.png"));
        QVERIFY(photo.save(path));
        DishDialog* dialog = window_->dishDialog();
        dialog->setPictureChooser([&](QWidget*) { return path; });
        auto* removePicture = dialog->findChild<QPushButton*>("removePictureButton");
        MenuCatalogue catalogue(*db_);

        window_->findChild<QPushButton*>("addButton")->click();
        QVERIFY(!removePicture->isEnabled());
        dialog->findChild<QPushButton*>("choosePictureButton")->click();
        QVERIFY(removePicture->isEnabled());
        QVERIFY(!catalogue.picture(dialog->key()));
        dialog->findChild<QLineEdit*>("nameEdit")->setText(QStringLiteral("红烧肉"));
        dialog->findChild<QLineEdit*>("descriptionEdit")->setText(QStringLiteral("肥而不腻"));
        dialog->findChild<QPushButton*>("saveButton")->click();
        const QString key = dialog->key();
        QVERIFY(catalogue.picture(key));
        QCOMPARE(catalogue.item(key)->description, QStringLiteral("肥而不腻"));

        modifyRow(4);
        QCOMPARE(dialog->key(), key);
        QVERIFY(removePicture->isEnabled());
        removePicture->click();
        QVERIFY(!catalogue.picture(key));
        dialog->findChild<QPushButton*>("cancelButton")->click();
        window_->findChild<QPushButton*>("addButton")->click();
        QVERIFY(!removePicture->isEnabled());
    }

    void tooLongNameIsRefusedWithAMessage() {
        window_->findChild<QPushButton*>("addButton")->click();
        DishDialog* dialog = window_->dishDialog();
        dialog->findChild<QLineEdit*>("nameEdit")->setText(QString(30, u'鸡'));
        const MessageBoxAnswerer answer({QMessageBox::Ok});
        dialog->findChild<QPushButton*>("saveButton")->click();
        QVERIFY(!answer.shown().isEmpty());
        QVERIFY2(answer.firstText().contains(QStringLiteral("50")), qPrintable(answer.firstText()));
        QVERIFY(dialog->isVisible());
        QCOMPARE(countRows(*db_), 10);
    }

private:
    QString cell(int row, int column) const {
        const QAbstractItemModel* model = window_->grid()->model();
        return model->data(model->index(row, column)).toString();
    }
    QColor background(int row) const {
        const QAbstractItemModel* model = window_->grid()->model();
        return model->data(model->index(row, 0), Qt::BackgroundRole).value<QColor>();
    }
    void clickRow(int row) {
        QTableView* grid = window_->grid();
        const QRect rect = grid->visualRect(grid->model()->index(row, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
    }
    void modifyRow(int row) {
        clickRow(row);
        window_->findChild<QPushButton*>("modifyButton")->click();
    }
    void addDishes(int count) {
        Statement insert(*db_,
                         "INSERT INTO \"菜单\" (\"名称\", \"数量\", \"单位\", \"单价\", \"拼音\", \"查询\", "
                         "\"备注\", \"序号\", \"分类\") VALUES (?, '1', '份', '9', 'c', ?, '', ?, '菜品')");
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("菜%1").arg(i);
            insert.bind(1, name)
                .bind(2, name + QStringLiteral("-c"))
                .bind(3, QStringLiteral("2025%1").arg(i));
            insert.run();
            insert.reset();
        }
    }

    std::unique_ptr<TestHome> home_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<MenuWindow> window_;
};

QTEST_MAIN(MenuWindowTest)
#include "test_window.moc"
