#pragma once

#include "desk/History.h"

#include <QWidget>
#include <functional>
#include <optional>

class Database;
class StoreError;
class QLineEdit;
class QListWidget;
class QMenu;

// The history list on the left of the main window: closed bills of a date range, searchable by customer
// name, or the bills still on account.
class HistoryPanel : public QWidget {
    Q_OBJECT
public:
    HistoryPanel(Database& db, QWidget* parent = nullptr);

    void runQuery();          // 查    询
    void runOnAccountQuery(); // 挂帐查询
    void stepDays(int days);  // <<< and >>>
    void showToday();         // both dates today, then the query
    void deleteSelected();    // 删除, after the question
    void setDeletionGuard(std::function<bool(const QString&)> isOpen) { isOpen_ = std::move(isOpen); }
    // Asked before a bill is deleted: the approver's 工号 (empty: the signed-in staff may), or nothing to
    // keep the bill. The deletion goes into the action trail in `staff`'s name.
    void setDeletionApproval(std::function<std::optional<QString>()> approve,
                             std::function<QString()> staff) {
        approveDeletion_ = std::move(approve);
        staff_ = std::move(staff);
    }

    // The bills read so far: the list grows by a page as it is scrolled towards its end.
    const QList<HistoryEntry>& entries() const { return entries_; }
    static constexpr int kPageRows = 200;
    QListWidget* list() const { return list_; }

Q_SIGNALS:
    void reopenRequested(const QString& billId);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void run(HistoryQuery::Kind kind);
    void applySearchTextRule(const QString& text);
    void setDates(const QDate& start, const QDate& end);
    // Reads the next page of the query into the list; false when it failed (the user has been told).
    bool showNextPage();
    void readMoreNearTheEnd();
    void reportFailedQuery(const StoreError& error);

    Database& db_;
    QLineEdit* nameSearchBox_; // part of a customer name
    QLineEdit* startDateEdit_;
    QLineEdit* endDateEdit_;
    QListWidget* list_; // the shown lines; their bill ids are kept in entries_
    QMenu* popupMenu_;  // 删除 and 取消 on a listed bill
    QList<HistoryEntry> entries_;
    std::optional<HistoryList> pages_; // the query shown, while it has more to read
    HistoryQuery::Kind lastKind_ = HistoryQuery::Kind::Closed;
    bool steppingDays_ = false;
    std::function<bool(const QString&)> isOpen_;
    std::function<std::optional<QString>()> approveDeletion_;
    std::function<QString()> staff_; // who is signed in now
};
