// Two counters (processes of their own, each holding the table it works on) and ten phones (over HTTP to a
// real Lanserve) writing the same and neighbouring tables at once for a minute, then the books: every total
// is the sum of its lines, no party took another table's lines, the slots point at the right open bills,
// and nothing a writer was told it stored is missing.
//
// Phone lines carry their writer and table in the quantity: (table + 1) + 10 * k, with the phone's number
// (1..10) as hundredths. Counter lines have whole quantities and are reported by id by the counter process.
// CJ_MANY_WRITERS_SECONDS sets how long the writers run (60 by default).
#include "LanserveProcess.h"

#include "bill/TableLease.h"
#include "common/TestHome.h"
#include "desk/OrderDesk.h"
#include "mobile/TableTokens.h"
#include "store/Claims.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "store/NumberText.h"
#include "store/ProgramDatabase.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <array>
#include <random>
#include <span>
#include <thread>

namespace {

constexpr int kCounters = 2;
constexpr int kPhones = 10;
// Staff phones 0..7; phones 8 and 9 are guests holding the code of one table each.
constexpr int kFirstGuest = 8;
constexpr int kGuestTables[] = {1, 4};
// The counters work on tables 0..3; the phones order on those and on the neighbours 4 and 5.
constexpr int kCounterTables = 4;
constexpr int kPhoneTables = 6;

using Form = QList<QPair<QString, QString>>;

// Exact: amounts are a two-decimal quantity times a two-decimal price.
qint64 tenThousandths(const QString& number) {
    return qRound64(ReadNumber(number) * 10000);
}

// The quantity a phone orders: its number in the hundredths, the table in the units.
QString taggedQuantity(int phone, int table, int tens) {
    return NumberText(10.0 * tens + table + 1 + (phone + 1) / 100.0);
}
// The phone and the table a quantity names; phone -1 for a counter's whole quantity.
std::pair<int, int> quantityTag(const QString& quantity) {
    const qint64 hundredths = tenThousandths(quantity) / 100;
    return {static_cast<int>(hundredths % 100) - 1, static_cast<int>(hundredths / 100 % 10) - 1};
}

// A refusal that only says another writer got there first.
bool isRaceLost(const QString& message) {
    static const QRegularExpression raceWords(
        QStringLiteral("另一张账单|已在其他地方结账离开|已不在账单中|已被删除|") +
        QRegularExpression::escape(BillStore::ClaimedTableMessage()));
    return raceWords.match(message).hasMatch();
}

// What one writer did. Line ids are unique among stored lines only (a deleted line's id may come back on
// any bill), so each writer keeps the lines it was told it stored and has not deleted: id -> table.
struct Run {
    QHash<QString, int> kept;
    QStringList failures; // beside losing a race
    QMap<QString, int> counts;
};

// The counters come first among the writers, then the phones.
QString writerName(qsizetype writer) {
    return writer < kCounters ? QStringLiteral("counter %1").arg(writer)
                              : QStringLiteral("phone %1").arg(writer - kCounters);
}

class Writer {
protected:
    Writer(unsigned seed, Run& run) : run_(run), random_(seed) {}
    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }
    void pause(int fromMs, int toMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(fromMs + pick(toMs - fromMs + 1)));
    }
    void count(const char* what, int times = 1) { run_.counts[QString::fromLatin1(what)] += times; }
    void refused(bool raceLost, const QString& failure) {
        if (raceLost)
            count("raceLost");
        else
            run_.failures.append(failure);
    }

    Run& run_;

private:
    std::mt19937 random_;
};

class Counter : public Writer {
public:
    Counter(Database& db, int index, Run& run) : Writer(1000 + index, run), db_(db) {}

    void runFor(std::chrono::seconds duration) {
        const ClaimKeeper keeper(db_);
        TableLease lease(db_);
        for (const QDeadlineTimer deadline(duration); !deadline.hasExpired();) {
            const int table = pick(kCounterTables);
            if (!lease.take(table)) {
                count("leaseRefused");
                pause(2, 10);
                continue;
            }
            try {
                visit(table);
            } catch (const StoreError& error) {
                refused(isRaceLost(error.text()), error.text());
            }
            lease.release();
        }
    }

private:
    // One opening of the ordering window on a table: a few edits, then 结账离开 or 保存.
    void visit(int table) {
        OrderDesk desk(db_);
        desk.openTable(table, QDateTime::currentDateTime());
        for (int edits = 2 + pick(4); edits > 0; --edits) {
            edit(desk, table);
            if (pick(3) == 0)
                desk.bill.followStored(); // as the change feed would, between the cashier's keys
            pause(3, 25);
        }
        if (pick(5) < 2 && checkedOut(desk.bill))
            return;
        desk.bill.save();
        count("saves");
    }

