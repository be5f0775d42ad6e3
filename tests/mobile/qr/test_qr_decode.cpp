// Every kind of symbol the encoder makes must be read back by an outside decoder (zbarimg).
#include "mobile/qr/QRCode.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

const QByteArray kNothingFound = "<no code found>";
const QByteArray kAddress = "http://10.0.0.8:8212/phone/list.asp";
// Shift-JIS pairs, among them both lead byte ranges and the ends of the kanji area.
const QByteArray kShiftJisPairs = QByteArray::fromHex("935f8dd8" // 点菜
                                                      "9292"
                                                      "95b6" // 注文
                                                      "8140"
                                                      "9ffc"
                                                      "e040"
                                                      "eaa4");

enum class Kind { Numeric, Alphanumeric, Mixed, Kanji };

QByteArray Payload(Kind kind, int length) {
    QByteArray bytes;
    bytes.reserve(length);
    static const QByteArray alphanumeric = "HELLO WORLD 0123456789 $%*+-./:";
    for (int i = 0; bytes.size() < length; ++i) {
        switch (kind) {
        case Kind::Numeric:
            bytes.append(char('0' + (i * 7) % 10));
            break;
        case Kind::Alphanumeric:
            bytes.append(alphanumeric[i % alphanumeric.size()]);
            break;
        case Kind::Mixed: // every byte value, so all four modes appear
            bytes.append(char((i * 37 + i / 256) & 0xFF));
            break;
        case Kind::Kanji:
            bytes.append(kShiftJisPairs.mid((2 * i) % kShiftJisPairs.size(), 2));
            break;
        }
    }
    return bytes.left(kind == Kind::Kanji ? length & ~1 : length);
}

// The longest payload of this kind that the automatic choice still puts into the given version.
QByteArray FillVersion(Kind kind, int version, int level) {
    int low = 1;
    int high = clsQRCode::kMaxInputBytes;
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        const int chosen = clsQRCode::ChooseVersion(Payload(kind, middle), 0, level);
        if (chosen != 0 && chosen <= version) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return Payload(kind, low);
}

QString KindName(Kind kind) {
    switch (kind) {
    case Kind::Numeric:
        return QStringLiteral("numeric");
    case Kind::Alphanumeric:
        return QStringLiteral("alphanumeric");
    case Kind::Mixed:
        return QStringLiteral("mixed bytes");
    default:
        return QStringLiteral("kanji");
    }
}

} // namespace

class TestQrDecode : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyVersionAndLevel_data();
    void everyVersionAndLevel();
    void masksAtEveryLevel_data();
    void masksAtEveryLevel();
    void pageAddress();
    void fixedVersionSeven();
    void kanjiReadAsText();
    void sevenThousandDigits();
    void lowestPenaltyMask_data();
    void lowestPenaltyMask();

private:
    // Scales the picture up without smoothing, saves it and runs zbarimg; nothing when no code was found.
    std::optional<QByteArray> Decode(const QImage& picture, bool binary = true);

    QString zbarimg_;
    QTemporaryDir dir_;
    clsQRCode sharedCode_; // one encoder for the whole sweep, as a window keeps its own
    int fileCount_ = 0;
};

void TestQrDecode::initTestCase() {
    zbarimg_ = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
    QVERIFY(dir_.isValid());
}

std::optional<QByteArray> TestQrDecode::Decode(const QImage& picture, bool binary) {
    const QString file = dir_.filePath(QStringLiteral("symbol%1.png").arg(++fileCount_));
    const QImage scaled = picture.scaled(picture.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (!scaled.save(file)) {
        qWarning("cannot save %s", qPrintable(file));
        return std::nullopt;
    }
    QStringList arguments{QStringLiteral("--nodbus"), QStringLiteral("--raw"), QStringLiteral("-q")};
    if (binary) {
        arguments << QStringLiteral("-Sbinary"); // the bytes as stored, no character set guessing
    }
    arguments << file;
    QProcess process;
    process.start(zbarimg_, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        QFile::remove(file);
        return std::nullopt; // exit 4: no code found
    }
    QFile::remove(file);
    QByteArray output = process.readAllStandardOutput();
    if (!binary && output.endsWith('\n')) {
        output.chop(1);
    }
    return output;
}

#define REQUIRE_ZBAR()                                                                                       \
    if (zbarimg_.isEmpty())                                                                                  \
    QSKIP("zbarimg is not installed")

void TestQrDecode::everyVersionAndLevel_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("mask");
    QTest::addColumn<QByteArray>("bytes");
    const char* const levels = "LMQH";
    for (int version = 1; version <= 40; ++version) {
        for (int level = 1; level <= 4; ++level) {
            // Each version and level gets another kind of data and another mask.
            const auto kind = static_cast<Kind>((version + level) % 4);
            const int mask = (version * 3 + level) % 8;
            QTest::addRow("%d-%c %s mask %d", version, levels[level - 1], qPrintable(KindName(kind)), mask)
                << version << level << mask << FillVersion(kind, version, level);
        }
    }
}

