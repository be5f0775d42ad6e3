#pragma once

#include "menu/MenuCatalogue.h"

#include <QByteArray>
#include <QWidget>
#include <functional>

class QLabel;
class QLayout;
class QLineEdit;
class QListWidget;
class QPushButton;

// The dish dialog: the boxes of one menu item. It saves under the key of the item it was opened
// for, so clicking another row of the menu window meanwhile changes nothing here.
class DishDialog : public QWidget {
    Q_OBJECT
public:
    enum Box { Name, Quantity, Unit, Price, Initials, Remark, Description, Group, BoxCount };

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

    // "保  存": writes the item (with a picture chosen before its first save), tells the menu window and
    // closes; on failure says why and stays.
    bool save();

    // "选择图片…" asks this for the image file (a file dialog; tests give a path).
    void setPictureChooser(std::function<QString(QWidget*)> chooser) {
        choosePictureFile_ = std::move(chooser);
    }
    // "选择图片…" and "删除图片": a stored item's picture changes at once; a new item's goes with its save.
    void choosePicture();
    void removePicture();

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
    QLayout* makePictureRow();
    void showPicture(const QByteArray& jpeg);
    // Runs one picture step; a failure is logged and shown, and gives false.
    bool attempt(const QString& what, const std::function<void()>& change);

    MenuCatalogue& catalogue_;
    QLineEdit* boxes_[BoxCount];
    // Offers the groups the category already has, so one is not typed two ways.
    void offerGroups(const QString& category);
    QListWidget* printerList_;
    QLabel* categoryLabel_;
    QLabel* picturePreview_;
    QPushButton* removePictureButton_;
    std::function<QString(QWidget*)> choosePictureFile_;
    QString key_;
    bool stored_ = false;       // the item is in the menu: picture buttons act on it at once
    QByteArray pendingPicture_; // chosen for a new item, stored with its first save
    bool centred_ = false;
};