    void edit(OrderDesk& desk, int table) {
        const QList<OrderLine>& lines = desk.bill.lines();
        QList<int> own; // phones' lines stay as the phones ordered them
        for (int i = 0; i < lines.size(); ++i)
            if (run_.kept.contains(lines.at(i).lineId))
                own.append(i);
        const int choice = pick(10);
        if (own.isEmpty() || choice < 6) {
            desk.menu.chooseCategory(QStringList{kDishes, kDrinks, kOthers}.at(pick(3)));
            const MenuRecord record = desk.menu.records().at(pick(desk.menu.records().size()));
            run_.kept.insert(lines.at(desk.bill.addItem(record, QDateTime::currentDateTime())).lineId, table);
            count("adds");
        } else if (choice < 9) {
            desk.bill.setQuantity(own.at(pick(own.size())), QString::number(2 + pick(3)));
            count("quantities");
        } else {
            const int line = own.at(pick(own.size()));
            const QString id = lines.at(line).lineId;
            desk.bill.selectLine(line);
            desk.bill.deleteSelected();
            run_.kept.remove(id);
            count("deletes");
        }
    }

    // False when the cashier gave up and took the checkout back.
    bool checkedOut(BillDocument& bill) {
        bill.checkOut();
        // Phones may add lines between the question and the answer; a cashier answers a few times at most.
        for (int tries = 0; tries < 5; ++tries) {
            if (bill.save() != BillDocument::SaveResult::ChangedElsewhere) {
                count("checkouts");
                return true;
            }
            count("changedElsewhere");
            bill.acknowledgeChanges();
        }
        bill.cancelCheckOut();
        return false;
    }

    Database& db_;
};

QString captured(const QByteArray& page, const QString& pattern) {
    return QRegularExpression(pattern).match(QString::fromUtf8(page)).captured(1);
}
QString hiddenField(const QByteArray& form, const char* name) {
    return captured(form, QStringLiteral("name=\"%1\" value=\"([^\"]*)\"").arg(QLatin1String(name)));
}

class Phone : public Writer {
public:
    Phone(int index, int port, const QStringList& tableNames, const QString& guestToken, Run& run)
        : Writer(2000 + index, run), index_(index), port_(port), tableNames_(tableNames),
          guestToken_(guestToken) {}

    void runUntil(const QDeadlineTimer& deadline) {
        const ClientAddress address(QStringLiteral("127.0.0.%1").arg(10 + index_));
        if (!guest() && (cookie_ = SignIn(port_)).isEmpty()) {
            run_.failures.append(QStringLiteral("staff sign-in refused"));
            return;
        }
        while (!deadline.hasExpired()) {
            const int table = guest() ? kGuestTables[index_ - kFirstGuest] : pick(kPhoneTables);
            const QStringList listed = order(table);
            if (!guest() && pick(8) == 0)
                changeOwnLine(table, listed, false);
            if (!guest() && pick(12) == 0)
                changeOwnLine(table, listed, true);
            pause(20, 119);
        }
    }

private:
    bool guest() const { return !guestToken_.isEmpty(); }
    QString tableParam(int table) const { return guest() ? guestToken_ : QString::number(table); }

    // GETs the page, or POSTs the form to it; the page when it answered as expected (200, or 303 after a
    // form). 409: the table's bill changed under the form; 404: the line went with it.
    std::optional<QByteArray> send(const QString& page, const Form& form = {}) {
        const QByteArray target = "/phone/" + page.toUtf8();
        const RawReply reply =
            form.isEmpty() ? Get(port_, target, cookie_) : PostForm(port_, target, form, cookie_);
        if (reply.status == (form.isEmpty() ? 200 : 303))
            return reply.body;
        const QString message = captured(reply.body, QStringLiteral("<p id=\"message\">(.*?)</p>"));
        refused(reply.status == 409 || (reply.status == 404 && isRaceLost(message)),
                QStringLiteral("%1 %2 %3").arg(page).arg(reply.status).arg(message));
        return std::nullopt;
    }

