// cjgendata: fills a program database with years of closed bills, for benchmarks and volume checks.
#include "MenuCatalogue.h"

#include "store/Database.h"
#include "store/Ids.h"
#include "store/NumberText.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

namespace {

struct Options {
    QString out;
    int days = 3 * 365;
    int billsPerDay = 200;
    quint64 seed = 20241212;
};

void usage() {
    std::fprintf(stderr, "usage: cjgendata --out FILE [--days N] [--bills-per-day N] [--seed S]\n");
}

std::optional<Options> parseOptions(const QStringList& args) {
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const QString& name = args.at(i);
        if (i + 1 >= args.size())
            return std::nullopt;
        const QString value = args.at(++i);
        bool ok = true;
        if (name == QLatin1String("--out"))
            options.out = value;
        else if (name == QLatin1String("--days"))
            options.days = value.toInt(&ok);
        else if (name == QLatin1String("--bills-per-day"))
            options.billsPerDay = value.toInt(&ok);
        else if (name == QLatin1String("--seed"))
            options.seed = value.toULongLong(&ok);
        else
            return std::nullopt;
        if (!ok)
            return std::nullopt;
    }
    if (options.out.isEmpty() || options.days < 1 || options.billsPerDay < 0 || options.billsPerDay > 43200)
        return std::nullopt;
    return options;
}

class Generator {
public:
    Generator(Database& db, const Options& options)
        : db_(db), options_(options), random_(options.seed), menu_(MenuCatalogue()),
          customers_(CustomerNames()),
          insertBill_(
              db, "INSERT INTO \"桌台\" (\"id\", \"日期\", \"桌号\", \"应收\", \"挂账金额\", \"挂账状态\", "
                  "\"姓名\", \"电话\", \"备注\", \"菜品费用\", \"酒水费用\", \"其他费用\", \"结账状态\", "
                  "\"退桌状态\", \"实收\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '', 'yes', ?)"),
          insertLine_(
              db, "INSERT INTO \"明细\" (\"id\", \"日期\", \"序号\", \"名称\", \"数量\", \"单位\", \"单价\", "
                  "\"金额\", \"分类\", \"排序\", \"备注\", \"上菜\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                  "?, ?)") {
        Statement tables(db, "SELECT \"餐桌名称\" FROM \"餐桌设置\" ORDER BY rowid");
        while (tables.next())
            tableNames_.append(tables.text(0));
        if (tableNames_.isEmpty())
            tableNames_.append(QStringLiteral("大厅001"));
    }

    void writeMenu() {
        db_.exec("DELETE FROM \"菜单\";");
        Statement menu(db_,
                       "INSERT INTO \"菜单\" (\"名称\", \"数量\", \"单位\", \"单价\", \"拼音\", \"查询\", "
                       "\"备注\", \"备用1\", \"备用2\", \"备用3\", \"序号\", \"分类\") "
                       "VALUES (?, '1', ?, ?, ?, ?, '', '', '', '', ?, ?)");
        const QDateTime added(QDate(2020, 1, 1), QTime(9, 0));
        for (size_t i = 0; i < menu_.size(); ++i) {
            const GeneratedItem& item = menu_[i];
            menu.bind(1, EscapeBrackets(item.name)).bind(2, item.unit).bind(3, NumberText(item.price));
            menu.bind(4, item.initials).bind(5, item.name + QLatin1Char('-') + item.initials);
            menu.bind(6, BillId(added.addSecs(static_cast<qint64>(i)))).bind(7, item.category);
            menu.run();
            menu.reset();
        }
    }

    qint64 lines() const { return lines_; }
    qint64 bills() const { return bills_; }

    // Days before unitChange sell a few items under their old unit.
    void writeDays(const QDate& first, const QDate& last, const QDate& unitChange) {
        for (QDate day = first; day <= last; day = day.addDays(1))
            writeDay(day, day < unitChange);
    }

