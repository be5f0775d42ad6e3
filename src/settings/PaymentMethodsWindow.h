#pragma once

#include <QDialog>
#include <functional>

class Database;
class QLineEdit;
class QListWidget;
class QPushButton;

// 支付方式: the 店长 renames, adds, reorders, disables and enables the ways a bill is paid. Each change is
// stored at once; 现金 stays and stays the cash method.
class PaymentMethodsWindow : public QDialog {
    Q_OBJECT
public:
    explicit PaymentMethodsWindow(Database& db, QWidget* parent = nullptr);

    QListWidget* list() const { return list_; }
    QLineEdit* nameBox() const { return nameBox_; }

    void addMethod();
    void renameSelected();
    void moveSelected(int step);
    void toggleSelected();

private:
    // Runs a change and shows the list as stored; a refusal is said and nothing changes.
    void change(const QString& selectAfter, const std::function<void()>& edit);
    void showMethods(const QString& select);
    QString selectedName() const;

    Database& db_;
    QListWidget* list_;
    QLineEdit* nameBox_;
    QPushButton* toggleButton_;
};