    // Orders one or two items; the phone's lines the bill's page lists afterwards (staff only).
    QStringList order(int table) {
        const int category = pick(3);
        const auto menu = send(QStringLiteral("menu.asp?c=%1&t=%2").arg(category).arg(tableParam(table)));
        if (!menu)
            return {};
        // The menu page lists every category; each dish's box is named by its menu key.
        static const QRegularExpression item(QStringLiteral("name=\"q(\\d+)\""));
        QStringList keys;
        for (auto match = item.globalMatch(QString::fromUtf8(*menu)); match.hasNext();)
            keys.append(match.next().captured(1));
        const auto items = static_cast<int>(keys.size());
        if (items == 0) {
            run_.failures.append(QStringLiteral("menu.asp listed no items"));
            return {};
        }
        Form form{{"t", tableParam(table)}, {"tn", tableNames_.at(table)}, {"c", QString::number(category)}};
        form += Form{{"k", hiddenField(*menu, "k")}, {"go", "1"}};
        const int first = pick(items);
        const int lines = items > 1 && pick(2) == 0 ? 2 : 1;
        for (int i = 0; i < lines; ++i)
            form.append(
                {QLatin1Char('q') + keys.at((first + i) % items), taggedQuantity(index_, table, pick(3))});
        if (!send(QStringLiteral("savemenu.asp"), form))
            return {};
        count("orders");
        count("lines", lines);
        return guest() ? QStringList() : listedLines(table);
    }

    // The phone's lines the bill's page lists (staff pages only show the ids); each is kept as stored.
    QStringList listedLines(int table) {
        const auto detail = send(QStringLiteral("detail.asp?t=%1").arg(table));
        if (!detail)
            return {};
        static const QRegularExpression line(
            QStringLiteral(R"re(<span class="muted">([0-9.]+).*?modify\.asp\?t=\d+&amp;l=(\d+))re"),
            QRegularExpression::DotMatchesEverythingOption);
        QStringList listed;
        for (const QRegularExpressionMatch& match : line.globalMatch(QString::fromUtf8(*detail))) {
            const auto [phone, lineTable] = quantityTag(match.captured(1));
            const QString id = match.captured(2);
            if (phone != index_)
                continue;
            if (lineTable != table)
                run_.failures.append(QStringLiteral("line %1 for table %2 listed on table %3")
                                         .arg(id, QString::number(lineTable), QString::number(table)));
            listed.append(id);
            if (!run_.kept.contains(id))
                run_.kept.insert(id, table);
        }
        return listed;
    }

    // Modifies or deletes one of the listed lines through the page's form.
    void changeOwnLine(int table, const QStringList& listed, bool deleting) {
        if (listed.isEmpty())
            return;
        const QString page = deleting ? QStringLiteral("delete.asp") : QStringLiteral("modify.asp");
        const QString line = listed.at(pick(listed.size()));
        const auto form = send(QStringLiteral("%1?t=%2&l=%3").arg(page).arg(table).arg(line));
        if (!form)
            return;
        Form fields{{"t", QString::number(table)}, {"b", hiddenField(*form, "b")}, {"l", line}};
        if (!deleting)
            fields += Form{{"qty", taggedQuantity(index_, table, 3 + pick(3))},
                           {"remark", QStringLiteral("少辣%1").arg(pick(100))}};
        if (!send(page, fields))
            return;
        if (deleting)
            run_.kept.remove(line);
        count(deleting ? "deleted" : "modified");
    }

    const int index_;
    const int port_;
    const QStringList tableNames_;
    const QString guestToken_;
    QByteArray cookie_;
};

// 应收, 菜品, 酒水 and 其他 in ten-thousandths.
using Sums = std::array<qint64, 4>;

struct Books {
    struct Bill {
        QString table; // none for lines whose bill has no row
        bool left = false;
        Sums stored{}, ofLines{};
    };
    struct Line {
        QString quantity, bill, table; // the table of its bill; none when the bill has no row
    };
    QHash<QString, Bill> bills;
    QHash<QString, Line> lines; // by line id
    QStringList slots;
};

Books readBooks(Database& db, int tableCount) {
    Books books;
    Statement bills(
        db, R"(SELECT "id", "桌号", "退桌状态", "应收", "菜品费用", "酒水费用", "其他费用" FROM "桌台")");
    while (bills.next()) {
        Books::Bill& bill = books.bills[bills.text(0)];
        bill = {bills.text(1), bills.text(2) == QLatin1String("yes")};
        for (int i = 0; i < 4; ++i)
            bill.stored[i] = tenThousandths(bills.text(3 + i));
    }
    Statement lines(db, R"(SELECT l."序号", l."数量", l."id", b."桌号", l."金额", l."分类" FROM "明细" l
                           LEFT JOIN "桌台" b ON b."id" = l."id")");
    while (lines.next()) {
        books.lines.insert(lines.text(0), {lines.text(1), lines.text(2), lines.text(3)});
        Sums& sums = books.bills[lines.text(2)].ofLines;
        const qint64 amount = tenThousandths(lines.text(4));
        sums[0] += amount;
        sums[lines.text(5) == kDishes ? 1 : lines.text(5) == kDrinks ? 2 : 3] += amount;
    }
    books.slots = ReadSlots(db, tableCount);
    return books;
}

