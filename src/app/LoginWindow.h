#pragma once

#include <QDialog>

class QLineEdit;

// The login window: asks for the password of the settings row before the main window opens.
class LoginWindow : public QDialog {
    Q_OBJECT
public:
    // `passwordHash`: the hash of the password that signs in (store/PasswordHash.h).
    LoginWindow(const QString& passwordHash, QWidget* parent = nullptr);

    QLineEdit* passwordBox() const { return passwordBox_; }
    void setVisible(bool visible) override;

Q_SIGNALS:
    void loggedIn();
    void cancelled();

private:
    void tryLogin();
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

    QString passwordHash_;
    QLineEdit* passwordBox_;
    bool accepted_ = false;
};
