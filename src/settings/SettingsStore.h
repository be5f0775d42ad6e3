#pragma once

#include <QString>
#include <QStringList>

class Database;

// The one loaded copy of the restaurant's details, print margins, mobile ordering flag and table list.
// Filled from the database on the first read, edited in place by the settings window, and discarded when
// that window closes so the next read fills it again.
class SettingsStore {
public:
    explicit SettingsStore(Database& db);

    const QString& restaurantName();
    const QString& phone();
    const QString& address();
    const QString& leftMargin();
    const QString& topMargin();
    int mobileFlag();
    const QStringList& tableList();
    // 编号 of each listed table, parallel to tableList().
    const QStringList& tableKeys();
    int tableCount();

    // Lengths in millimetres as printing reads them (leading number of the text, 0 if none).
    double leftMarginMm();
    double topMarginMm();

    void setRestaurantName(const QString& value);
    void setPhone(const QString& value);
    void setAddress(const QString& value);
    void setLeftMargin(const QString& value);
    void setTopMargin(const QString& value);
    void setMobileFlag(int flag);

    // Writes the five texts as they stand (no trimming, margins unchecked) to the settings row in one
    // statement. A text longer than its column throws StoreError and nothing is written; false when there
    // is no settings row to write to.
    bool saveDetails();

    void fill();
    void fillTableList();
    void discard();
    bool isFilled() const { return filled_; }

private:
    void ensureFilled();

    Database& db_;
    bool filled_ = false;
    QString restaurantName_, phone_, address_, leftMargin_, topMargin_;
    int mobileFlag_ = 0;
    QStringList tableList_;
    QStringList tableKeys_;
};