QString sumsText(const Sums& s) {
    return QStringLiteral("%1 %2 %3 %4").arg(s[0] / 1e4).arg(s[1] / 1e4).arg(s[2] / 1e4).arg(s[3] / 1e4);
}

// Bills whose totals are not those of their lines; lines of a bill without a row come up as such a bill.
void checkTotals(const Books& books, QStringList& faults) {
    for (const auto& [id, bill] : books.bills.asKeyValueRange())
        if (bill.stored != bill.ofLines)
            faults.append(QStringLiteral("bill %1: 应收 菜品 酒水 其他 %2, its lines add up to %3")
                              .arg(id, sumsText(bill.stored), sumsText(bill.ofLines)));
}

void checkSlots(const Books& books, const QStringList& tableNames, QStringList& faults) {
    for (int table = 0; table < tableNames.size(); ++table) {
        const QString billId = books.slots.value(table);
        if (!SlotOccupied(billId))
            continue;
        const Books::Bill bill = books.bills.value(billId);
        if (bill.table != tableNames.at(table) || bill.left)
            faults.append(QStringLiteral("slot %1 (%2) holds %3 of table '%4'%5")
                              .arg(QString::number(table), tableNames.at(table), billId, bill.table,
                                   bill.left ? QStringLiteral(", settled") : QString()));
        if (books.slots.indexOf(billId) != table)
            faults.append(QStringLiteral("bill %1 in slots %2 and %3")
                              .arg(billId)
                              .arg(books.slots.indexOf(billId))
                              .arg(table));
    }
    // An open bill with something to pay that no slot holds is a party the tiles no longer show.
    for (const auto& [id, bill] : books.bills.asKeyValueRange())
        if (!bill.left && bill.stored[0] > 0 && !books.slots.contains(id))
            faults.append(QStringLiteral("open bill %1 of %2 is in no slot").arg(id, bill.table));
}

// Every line a writer kept is stored on a bill of its table; every stored line is one a writer ordered, on
// a bill of the table it was ordered for; each phone has as many lines stored as it ordered and kept.
void checkLines(const Books& books, const QStringList& tableNames, std::span<const Run> writers,
                QStringList& faults) {
    const auto checkPlace = [&](qsizetype writer, const QString& id, int table) {
        const Books::Line line = books.lines.value(id); // no bill when lost
        const QString where = line.bill.isEmpty()
                                  ? QStringLiteral("lost")
                                  : QStringLiteral("on bill %1 of '%2'").arg(line.bill, line.table);
        if (line.table != tableNames.at(table))
            faults.append(QStringLiteral("%1: line %2 for %3 is %4")
                              .arg(writerName(writer), id, tableNames.at(table), where));
    };
    for (size_t w = 0; w < writers.size(); ++w)
        for (const auto& [id, table] : writers[w].kept.asKeyValueRange())
            checkPlace(w, id, table);
    const auto byCounters = [&](const QString& id) {
        return std::any_of(writers.begin(), writers.begin() + kCounters,
                           [&](const Run& c) { return c.kept.contains(id); });
    };
    std::array<int, kPhones> perPhone{};
    for (const auto& [id, line] : books.lines.asKeyValueRange()) {
        const auto [phone, table] = quantityTag(line.quantity);
        if (phone >= 0 && phone < kPhones && table >= 0 && table < kPhoneTables) {
            ++perPhone[phone];
            checkPlace(kCounters + phone, id, table);
        } else if (phone >= 0 || !byCounters(id)) {
            faults.append(
                QStringLiteral("line %1 (quantity %2): no writer ordered it").arg(id, line.quantity));
        }
    }
    for (int p = 0; p < kPhones; ++p) {
        const QMap<QString, int>& counts = writers[kCounters + p].counts;
        const int kept = counts.value(QStringLiteral("lines")) - counts.value(QStringLiteral("deleted"));
        if (perPhone[p] != kept)
            faults.append(QStringLiteral("phone %1: %2 lines stored, %3 ordered and kept")
                              .arg(p)
                              .arg(perPhone[p])
                              .arg(kept));
    }
}

QMap<QString, int> summed(std::span<const Run> runs) {
    QMap<QString, int> sums;
    for (const Run& run : runs)
        for (const auto& [what, times] : run.counts.asKeyValueRange())
            sums[what] += times;
    return sums;
}

} // namespace

