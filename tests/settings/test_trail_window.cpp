// The 操作记录 window: the database filters the rows and counts each person's day, the status line tells
// a whole chain from a changed row, 导出 writes what is listed, and only a 店长 opens it.
#include "common/MessageBoxes.h"
#include "common/TestHome.h"
#include "common/XlsReadBack.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsWindow.h"
#include "settings/StaffAccounts.h"
#include "settings/TrailWindow.h"
#include "store/ActionTrail.h"
#include "store/Database.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString kCashier = QStringLiteral("002");
const QString kWaiter = QStringLiteral("003");

QString dayText(int daysAgo) {
    return QDate::currentDate().addDays(-daysAgo).toString(Qt::ISODate);
}

// What the grid shows in one column, top to bottom.
QStringList columnOf(const QTableView* grid, int column) {
    QStringList texts;
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        texts.append(grid->model()->index(row, column).data().toString());
    return texts;
}

// Each shown row's cells joined by "|".
QStringList rowsOf(const QTableView* grid) {
    QStringList rows;
    for (int row = 0; row < grid->model()->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < grid->model()->columnCount(); ++column)
            cells.append(grid->model()->index(row, column).data().toString());
        rows.append(cells.join(QLatin1Char('|')));
    }
    return rows;
}

} // namespace

class TrailWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        recorded_ = 0;
        home_ = std::make_unique<TestHome>();
        db_ = home_->createDatabase();
        AddStaffAccount(*db_, {kCashier, QStringLiteral("小张"), kRoleCashier, true, QStringLiteral("2")});
        AddStaffAccount(*db_, {kWaiter, QStringLiteral("小李"), kRoleWaiter, true, QStringLiteral("3")});
        // 内容 "行N" names row N (序号 N) in the checks below.
        record(kCashier, trail_action::kReturnDish, QStringLiteral("1号桌"), 10, "10:00:00"); // 行1
        record(kCashier, trail_action::kReturnDish, QStringLiteral("1号桌"), 2, "10:00:00");  // 行2
        record(kWaiter, trail_action::kDiscount, QStringLiteral("2号桌"), 2, "11:00:00");     // 行3
        record(kCashier, trail_action::kReopenBill, QStringLiteral("1号桌"), 1, "09:00:00");  // 行4
        record(kCashier, trail_action::kReturnDish, QStringLiteral("3号桌"), 0, "00:00:01");  // 行5
        record(kWaiter, trail_action::kMoveTable, QStringLiteral("2号桌"), 0, "00:00:02");    // 行6
        record(kCashier, trail_action::kReturnDish, QStringLiteral("2号桌"), 0, "00:00:03");  // 行7
        record(kWaiter, trail_action::kDeleteBill, QString(), 0, "00:00:04");                 // 行8
        window_ = std::make_unique<TrailWindow>(*db_);
        window_->show();
    }
    void cleanup() {
        window_.reset();
        db_.reset();
        home_.reset();
    }

    void filtersChooseRowsByDayStaffActionAndTable() {
        // The last seven days, newest first; 行1 is ten days old.
        QCOMPARE(contents(), QStringLiteral("行8,行7,行6,行5,行4,行3,行2"));
        const QStringList third = rowsOf(window_->list()).at(5).split(QLatin1Char('|'));
        QCOMPARE(third,
                 (QStringList{dayText(2) + QStringLiteral(" 11:00:00"), kWaiter, QStringLiteral("小李"),
                              trail_action::kDiscount, QStringLiteral("2号桌"), QStringLiteral("B3"),
                              QStringLiteral("行3"), kTrailReasons.first(), approver()}));

        window_->staffBox()->setCurrentIndex(window_->staffBox()->findData(kWaiter));
        QCOMPARE(query(), QStringLiteral("行8,行6,行3"));
        window_->staffBox()->setCurrentIndex(0);
        window_->actionBox()->setCurrentText(trail_action::kReturnDish);
        QCOMPARE(query(), QStringLiteral("行7,行5,行2"));
        window_->tableBox()->setText(QStringLiteral(" 1号桌 "));
        QCOMPARE(query(), QStringLiteral("行2"));
        window_->actionBox()->setCurrentIndex(0);
        QCOMPARE(query(), QStringLiteral("行4,行2"));
        window_->firstDayBox()->setDate(QDate::currentDate().addDays(-30));
        window_->lastDayBox()->setDate(QDate::currentDate().addDays(-3));
        QCOMPARE(query(), QStringLiteral("行1"));
    }

    void dailySummaryCountsEachPersonsDay() {
        // 转台 is not counted, so 小李 has no line of today for it alone; 行8 gives one.
        QCOMPARE(rowsOf(window_->summary()), (QStringList{dayText(0) + QStringLiteral("|002|小张|2|0|0|0"),
                                                          dayText(0) + QStringLiteral("|003|小李|0|0|0|1"),
                                                          dayText(1) + QStringLiteral("|002|小张|0|0|1|0"),
                                                          dayText(2) + QStringLiteral("|002|小张|1|0|0|0"),
                                                          dayText(2) + QStringLiteral("|003|小李|0|1|0|0")}));
        window_->firstDayBox()->setDate(QDate::currentDate().addDays(-10));
        window_->lastDayBox()->setDate(QDate::currentDate().addDays(-10));
        window_->query();
        QCOMPARE(rowsOf(window_->summary()), QStringList{dayText(10) + QStringLiteral("|002|小张|1|0|0|0")});
    }

    void statusLineNamesTheChangedRow() {
        QCOMPARE(window_->checkLine()->text(), QStringLiteral("记录完整"));
        if (db_->isServer())
            QSKIP("a server refuses to change the trail");
        Statement(*db_, "UPDATE \"操作记录\" SET \"内容\" = '行3 改' WHERE \"序号\" = '3'").run();
        window_->tabs()->setCurrentIndex(1);
        window_->query();
        QVERIFY2(window_->checkLine()->text().contains(QStringLiteral("记录被改动：序号 3 起")),
                 qPrintable(window_->checkLine()->text()));
        QCOMPARE(window_->tabs()->currentWidget(), window_->list());
        const QModelIndexList selected = window_->list()->selectionModel()->selectedRows(6);
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().data().toString(), QStringLiteral("行3 改"));
    }

    void exportWritesTheListedRowsOrSaysWhyNot() {
        if (!xlrdAvailable())
            QSKIP("/usr/bin/python3 with xlrd is not installed");
        window_->staffBox()->setCurrentIndex(window_->staffBox()->findData(kWaiter));
        window_->query();
        int asked = 0;
        QString chosen = home_->path(QStringLiteral("记录"));
        window_->setFileChooser([&](QWidget*) {
            ++asked;
            return chosen;
        });
        QCOMPARE(exportMessage(), QStringLiteral("文件导出成功！"));
        const QJsonArray values =
            readBack(chosen + QStringLiteral(".xls")).value(QStringLiteral("values")).toArray();
        QCOMPARE(values.size(), 4);
        QCOMPARE(values.at(0).toArray().at(8).toString(), QStringLiteral("批准人"));
        QStringList second;
        for (const QJsonValue& cell : values.at(2).toArray())
            second.append(cell.toString());
        QCOMPARE(second.join(QLatin1Char('|')), rowsOf(window_->list()).at(1));

        chosen = home_->path(QStringLiteral("没有的文件夹/记录"));
        QVERIFY(exportMessage().startsWith(QStringLiteral("文件导出失败：")));
        QVERIFY(!QFile::exists(chosen + QStringLiteral(".xls")));

        window_->tableBox()->setText(QStringLiteral("99号桌"));
        window_->query();
        QCOMPARE(exportMessage(), QStringLiteral("没有可导出的记录。"));
        QCOMPARE(asked, 2);
    }

    void onlyTheOwnerOpensIt() {
        SettingsStore store(*db_);
        SettingsWindow settings(*db_, store, [] {});
        settings.show();
        auto* button = settings.findChild<QPushButton*>(QStringLiteral("trailButton"));
        settings.setSignedInStaff(kCashier);
        QCOMPARE(MessageShownBy([&] { button->click(); }),
                 QStringLiteral("只有店长可以查看操作记录。|") + kHintTitle);

        settings.setSignedInStaff(kFirstStaffId);
        QString opened;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (auto* trail = qobject_cast<TrailWindow*>(QApplication::activeModalWidget())) {
                opened = trail->checkLine()->text();
                trail->close();
            }
        });
        closer.start(5);
        button->click();
        QCOMPARE(opened, QStringLiteral("记录完整"));
    }

private:
    void record(const QString& staff, const QString& action, const QString& table, int daysAgo,
                const char* clock) {
        ++recorded_;
        ActionTrail(*db_).append({staff, action, table, QStringLiteral("B%1").arg(recorded_),
                                  QStringLiteral("行%1").arg(recorded_), kTrailReasons.first(),
                                  action == trail_action::kDiscount ? kFirstStaffId : QString(),
                                  dayText(daysAgo) + QLatin1Char(' ') + QString::fromLatin1(clock)});
    }
    QString contents() const { return columnOf(window_->list(), 6).join(QLatin1Char(',')); }
    QString query() {
        window_->findChild<QPushButton*>(QStringLiteral("queryButton"))->click();
        return contents();
    }
    QString approver() const {
        return kFirstStaffId + QLatin1Char(' ') + ReadStaffAccount(*db_, kFirstStaffId)->name;
    }
    QString exportMessage() {
        const MessageBoxAnswerer answer;
        window_->findChild<QPushButton*>(QStringLiteral("exportButton"))->click();
        return answer.firstText();
    }

    std::unique_ptr<TestHome> home_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<TrailWindow> window_;
    int recorded_ = 0;
};

QTEST_MAIN(TrailWindowTest)
#include "test_trail_window.moc"