private:
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random_); }

    // Distinct opening seconds between 10:00 and 22:00, in time order.
    std::vector<int> openingSeconds() {
        std::set<int> seconds;
        while (static_cast<int>(seconds.size()) < options_.billsPerDay)
            seconds.insert(10 * 3600 + uniform(0, 12 * 3600 - 1));
        return {seconds.begin(), seconds.end()};
    }

    const GeneratedItem& pickItem() {
        // Roughly six dishes for every two drinks and one other good.
        const int roll = uniform(0, 8);
        if (roll < 6)
            return menu_[static_cast<size_t>(uniform(0, 99))];
        if (roll < 8)
            return menu_[static_cast<size_t>(uniform(100, 129))];
        return menu_[static_cast<size_t>(uniform(130, 149))];
    }

    QString quantityFor(const GeneratedItem& item) {
        if (item.category == QStringLiteral("酒水"))
            return QString::number(uniform(1, 6));
        if (item.category == QStringLiteral("其他"))
            return QString::number(uniform(1, 4));
        if (chance(0.05))
            return QStringLiteral("0.5");
        return chance(0.1) ? QStringLiteral("2") : QStringLiteral("1");
    }

    void writeDay(const QDate& day, bool firstHalf) {
        const QString date = DateText(day);
        for (const int second : openingSeconds()) {
            const QDateTime opened(day, QTime(0, 0).addSecs(second));
            writeBill(opened, date, firstHalf);
        }
    }

    void writeBill(const QDateTime& opened, const QString& date, bool firstHalf) {
        const QString id = BillId(opened);
        const int count = uniform(3, 12);
        double dishes = 0, drinks = 0, others = 0;
        for (int i = 0; i < count; ++i) {
            const GeneratedItem& item = pickItem();
            const QString quantity = quantityFor(item);
            const double amount = ReadNumber(quantity) * item.price;
            const QString unit = firstHalf && !item.oldUnit.isEmpty() ? item.oldUnit : item.unit;
            const bool dish = item.category == QStringLiteral("菜品");
            (dish ? dishes : item.category == QStringLiteral("酒水") ? drinks : others) += amount;
            insertLine_.bind(1, id).bind(2, date).bind(3, LineId(opened.addSecs(37LL * i), i));
            insertLine_.bind(4, item.name).bind(5, quantity).bind(6, unit).bind(7, NumberText(item.price));
            insertLine_.bind(8, NumberText(amount))
                .bind(9, item.category)
                .bind(10, SortKey(item.category, i));
            insertLine_.bind(11, chance(0.03) ? QStringLiteral("少辣") : QString());
            insertLine_.bind(12, dish ? kServed : QString());
            insertLine_.run();
            insertLine_.reset();
            ++lines_;
        }

        const double receivable = dishes + drinks + others;
        const bool named = chance(0.2);
        const bool onAccount = named && chance(0.25);
        const double discount = chance(0.15) ? 0.9 : 1.0;
        const QString customer =
            named ? customers_.at(uniform(0, static_cast<int>(customers_.size()) - 1)) : QString();
        insertBill_.bind(1, id).bind(2, date).bind(
            3, tableNames_.at(uniform(0, static_cast<int>(tableNames_.size()) - 1)));
        insertBill_.bind(4, NumberText(receivable));
        insertBill_.bind(5, onAccount ? NumberText(receivable) : QString());
        insertBill_.bind(6, onAccount ? kOnAccount : QString());
        insertBill_.bind(7, customer);
        insertBill_.bind(8, named ? QStringLiteral("138%1").arg(uniform(0, 99999999), 8, 10, QLatin1Char('0'))
                                  : QString());
        insertBill_.bind(9, QString());
        insertBill_.bind(10, NumberText(dishes)).bind(11, NumberText(drinks)).bind(12, NumberText(others));
        insertBill_.bind(13, onAccount ? QStringLiteral("0") : FormatWhole(receivable * discount));
        insertBill_.run();
        insertBill_.reset();
        ++bills_;
    }

    inline static const QString kServed = QStringLiteral("√");
    inline static const QString kOnAccount = QStringLiteral("◆");

    Database& db_;
    const Options& options_;
    std::mt19937_64 random_;
    std::vector<GeneratedItem> menu_;
    QStringList customers_;
    QStringList tableNames_;
    Statement insertBill_;
    Statement insertLine_;
    qint64 bills_ = 0;
    qint64 lines_ = 0;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const std::optional<Options> options = parseOptions(QCoreApplication::arguments());
    if (!options) {
        usage();
        return 2;
    }
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(options->out + QString::fromLatin1(suffix));

    QElapsedTimer timer;
    timer.start();
    try {
        Database db(options->out, DatabasePassword());
        CreateSchema(db);
        // A generated file can be made again; durability of each batch does not matter here.
        db.exec("PRAGMA synchronous = OFF;");
        db.exec("PRAGMA cache_size = -65536;");
        Generator generator(db, *options);
        {
            Transaction transaction(db);
            generator.writeMenu();
            transaction.commit();
        }
        const QDate last = QDate::currentDate();
        const QDate first = last.addDays(1 - options->days);
        constexpr int kDaysPerBatch = 10;
        for (QDate from = first; from <= last; from = from.addDays(kDaysPerBatch)) {
            Transaction transaction(db);
            generator.writeDays(from, std::min(last, from.addDays(kDaysPerBatch - 1)),
                                first.addDays(options->days / 2));
            transaction.commit();
        }
        db.exec("PRAGMA wal_checkpoint(TRUNCATE);");
        std::printf("%lld bills, %lld lines from %s to %s\n", static_cast<long long>(generator.bills()),
                    static_cast<long long>(generator.lines()), qPrintable(DateText(first)),
                    qPrintable(DateText(last)));
    } catch (const StoreError& error) {
        std::fprintf(stderr, "cjgendata: %s\n", qPrintable(error.text()));
        return 1;
    }
    std::printf("file %s: %.1f MB, written in %.1f s\n", qPrintable(options->out),
                static_cast<double>(QFileInfo(options->out).size()) / (1024.0 * 1024.0),
                static_cast<double>(timer.elapsed()) / 1000.0);
    return 0;
}
