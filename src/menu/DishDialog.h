#pragma once

#include "menu/MenuCatalogue.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The dish dialog: the boxes of one menu item. It saves under the key of the item it was opened
// for, so clicking another row of the menu window meanwhile changes nothing here.
class DishDialog : public QWidget {
    Q_OBJECT
public:
    enum Box { Name, Quantity, Unit, Price, Initials, Remark, BoxCount };

    explicit DishDialog(MenuCatalogue& catalogue, QWidget* parent = nullptr);

    // Empties every box, sets quantity 1 and shows the dialog for a new item.
    void openNew(const QString& key, const QString& category);
    // Fills the boxes from an item (name first, so its stored initials replace the computed ones) and shows
    // the dialog.
    void openFor(const MenuItem& item, const QString& category);

    QLineEdit* box(Box index) const { return boxes_[index]; }
    // "打印机": one checkable row per kitchen printer; none checked goes by category.
    QListWidget* printerList() const { return printerList_; }
    const QString& key() const { return key_; }
    QString category() const;
    DishEntry entry() const;

    // "保  存": writes the item, tells the menu window and closes; on failure says why and stays.
    bool save();

Q_SIGNALS:
    void saved();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showDialog();
    // Lists the kitchen printers as set up now, the item's own checked; names that are no longer a kitchen
    // printer stay listed and checked, so saving never drops them unseen.
    void showPrinters(const QStringList& named);
    void addPrinterRow(const QString& name, const QString& caption, bool checked);
    QStringList checkedPrinters() const;

    MenuCatalogue& catalogue_;
    QLineEdit* boxes_[BoxCount];
    QListWidget* printerList_;
    QLabel* categoryLabel_;
    QString key_;
    bool centred_ = false;
};
