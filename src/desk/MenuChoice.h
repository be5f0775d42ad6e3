#pragma once

#include "bill/OrderLine.h"

#include <QList>
#include <QObject>
#include <QString>

class Database;

// The menu list beside a bill: the items of one category, narrowed by a search text (pinyin initials or
// part of the name), as records a line can be made from.
class MenuChoice : public QObject {
    Q_OBJECT
public:
    explicit MenuChoice(Database& db, QObject* parent = nullptr) : QObject(parent), db_(db) {}

    const QString& category() const { return category_; }
    Database& database() const { return db_; }
    const QList<MenuRecord>& records() const { return records_; }
    // Lists the whole category.
    void chooseCategory(const QString& category);
    // Lists the items of the current category whose search key holds the text, taken literally.
    void search(const QString& text);

Q_SIGNALS:
    void changed();

private:
    Database& db_;
    QString category_;
    QList<MenuRecord> records_;
};

// A menu item as a line starts from it: its default quantity and price, their amount, and the kitchen mark
// for dishes.
MenuRecord MenuRecordFrom(const QString& category, const QString& name, const QString& quantity,
                          const QString& unit, const QString& price, const QString& remark);
