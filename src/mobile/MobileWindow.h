#pragma once

#include <QWidget>

class Database;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ServerControl;
class SettingsStore;

// 手机点餐 (Form24): the address of the phone pages as text and QR code, and the switch of the service.
class MobileWindow : public QWidget {
    Q_OBJECT
public:
    MobileWindow(Database& db, SettingsStore& store, ServerControl& server, QWidget* parent = nullptr);

    // The start-up hook: when the stored flag is on, runs the enable action without showing the window.
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
    void Check1_Click(bool on);
    void showCode(const QString& address);
    // "打印桌台二维码": one code per dining table on A4, to the default printer or else to a PDF file.
    void printTableCodes();
    // "重新生成二维码": new codes for every table, after a question; printed codes stop working.
    void renewTableCodes();

    Database& db_;
    SettingsStore& store_;
    ServerControl& server_;
    QLabel* instructions_ = nullptr;  // Label9
    QLabel* code_ = nullptr;          // Image1
    QLabel* linkCaption_ = nullptr;   // Label3
    QLineEdit* addressBox_ = nullptr; // text1
    QCheckBox* enable_ = nullptr;     // Check1
    QLabel* tutorial_ = nullptr;      // Label1
    QLabel* band_ = nullptr;          // Label8
    QPushButton* printCodes_ = nullptr;
    QPushButton* renewCodes_ = nullptr;
};
