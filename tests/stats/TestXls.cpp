#include "common/TestHome.h"
#include "common/XlsReadBack.h"

#include "stats/ItemSales.h"
#include "stats/XlsWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

ItemSalesRow row(const char* name, const char* quantity, const char* unit, const char* amount) {
    return {QString::fromUtf8(name), QString::fromUtf8(quantity), QString::fromUtf8(unit),
            QString::fromUtf8(amount)};
}

} // namespace

class TestXls : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void itemSalesReadBack();
    void longStringTableReadBack();
    void failedWriteIsReported();
    void libreOfficeReadsIt();

private:
    TestHome home_;
    const std::vector<ItemSalesRow> rows_{row("可乐", "12.5", "瓶", "63"),
                                          row("O'Brien's 黑啤", "3", "瓶", "45"),
                                          row("[招牌]红烧肉", "2", "份", "0"), row("合计", "", "", "108")};
};

void TestXls::initTestCase() {
    if (!xlrdAvailable())
        QSKIP("/usr/bin/python3 with xlrd is not installed");
}

void TestXls::itemSalesReadBack() {
    const QString path = home_.path(QStringLiteral("销售.xls"));
    QCOMPARE(ExportItemSales(path, rows_), QString());
    const QJsonObject sheet = readBack(path);
    QCOMPARE(sheet.value(QStringLiteral("sheets")).toInt(), 1);
    QCOMPARE(sheet.value(QStringLiteral("log")).toString(),
             QString()); // the reader had nothing to complain about

    const QJsonArray values = sheet.value(QStringLiteral("values")).toArray();
    QCOMPARE(values.size(), 5); // the trailing formatted row holds no cell
    const auto cell = [&values](int r, int c) { return values.at(r).toArray().at(c); };
    QCOMPARE(values.at(0).toArray(), (QJsonArray{"名称", "数量", "单位", "销售金额"}));
    QCOMPARE(cell(1, 0).toString(), QStringLiteral("可乐"));
    QCOMPARE(cell(1, 1).toDouble(), 12.5);
    QCOMPARE(cell(1, 2).toString(), QStringLiteral("瓶"));
    QCOMPARE(cell(1, 3).toDouble(), 63.0);
    QCOMPARE(cell(2, 0).toString(), QStringLiteral("O'Brien's 黑啤"));
    QCOMPARE(cell(3, 0).toString(), QStringLiteral("[招牌]红烧肉"));
    QCOMPARE(cell(3, 3).toDouble(), 0.0); // "0" stays in the file
    QCOMPARE(cell(4, 0).toString(), QStringLiteral("合计"));
    QCOMPARE(cell(4, 1).toString(), QString());
    QCOMPARE(cell(4, 3).toDouble(), 108.0);

    const QJsonArray types = sheet.value(QStringLiteral("types")).toArray();
    QCOMPARE(types.at(1).toArray(), (QJsonArray{kText, kNumber, kText, kNumber}));
    QCOMPARE(types.at(4).toArray().at(3).toInt(), kNumber);

    const QJsonArray bold = sheet.value(QStringLiteral("bold")).toArray();
    const QJsonArray sizes = sheet.value(QStringLiteral("sizes")).toArray();
    for (int r = 0; r < values.size(); ++r) {
        for (int c = 0; c < 4; ++c) {
            if (types.at(r).toArray().at(c).toInt() == 0)
                continue; // empty cell
            QCOMPARE(bold.at(r).toArray().at(c).toInt(), r == 0 ? 1 : 0);
            QCOMPARE(sizes.at(r).toArray().at(c).toInt(), 200); // 10 points in twips
        }
    }
    // Header, four result rows and the formatted row after them: 20 points each.
    QCOMPARE(sheet.value(QStringLiteral("heights")).toArray(), (QJsonArray{400, 400, 400, 400, 400, 400}));

    const QJsonArray widths = sheet.value(QStringLiteral("widths")).toArray();
    QCOMPARE(widths.size(), 4);
    // "O'Brien's 黑啤" is 14 character cells, "单位" and "瓶" 4 and 2.
    QVERIFY(widths.at(0).toInt() >= 14 * 256);
    QVERIFY(widths.at(0).toInt() > widths.at(2).toInt());
    QVERIFY(widths.at(3).toInt() >= 8 * 256); // 销售金额
}

void TestXls::longStringTableReadBack() {
    // More text than one record holds: the shared strings continue over several records.
    XlsSheet sheet;
    for (int r = 0; r < 600; ++r)
        sheet.rows.append(
            {XlsCell::label(QStringLiteral("第%1号菜品名称很长很长很长很长很长很长很长很长很长很长").arg(r)),
             XlsCell::number(r + 0.25)});
    const QString path = home_.path(QStringLiteral("long.xls"));
    QCOMPARE(WriteXls(path, sheet), QString());
    const QJsonArray values = readBack(path).value(QStringLiteral("values")).toArray();
    QCOMPARE(values.size(), 600);
    for (int r = 0; r < 600; ++r) {
        QCOMPARE(values.at(r).toArray().at(0).toString(), sheet.rows.at(r).at(0).content);
        QCOMPARE(values.at(r).toArray().at(1).toDouble(), r + 0.25);
    }
}

void TestXls::failedWriteIsReported() {
    const QString path = home_.path(QStringLiteral("no such folder/销售.xls"));
    const QString failure = ExportItemSales(path, rows_);
    QVERIFY(!failure.isEmpty());
    QVERIFY(!QFile::exists(path));
    // The message names the file the user chose, never the writer's temporary file beside it.
    QVERIFY2(failure.contains(QDir::toNativeSeparators(path)), qPrintable(failure));
    QVERIFY2(!failure.contains(QStringLiteral(".gsf-save")), qPrintable(failure));
}

void TestXls::libreOfficeReadsIt() {
    QString office = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    if (office.isEmpty())
        office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty())
        QSKIP("LibreOffice is not installed");
    const QString folder = home_.path(QStringLiteral("office"));
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/sales.xls");
    QCOMPARE(ExportItemSales(path, rows_), QString());
    QProcess convert;
    convert.start(office,
                  {QStringLiteral("--headless"),
                   QStringLiteral("-env:UserInstallation=file://") + folder + QStringLiteral("/profile"),
                   QStringLiteral("--convert-to"), QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
                   QStringLiteral("--outdir"), folder, path});
    QVERIFY(convert.waitForFinished(120000));
    QFile csv(folder + QStringLiteral("/sales.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0).trimmed(), QStringLiteral("名称,数量,单位,销售金额"));
    QCOMPARE(lines.value(1).trimmed(), QStringLiteral("可乐,12.5,瓶,63"));
    QCOMPARE(lines.value(2).trimmed(), QStringLiteral("O'Brien's 黑啤,3,瓶,45"));
    QCOMPARE(lines.value(3).trimmed(), QStringLiteral("[招牌]红烧肉,2,份,0"));
    QCOMPARE(lines.value(4).trimmed(), QStringLiteral("合计,,,108"));
}

QTEST_GUILESS_MAIN(TestXls)
#include "TestXls.moc"
