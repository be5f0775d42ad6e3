#pragma once

#include "menu/MenuCatalogue.h"
#include "menu/MenuList.h"

#include <QWidget>
#include <functional>

class Database;
class DishDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTableView;
class ScreenRowsModel;

// The menu window "酒菜设置": the items of one category, filtered by the search box, with add,
// modify, delete and clear. Shown not modal; it opens the dish dialog.
class MenuWindow : public QWidget {
    Q_OBJECT
public:
    explicit MenuWindow(Database& db, QWidget* parent = nullptr);
    ~MenuWindow() override;

    const MenuList& list() const { return list_; }
    DishDialog* dishDialog() const { return dishDialog_; }
    QTableView* grid() const { return grid_; }

    // "查  询"; also runs on every change of search text or category.
    void refresh();
    // A click on any cell of a screen row.
    void selectRow(int screenRow);
    void chooseCategory(const QString& category);
    // The buttons under the grid: 新增, 修改, 删除, 清空.
    void addItem();
    void modifyItem();
    void deleteItem();
    void clearCategory();
    // "估  清": the selected dish is sold out (or no longer); phones show it at once.
    void toggleSoldOut();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildGrid();
    // As many screen rows as the grid's height holds, up to the designed 22.
    void showScreenRows(int rows);
    void showState();
    // Runs a step that may fail; a failure is logged and shown, and false returned.
    bool attempt(const QString& what, const std::function<void()>& step);

    MenuCatalogue catalogue_;
    MenuList list_;
    ScreenRowsModel* model_ = nullptr;
    QTableView* grid_ = nullptr;
    QScrollBar* verticalBar_ = nullptr;
    QLineEdit* searchBox_ = nullptr;
    QLabel* categoryLabel_ = nullptr;
    // Hidden: the key the dish dialog saves under.
    QLabel* keyLabel_ = nullptr;
    QPushButton* soldOutButton_ = nullptr;
    QList<QRadioButton*> categoryOptions_;
    DishDialog* dishDialog_ = nullptr;
    bool centred_ = false;
};
