#pragma once

#include "settings/Password.h"

#include <QDialog>
#include <QList>

class QComboBox;
class QLineEdit;

// The login window: the password of the one account of a restaurant without staff; with more enabled
// accounts, a 员工 choice above the password box says whose.
class LoginWindow : public QDialog {
    Q_OBJECT
public:
    explicit LoginWindow(QList<StaffAccount> accounts, QWidget* parent = nullptr);
    // One account (001) whose password has the hash `passwordHash` (store/PasswordHash.h).
    explicit LoginWindow(const QString& passwordHash, QWidget* parent = nullptr);

    QLineEdit* passwordBox() const { return passwordBox_; }
    // Null while there is one account.
    QComboBox* staffBox() const { return staffBox_; }
    // Who signed in, once loggedIn was sent.
    const StaffAccount& signedIn() const { return accounts_.at(chosen()); }
    void setVisible(bool visible) override;

Q_SIGNALS:
    void loggedIn();
    void cancelled();

private:
    int chosen() const;
    void tryLogin();
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

    QList<StaffAccount> accounts_;
    QComboBox* staffBox_ = nullptr;
    QLineEdit* passwordBox_;
    bool accepted_ = false;
};
