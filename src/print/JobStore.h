#pragma once

#include "bill/OrderLine.h"
#include "print/BillLayout.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

class Database;

enum class JobKind { Kitchen, Bill, TestPage, Drawer, Report };

// One row of a printed report (交班, 日结): a label and its value; a row without a value is a heading.
using ReportLine = std::pair<QString, QString>;

// A job waits (待打印) until the spooler takes it (发送中, stored before the first byte leaves) and is
// printed (已打印) once the printer has accepted every byte. A job found 发送中 when the spooler starts was
// cut off in that instant: it waits again and its copy says 补打. Lines no printer takes are kept as a job
// that is never sent (未送出); a job that can no longer be sent is given up (已放弃) with the reason.
enum class JobState { Waiting, Sending, Printed, NotRouted, GivenUp };

QString JobKindText(JobKind kind);
QString JobStateText(JobState state);

inline const QString kSourceCounter = QStringLiteral("收银台");
inline const QString kSourceWaiter = QStringLiteral("服务员");
inline const QString kSourceGuest = QStringLiteral("顾客扫码");

struct PrintJob {
    QString id; // 编号: twelve digits, the order jobs are sent in
    QString printer;
    JobKind kind = JobKind::Kitchen;
    JobState state = JobState::Waiting;
    QDateTime created;
    int number = 0;    // kitchen tickets: the running number of the day, shared by the tickets of one order
    QString source;    // kitchen tickets: 收银台, 服务员 or 顾客扫码
    QString tableName; // kitchen tickets and bills
    bool recovery = false;  // the copy after a send that may have printed: says 补打
    bool reprint = false;   // asked for again with 重打
    QString note;           // why it waits, was not sent or was given up
    QString finishedAt;     // when the printer accepted it
    QList<OrderLine> lines; // kitchen tickets: the lines for this printer
    QString billId;         // kitchen tickets: the bill the lines belong to
    QString change;         // kitchen tickets for lines the kitchen already had: 退菜 or 加菜
    QString reason;         // why, when one was given
    BillData bill;          // bills: everything the bill shows
    QString title;          // reports: what the report is (交班报表, 日结报表)
    QList<ReportLine> rows; // reports: its rows
};

// What the day's list says of a job: 等待, 补打 (waiting for a copy after a send that was cut), 发送中,
// 已打印, 未送出 or 失败.
QString JobStateShown(const PrintJob& job);

// Every read and write of 打印任务. Writes run inside the caller's step when there is one (the lines an
// order adds and the jobs that print them are stored together), else as a step of their own.
class JobStore {
public:
    // On a database server every new job is announced on this channel when its step commits, so the
    // spooler of whichever counter sends sends it at once.
    static constexpr const char* kJobsChannel = "cjpos_print_jobs";

    explicit JobStore(Database& db) : db_(db) {}

    // Stores the job and returns its id; ids rise in the order jobs are added, across processes.
    QString add(const PrintJob& job);
    // The next running number of kitchen tickets on that day.
    int nextTicketNumber(const QDate& day);

    std::optional<PrintJob> job(const QString& id);
    // The printer's oldest job that waits, if any.
    std::optional<PrintJob> nextWaiting(const QString& printer);
    // 待打印 -> 发送中; false when another spooler took it or it was given up meanwhile.
    bool claim(const QString& id);
    void markPrinted(const QString& id, const QDateTime& at);
    // 发送中 -> 待打印 after a send that failed; a send that may have printed part makes the next copy 补打.
    void putBack(const QString& id, bool maybePrinted, const QString& why);
    void giveUp(const QString& id, const QString& why);
    void giveUpWaiting(const QString& printer, const QString& why);
    void renamePrinter(const QString& oldName, const QString& newName);
    // After a crash: jobs left 发送中 wait again, marked 补打. Returns how many.
    int recoverInterrupted();

    // Jobs not yet printed (待打印 and 发送中), by printer.
    QHash<QString, int> unfinishedByPrinter();
    // Kitchen lines kept as not sent (未送出) on the day: how many such jobs, and the newest id.
    std::pair<int, QString> notRouted(const QDate& day);
    // Jobs of the day and later, newest first, at most `limit`.
    QList<PrintJob> since(const QDate& day, int limit = 500);
    // A new waiting copy of a job, marked 重打; its id.
    QString reprint(const QString& id, const QDateTime& now);
    // A 未送出 job whose lines went out after all: it keeps the lines still without a printer, or counts as
    // printed (its lines kept, for the day's list) when none is left.
    void settleNotRouted(const QString& id, const QList<OrderLine>& stillUnrouted, const QString& note);
    // Forgets finished jobs (printed, not routed, given up) dated before the day.
    int purgeBefore(const QDate& day);

private:
    void setState(const QString& id, JobState from, JobState to, const QString& note);

    Database& db_;
};

// The job content (lines, bill) as stored in 内容, and back.
QString JobContentText(const PrintJob& job);
void ReadJobContent(const QString& text, PrintJob& job);
