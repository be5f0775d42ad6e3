// The printed sheet of table codes, rendered to PDF, rasterised and read back with zbarimg.

#include "common/QrMaskReference.h"
#include "common/TestHome.h"
#include "mobile/CodeSheet.h"
#include "mobile/TableTokens.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/StoreError.h"

#include <QCryptographicHash>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

namespace {

constexpr int kRasterDpi = 150;

QStringList decode(const QString& image) {
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"),
               {QStringLiteral("--raw"), QStringLiteral("-q"), QStringLiteral("-Sdisable"),
                QStringLiteral("-Sqrcode.enable"), image});
    if (!zbar.waitForFinished(30000))
        zbar.kill();
    return QString::fromUtf8(zbar.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestCodeSheet : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sheetDecodesToEachTable_data();
    void sheetDecodesToEachTable();
    void symbolHasLowestPenaltyMask_data();
    void symbolHasLowestPenaltyMask();

private:
    void sheetDecodes();
};

void TestCodeSheet::sheetDecodesToEachTable_data() {
    QTest::addColumn<int>("resolution");
    QTest::addColumn<bool>("fixedTokens");
    QTest::newRow("300 dpi") << 300 << false;
    QTest::newRow("600 dpi") << 600 << false;
    QTest::newRow("300 dpi, known tokens") << 300 << true;
    QTest::newRow("600 dpi, known tokens") << 600 << true;
}

void TestCodeSheet::sheetDecodesToEachTable() {
    try {
        sheetDecodes();
    } catch (const StoreError& error) {
        QFAIL(qPrintable(error.text()));
    }
}

void TestCodeSheet::sheetDecodes() {
    QFETCH(int, resolution);
    QFETCH(bool, fixedTokens);
    for (const char* tool : {"zbarimg", "pdftoppm", "pdftotext"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool))));
    TestHome home;
    auto db = home.createDatabase();
    if (fixedTokens) {
        Statement insert(*db, "INSERT INTO \"桌台令牌\" (\"编号\", \"令牌\") VALUES (?, ?)");
        const QStringList keys = SettingsStore(*db).tableKeys();
        for (const QString& key : keys) {
            const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Md5);
            insert.bind(1, key).bind(2, QString::fromLatin1(hash.toHex()));
            insert.run();
            insert.reset();
        }
    }
    const QList<TableCode> codes = CodeSheet::TableCodes(*db, QStringLiteral("192.168.1.20"));
    const QStringList names = SettingsStore(*db).tableList();
    QCOMPARE(codes.size(), names.size());
    QVERIFY(codes.size() > CodeSheet::kColumns * CodeSheet::kRows); // more than one page

    const QString pdf = home.path(QStringLiteral("codes.pdf"));
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(resolution);
        QPainter painter(&writer);
        CodeSheet::Paint(painter, writer, codes);
    }
    QProcess raster;
    raster.start(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-r"), QString::number(kRasterDpi), QStringLiteral("-png"), pdf,
                  home.path(QStringLiteral("page"))});
    QVERIFY(raster.waitForFinished(60000));
    QCOMPARE(raster.exitCode(), 0);

    // Every code of every page, read from the whole page.
    constexpr int perPage = CodeSheet::kColumns * CodeSheet::kRows;
    const int pages = (static_cast<int>(codes.size()) + perPage - 1) / perPage;
    QStringList decoded;
    for (int page = 1; page <= pages; ++page) {
        const QString image = home.path(QStringLiteral("page-%1.png").arg(page));
        QVERIFY2(QFile::exists(image), qPrintable(image));
        decoded += decode(image);
    }
    QStringList expected;
    for (const TableCode& code : codes) {
        expected.append(code.address);
        QVERIFY(code.address.startsWith(QLatin1String("http://192.168.1.20:8212/phone/menu.asp?t=")));
        QVERIFY(TableTokens::KeyForToken(*db, code.address.section(QLatin1Char('='), 1)));
    }
    decoded.sort();
    expected.sort();
    if (fixedTokens) {
        QCOMPARE(decoded, expected);
    } else {
        // zbarimg reading a whole page of twelve codes now and then passes over one or two that it reads
        // alone (about one random token set in twenty); what it reads must be right and read once, and
        // every code is read in its own place below.
        QCOMPARE(QSet<QString>(decoded.cbegin(), decoded.cend()).size(), decoded.size());
        for (const QString& address : decoded)
            QVERIFY2(expected.contains(address), qPrintable(address));
    }

    // Each place on the sheet holds its own table's code, with that table's name in it.
    const double pxPerMm = kRasterDpi / 25.4;
    const int margin = static_cast<int>(CodeSheet::kMarginMm * pxPerMm);
    for (int i = 0; i < codes.size(); ++i) {
        const QImage page(home.path(QStringLiteral("page-%1.png").arg(i / perPage + 1)));
        const int cellWidth = (page.width() - 2 * margin) / CodeSheet::kColumns;
        const int cellHeight = (page.height() - 2 * margin) / CodeSheet::kRows;
        const int place = i % perPage;
        const QString cell = home.path(QStringLiteral("cell-%1.png").arg(i));
        QVERIFY(page.copy(margin + (place % CodeSheet::kColumns) * cellWidth,
                          margin + (place / CodeSheet::kColumns) * cellHeight, cellWidth, cellHeight)
                    .save(cell));
        QCOMPARE(decode(cell), QStringList{codes.at(i).address});
        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-f"), QString::number(i / perPage + 1), QStringLiteral("-l"),
                    QString::number(i / perPage + 1), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        // Compatibility forms: the font may map a character to its radical (U+2F24 for 大).
        const QString shown =
            QString::fromUtf8(text.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
        QVERIFY2(shown.contains(names.at(i)), qPrintable(names.at(i)));
    }
}

void TestCodeSheet::symbolHasLowestPenaltyMask_data() {
    QTest::addColumn<QString>("address");
    QTest::newRow("page address") << QStringLiteral("http://192.168.1.23:8212/phone/list.asp");
    QTest::newRow("no local address") << QStringLiteral("http://:8212/phone/list.asp");
    for (const char* key : {"1", "2", "12", "A08", "VIP3"}) {
        const QByteArray token = QCryptographicHash::hash(key, QCryptographicHash::Md5).toHex();
        QTest::addRow("guest code %s", key)
            << TableTokens::GuestAddress(QStringLiteral("192.168.1.23"), QString::fromLatin1(token));
    }
}

// The window's code is the level-M symbol with the mask that scoring all eight whole symbols picks, and
// zbarimg reads it.
void TestCodeSheet::symbolHasLowestPenaltyMask() {
    QFETCH(QString, address);
    const QByteArray bytes = address.toLatin1();
    clsQRCode encoder;
    const QrMaskReference::Choice expected = QrMaskReference::BestMask(encoder, bytes, 0, clsQRCode::kLevelM);
    QVERIFY(expected.mask >= 0);
    const QImage symbol = CodeSheet::Symbol(bytes);
    QCOMPARE(symbol, encoder.EncodeText(bytes, 0, clsQRCode::kLevelM, expected.mask));

    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
        QSKIP("zbarimg is not installed");
    TestHome home;
    const QString file = home.path(QStringLiteral("symbol.png"));
    QVERIFY(symbol.scaled(symbol.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(file));
    QCOMPARE(decode(file), QStringList{address});
}

QTEST_MAIN(TestCodeSheet)
#include "test_code_sheet.moc"