void TestQrDecode::everyVersionAndLevel() {
    REQUIRE_ZBAR();
    QFETCH(int, version);
    QFETCH(int, level);
    QFETCH(int, mask);
    QFETCH(QByteArray, bytes);
    const QImage picture = sharedCode_.EncodeText(bytes, 0, level, mask);
    const int side = clsQRCode::SymbolSize(version) + 8;
    QCOMPARE(picture.size(), QSize(side, side));
    QCOMPARE(Decode(picture).value_or(kNothingFound), bytes);
}

void TestQrDecode::masksAtEveryLevel_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("mask");
    for (int level = 1; level <= 4; ++level) {
        for (int mask = 1; mask < 8; ++mask) {
            QTest::addRow("level %d mask %d", level, mask) << level << mask;
        }
    }
}

void TestQrDecode::masksAtEveryLevel() {
    REQUIRE_ZBAR();
    QFETCH(int, level);
    QFETCH(int, mask);
    clsQRCode code;
    QCOMPARE(Decode(code.EncodeText(kAddress, 0, level, mask)).value_or(kNothingFound), kAddress);
}

void TestQrDecode::pageAddress() {
    REQUIRE_ZBAR();
    clsQRCode code;
    const QImage picture = code.EncodeText(kAddress, 0, 2, -1);
    QCOMPARE(picture.size(), QSize(37, 37));
    QCOMPARE(Decode(picture, false).value_or(kNothingFound), kAddress);
    // No local address: the address still encodes.
    const QByteArray bare = "http://:8212/phone/list.asp";
    QCOMPARE(Decode(code.EncodeText(bare, 0, 2, -1), false).value_or(kNothingFound), bare);
}

void TestQrDecode::fixedVersionSeven() {
    REQUIRE_ZBAR();
    clsQRCode code;
    const QImage picture = code.EncodeText(kAddress, 7, 2, 0);
    QCOMPARE(picture.size(), QSize(53, 53));
    QCOMPARE(Decode(picture).value_or(kNothingFound), kAddress);
}

void TestQrDecode::kanjiReadAsText() {
    REQUIRE_ZBAR();
    clsQRCode code;
    const QByteArray shiftJis = QByteArray::fromHex("935f8dd8");
    QCOMPARE(clsQRCode::Segmentation(shiftJis, 1).front().mode, clsQRCode::kKanji);
    // zbarimg turns Shift-JIS into UTF-8 unless asked for the raw bytes.
    QCOMPARE(Decode(code.EncodeText(shiftJis, 0, 2, 0), false).value_or(kNothingFound),
             QStringLiteral("点菜").toUtf8());
    QCOMPARE(Decode(code.EncodeText(shiftJis, 0, 2, 0)).value_or(kNothingFound), shiftJis);
}

void TestQrDecode::sevenThousandDigits() {
    REQUIRE_ZBAR();
    clsQRCode code;
    const QByteArray digits = Payload(Kind::Numeric, 7000);
    const QImage picture = code.EncodeText(digits, 0, 1, 2);
    QCOMPARE(picture.size(), QSize(185, 185));
    QCOMPARE(Decode(picture).value_or(kNothingFound), digits);
}

void TestQrDecode::lowestPenaltyMask_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("level");
    QTest::addColumn<QByteArray>("bytes");
    const char* const levels = "LMQH";
    QTest::newRow("page address") << 0 << 2 << QByteArray("http://192.168.1.23:8212/phone/list.asp");
    QTest::newRow("guest address")
        << 0 << 2 << QByteArray("http://192.168.1.23:8212/phone/menu.asp?t=0f3c59a2d81e4b7c96e0a5d4c3b2a190");
    QTest::newRow("fixed version 7") << 7 << 3 << kAddress;
    for (const int version : {1, 4, 9, 10, 18, 27, 40}) {
        for (int level = 1; level <= 4; ++level) {
            const auto kind = static_cast<Kind>((version + level) % 4);
            QTest::addRow("%d-%c %s", version, levels[level - 1], qPrintable(KindName(kind)))
                << 0 << level << FillVersion(kind, version, level);
        }
    }
}

// Symbols with the mask the encoder chose are read back too, whatever the mask.
void TestQrDecode::lowestPenaltyMask() {
    REQUIRE_ZBAR();
    QFETCH(int, version);
    QFETCH(int, level);
    QFETCH(QByteArray, bytes);
    int mask = -1;
    const QImage picture = sharedCode_.EncodeTextBestMask(bytes, version, level, &mask);
    QVERIFY(mask >= 0 && mask < 8);
    QCOMPARE(Decode(picture).value_or(kNothingFound), bytes);
}

QTEST_GUILESS_MAIN(TestQrDecode)
#include "test_qr_decode.moc"