class TestManyWriters : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void phonesAndCountersOnSharedTablesKeepEveryBillWhole();
};

void TestManyWriters::phonesAndCountersOnSharedTablesKeepEveryBillWhole() {
    TestHome home;
    const QString folder = home.path(QStringLiteral("data"));
    const auto db = PrepareDataFolder(folder);
    SettingsStore settings(*db);
    const QStringList tableNames = settings.tableList();
    QVERIFY(tableNames.size() >= kPhoneTables);
    const QHash<QString, QString> tokens = TableTokens::EnsureTokens(*db, settings.tableKeys());
    // The guests' quantities carry tags up to 31, past the usual limit for one dish.
    WriteGuestLimits(*db, {9999, 9999, false});
    LanserveProcess server(folder);
    QVERIFY2(server.start(), qPrintable(server.error()));
    const int configured = qEnvironmentVariableIntValue("CJ_MANY_WRITERS_SECONDS");
    const int seconds = configured > 0 ? configured : 60;

    std::array<QProcess, kCounters> counters; // their destructors end them when the test fails early
    for (int c = 0; c < kCounters; ++c) {
        counters[c].setProcessChannelMode(QProcess::ForwardedErrorChannel);
        counters[c].start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--counter"), folder, QString::number(c), QString::number(seconds)});
    }
    std::array<Run, kCounters + kPhones> writers;
    {
        const QDeadlineTimer deadline(std::chrono::seconds{seconds});
        std::vector<std::jthread> phones; // joined when the time is up
        for (int p = 0; p < kPhones; ++p) {
            const QString guestToken =
                p < kFirstGuest ? QString()
                                : tokens.value(settings.tableKeys().at(kGuestTables[p - kFirstGuest]));
            phones.emplace_back([&, p, guestToken] {
                Phone(p, server.port(), tableNames, guestToken, writers[kCounters + p]).runUntil(deadline);
            });
        }
    }
    for (int c = 0; c < kCounters; ++c) {
        QVERIFY2(counters[c].waitForFinished(60'000), "a counter process did not finish");
        QCOMPARE(counters[c].exitStatus(), QProcess::NormalExit);
        QCOMPARE(counters[c].exitCode(), 0);
        QDataStream output(counters[c].readAllStandardOutput());
        output >> writers[c].kept >> writers[c].failures >> writers[c].counts;
        QCOMPARE(output.status(), QDataStream::Ok);
    }
    QCOMPARE(server.process().state(), QProcess::Running);
    const QMap<QString, int> phoneSums = summed(std::span(writers).subspan(kCounters));
    qInfo() << "counters:" << summed(std::span(writers).first(kCounters)) << "phones:" << phoneSums << seconds
            << "s";

    // A stalled writer fails the run rather than passing with little checked.
    QVERIFY2(phoneSums.value(QStringLiteral("orders")) >= 5 * seconds, "the phones stalled");
    for (int c = 0; c < kCounters; ++c) {
        const int checkouts = writers[c].counts.value(QStringLiteral("checkouts"));
        QVERIFY2(writers[c].counts.value(QStringLiteral("saves")) + checkouts >= seconds / 2 && checkouts > 0,
                 "a counter stalled");
    }

    const Books books = readBooks(*db, static_cast<int>(tableNames.size()));
    QStringList faults;
    checkTotals(books, faults);
    checkSlots(books, tableNames, faults);
    checkLines(books, tableNames, writers, faults);
    for (size_t w = 0; w < writers.size(); ++w)
        for (const QString& failure : writers[w].failures)
            faults.append(writerName(w) + QStringLiteral(": ") + failure);
    faults.removeDuplicates();
    QVERIFY2(faults.isEmpty(), qPrintable(faults.mid(0, 30).join(QLatin1Char('\n'))));
}

// The counter of the test above, as a process of its own:
//   --counter DATA_FOLDER INDEX SECONDS   works the shared tables for that long, then writes its run out
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 5 && arguments.at(1) == QLatin1String("--counter")) {
        try {
            const auto db = OpenProgramDatabase(arguments.at(2));
            Run run;
            Counter(*db, arguments.at(3).toInt(), run).runFor(std::chrono::seconds(arguments.at(4).toInt()));
            QFile out; // the run goes to the test on stdout, which checks that it came whole
            QDataStream stream(&out);
            if (out.open(stdout, QIODevice::WriteOnly))
                stream << run.kept << run.failures << run.counts;
            return 0;
        } catch (const StoreError& error) {
            qCritical("counter: %s", qPrintable(error.text()));
            return 1;
        }
    }
    TestManyWriters test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_many_writers.moc"
