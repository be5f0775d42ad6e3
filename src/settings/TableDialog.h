#pragma once

#include <QWidget>

class DiningTables;
class QLineEdit;

// The table dialog "餐桌设置": the name of one dining table. It saves under the key of the table it
// was opened for, so clicking another entry of the settings window's list meanwhile changes nothing here.
class TableDialog : public QWidget {
    Q_OBJECT
public:
    explicit TableDialog(DiningTables& tables, QWidget* parent = nullptr);

    // Shows the dialog for a new table with an empty name box.
    void openNew(const QString& key);
    // Shows the dialog for an existing table, its name in the box and the caret after its last character.
    void openFor(const QString& key, const QString& name);

    QLineEdit* nameBox() const { return nameBox_; }
    const QString& key() const { return key_; }

    // "保  存" or Enter in the name box: writes the table, tells the settings window and closes;
    // a refusal or failure is said and the dialog stays open.
    bool save();

Q_SIGNALS:
    void saved();

private:
    void showDialog();

    DiningTables& tables_;
    QLineEdit* nameBox_;
    QString key_;
};
