#pragma once

#include <QWidget>

class Database;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class ServerControl;
class SettingsStore;

// 手机点餐: the address of the phone pages as text and QR code, and the switch of the service.
class MobileWindow : public QWidget {
    Q_OBJECT
public:
    MobileWindow(Database& db, SettingsStore& store, ServerControl& server, QWidget* parent = nullptr);

    // At start-up: when the stored flag is on, starts the server without showing the window.
    // A problem (server program missing or not starting) is shown in a message box over `parent`.
    static void ApplyStoredSwitch(SettingsStore& store, ServerControl& server, QWidget* parent = nullptr);

    QString address() const;

Q_SIGNALS:
    // "查看教程" was clicked.
    void tutorialRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The box "开启手机点餐功能" was ticked or cleared: starts or stops the server.
    void switchMobileOrdering(bool on);
    void showCode(const QString& address);
    // Shows the hints this data folder has not been given yet, below the switch.
    void showHints();
    // "打印桌台二维码": one code per dining table on A4, to the default printer or else to a PDF file.
    void printTableCodes();
    // "重新生成二维码": new codes for every table, after a question; printed codes stop working.
    void renewTableCodes();
    // What guests with a table's code may order: shown from and saved to the database at each change.
    void showGuestLimits();
    void saveGuestLimits();

    Database& db_;
    SettingsStore& store_;
    ServerControl& server_;
    QLabel* instructions_ = nullptr;
    QLabel* code_ = nullptr;
    // "链接地址：": a click opens the address in the browser.
    QLabel* linkCaption_ = nullptr;
    QLineEdit* addressBox_ = nullptr;
    QCheckBox* enable_ = nullptr;
    QLabel* tutorial_ = nullptr;
    QLabel* band_ = nullptr;
    QPushButton* printCodes_ = nullptr;
    QPushButton* renewCodes_ = nullptr;
    QLabel* hints_ = nullptr;
    QSpinBox* guestPerDish_ = nullptr;
    QSpinBox* guestPerOrder_ = nullptr;
    QCheckBox* guestConfirm_ = nullptr;
};
