// QR symbol construction: segmentation, version choice, codewords, function patterns, format and version
// information, the picture and refusals of bad input.
#include "common/QrMaskReference.h"
#include "mobile/qr/QRCode.h"
#include "mobile/qr/QRPicture.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

namespace {

const QByteArray kAddress = "http://10.0.0.8:8212/phone/list.asp";
const QByteArray kDianCaiShiftJis = QByteArray::fromHex("935f8dd8"); // 点菜
const QByteArray kGuestAddress = "http://192.168.1.23:8212/phone/menu.asp?t=9f86d081884c7d659a2feaa0c55ad015";

using Segment = clsQRCode::Segment;

struct Modules {
    int n = 0;
    std::vector<std::uint8_t> values;
    int at(int x, int y) const { return values[std::size_t(y) * n + x]; }
};

Modules Encode(const QByteArray& bytes, int version, int level, int mask) {
    clsQRCode code;
    Modules modules;
    modules.values = code.EncodeModules(bytes, version, level, mask);
    while (modules.n * modules.n < int(modules.values.size())) {
        ++modules.n;
    }
    return modules;
}

// The 15 format bits as read from the copy around the top-left finder and from the split copy.
QPair<int, int> ReadFormat(const Modules& m) {
    int first = 0;
    int second = 0;
    const auto put = [](int& word, int bit, int value) { word |= value << bit; };
    for (int i = 0; i <= 5; ++i) {
        put(first, i, m.at(8, i));
    }
    put(first, 6, m.at(8, 7));
    put(first, 7, m.at(8, 8));
    put(first, 8, m.at(7, 8));
    for (int i = 9; i < 15; ++i) {
        put(first, i, m.at(14 - i, 8));
    }
    for (int i = 0; i < 8; ++i) {
        put(second, i, m.at(m.n - 1 - i, 8));
    }
    for (int i = 8; i < 15; ++i) {
        put(second, i, m.at(8, m.n - 15 + i));
    }
    return {first, second};
}

QPair<int, int> ReadVersion(const Modules& m) {
    int topRight = 0;
    int bottomLeft = 0;
    for (int k = 0; k < 18; ++k) {
        topRight |= m.at(m.n - 11 + k % 3, k / 3) << k;
        bottomLeft |= m.at(k / 3, m.n - 11 + k % 3) << k;
    }
    return {topRight, bottomLeft};
}

bool HasFinder(const Modules& m, int left, int top) {
    for (int dy = 0; dy < 7; ++dy) {
        for (int dx = 0; dx < 7; ++dx) {
            const int ring = std::max(std::abs(dx - 3), std::abs(dy - 3));
            if (m.at(left + dx, top + dy) != (ring == 2 ? 0 : 1)) {
                return false;
            }
        }
    }
    return true;
}

bool HasAlignment(const Modules& m, int cx, int cy) {
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
            if (m.at(cx + dx, cy + dy) != (std::max(std::abs(dx), std::abs(dy)) == 1 ? 0 : 1)) {
                return false;
            }
        }
    }
    return true;
}

// Text of one kind: digits, upper-case alphanumerics, every byte value (all four modes appear), kanji pairs.
QByteArray Payload(int kind, int length) {
    static const QByteArray alphanumeric = "HELLO WORLD 0123456789 $%*+-./:";
    QByteArray bytes;
    for (int i = 0; bytes.size() < length; ++i) {
        switch (kind) {
        case clsQRCode::kNumeric:
            bytes.append(char('0' + (i * 7) % 10));
            break;
        case clsQRCode::kAlphanumeric:
            bytes.append(alphanumeric[i % alphanumeric.size()]);
            break;
        case clsQRCode::kKanji:
            bytes.append(kDianCaiShiftJis);
            break;
        default:
            bytes.append(char((i * 37 + i / 256) & 0xFF));
            break;
        }
    }
    return bytes.left(length);
}

QString ModeName(int kind) {
    static const char* const names[] = {"byte", "numeric", "alphanumeric", "kanji"};
    return QString::fromLatin1(names[kind]);
}

// n x n modules, row by row, from lines of '0' and '1'.
std::vector<std::uint8_t> FromLines(const QList<QByteArray>& lines) {
    std::vector<std::uint8_t> modules;
    for (const QByteArray& line : lines) {
        for (const char c : line) {
            modules.push_back(c == '1' ? 1 : 0);
        }
    }
    return modules;
}

// Random modules, half of them from pieces that make long runs and finder-like patterns likely.
std::vector<std::uint8_t> RandomModules(QRandomGenerator& random, int n) {
    static const QList<QByteArray> pieces{"1011101", "0000", "1", "0", "11111", "00000"};
    std::vector<std::uint8_t> modules;
    const bool patterned = random.bounded(2) == 0;
    while (int(modules.size()) < n * n) {
        if (!patterned) {
            modules.push_back(std::uint8_t(random.bounded(2)));
            continue;
        }
        for (const char c : pieces[random.bounded(int(pieces.size()))]) {
            modules.push_back(c == '1' ? 1 : 0);
        }
    }
    modules.resize(std::size_t(n) * n);
    return modules;
}

} // namespace

class TestQrSymbol : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sizes();
    void segmentation_data();
    void segmentation();
    void segmentsCutAtLargestCount();
    void versionChoice_data();
    void versionChoice();
    void dataCodewords();
    void formatAndVersionBits();
    void formatInformationInSymbol_data();
    void formatInformationInSymbol();
    void versionInformationFromSeven();
    void alignmentPatterns_data();
    void alignmentPatterns();
    void outOfRangeLevelAndMask();
    void addressPicture();
    void matrixToPicture();
    void badInput_data();
    void badInput();
    void penaltyOfKnownSymbols();
    void penaltyAgreesWithPlainScoring();
    void bestMaskAgreesWithEightSymbols_data();
    void bestMaskAgreesWithEightSymbols();
};

void TestQrSymbol::sizes() {
    QCOMPARE(clsQRCode::SymbolSize(3), 29);
    QCOMPARE(clsQRCode::RawModuleCount(1), 208);
    QCOMPARE(clsQRCode::RawModuleCount(2), 359);
    QCOMPARE(clsQRCode::RawModuleCount(7), 1568);
    QCOMPARE(clsQRCode::CodewordCount(40), 3706);
    QCOMPARE(clsQRCode::AlignmentCount(1), 0);
    QCOMPARE(clsQRCode::AlignmentCount(2), 1);
    QCOMPARE(clsQRCode::AlignmentCount(7), 6);
    QCOMPARE(clsQRCode::AlignmentCount(40), 46);
    QCOMPARE(clsQRCode::DataCodewordCount(1, clsQRCode::kLevelM), 16);
    QCOMPARE(clsQRCode::DataCodewordCount(3, clsQRCode::kLevelM), 44);
    QCOMPARE(clsQRCode::DataCodewordCount(40, clsQRCode::kLevelL), 2956);
    QCOMPARE(clsQRCode::DataCodewordCount(40, clsQRCode::kLevelH), 1276);
    // The block table leaves every version and level with data codewords that fill the blocks sensibly.
    for (int v = 1; v <= 40; ++v) {
        for (int level = 1; level <= 4; ++level) {
            const int blocks = clsQRCode::EccBlockCount(v, level);
            const int data = clsQRCode::DataCodewordCount(v, level);
            QVERIFY(blocks > 0 && data >= blocks);
            QVERIFY(data / blocks + clsQRCode::EccCodewordsPerBlock(v, level) <= 255);
            if (level > 1) {
                QVERIFY(data < clsQRCode::DataCodewordCount(v, level - 1));
            }
        }
    }
}

void TestQrSymbol::segmentation_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QList<Segment>>("segments");
    QTest::newRow("page address") << kAddress << 3 << 275 + 4
                                  << QList<Segment>{{clsQRCode::kByte, 0, 4, 4},
                                                    {clsQRCode::kAlphanumeric, 4, 17, 17},
                                                    {clsQRCode::kByte, 21, 14, 14}};
    QTest::newRow("eight digits") << QByteArray("01234567") << 1 << 41 + 4
                                  << QList<Segment>{{clsQRCode::kNumeric, 0, 8, 8}};
    QTest::newRow("HELLO WORLD") << QByteArray("HELLO WORLD") << 1 << 74 + 4
                                 << QList<Segment>{{clsQRCode::kAlphanumeric, 0, 11, 11}};
    QTest::newRow("digits then letters")
        << QByteArray("01234567890123456789abc") << 1 << 4 + 10 + 67 + 4 + 8 + 24 + 4
        << QList<Segment>{{clsQRCode::kNumeric, 0, 20, 20}, {clsQRCode::kByte, 20, 3, 3}};
    QTest::newRow("lower case is byte")
        << QByteArray("hello world") << 1 << 4 + 8 + 88 + 4 << QList<Segment>{{clsQRCode::kByte, 0, 11, 11}};
    QTest::newRow("kanji pairs") << kDianCaiShiftJis << 1 << 4 + 8 + 26 + 4
                                 << QList<Segment>{{clsQRCode::kKanji, 0, 4, 2}};
    QTest::newRow("kanji widths of version 27")
        << kDianCaiShiftJis << 27 << 4 + 12 + 26 + 4 << QList<Segment>{{clsQRCode::kKanji, 0, 4, 2}};
    QTest::newRow("not a kanji pair")
        << QByteArray::fromHex("EBC0") << 1 << 4 + 8 + 16 + 4 << QList<Segment>{{clsQRCode::kByte, 0, 2, 2}};
    QTest::newRow("empty") << QByteArray() << 1 << 4 << QList<Segment>{};
}

void TestQrSymbol::segmentation() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, version);
    QFETCH(int, bits);
    QFETCH(QList<Segment>, segments);
    QCOMPARE(clsQRCode::EncodeSegments(bytes, version), bits);
    const std::vector<Segment> actual = clsQRCode::Segmentation(bytes, version);
    QCOMPARE(QList<Segment>(actual.begin(), actual.end()), segments);
}

void TestQrSymbol::segmentsCutAtLargestCount() {
    const QByteArray text(300, 'x');
    const std::vector<Segment> small = clsQRCode::Segmentation(text, 9);
    QCOMPARE(small.size(), std::size_t(2));
    QCOMPARE(small[0], (Segment{clsQRCode::kByte, 0, 255, 255}));
    QCOMPARE(small[1], (Segment{clsQRCode::kByte, 255, 45, 45}));
    QCOMPARE(clsQRCode::EncodeSegments(text, 9), 2 * (4 + 8) + 300 * 8 + 4);
    QCOMPARE(clsQRCode::Segmentation(text, 10).size(), std::size_t(1));
    const QByteArray kanji = kDianCaiShiftJis.repeated(150); // 300 characters, 255 per segment below 10
    const std::vector<Segment> pairs = clsQRCode::Segmentation(kanji, 1);
    QCOMPARE(pairs.size(), std::size_t(2));
    QCOMPARE(pairs[0], (Segment{clsQRCode::kKanji, 0, 510, 255}));
    QCOMPARE(pairs[1], (Segment{clsQRCode::kKanji, 510, 90, 45}));
}

void TestQrSymbol::versionChoice_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("expected");
    QTest::newRow("address at M") << kAddress << 0 << 2 << 3;
    QTest::newRow("address above 40 is automatic") << kAddress << 41 << 2 << 3;
    QTest::newRow("address at H") << kAddress << 0 << 4 << 4;
    QTest::newRow("fixed larger version") << kAddress << 12 << 2 << 12;
    QTest::newRow("fixed version too small") << kAddress << 2 << 2 << 0;
    QTest::newRow("empty") << QByteArray() << 0 << 2 << 1;
    // 2953 bytes fill version 40-L; the terminator may be cut short.
    QTest::newRow("largest byte input") << QByteArray(2953, 'x') << 0 << 1 << 40;
    QTest::newRow("one byte too many") << QByteArray(2954, 'x') << 0 << 1 << 0;
    QTest::newRow("7089 digits") << QByteArray(7089, '7') << 0 << 1 << 40;
    QTest::newRow("7090 digits") << QByteArray(7090, '7') << 0 << 1 << 0;
    // 230 bytes fill version 9-L; one more needs version 10 with its 16-bit byte count.
    QTest::newRow("largest at version 9") << QByteArray(230, 'x') << 0 << 1 << 9;
    QTest::newRow("crossing into version 10") << QByteArray(231, 'x') << 0 << 1 << 10;
    QTest::newRow("negative") << kAddress << -1 << 2 << 0;
}

void TestQrSymbol::versionChoice() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, version);
    QFETCH(int, level);
    QFETCH(int, expected);
    QCOMPARE(clsQRCode::ChooseVersion(bytes, version, level), expected);
}

void TestQrSymbol::dataCodewords() {
    QCOMPARE(clsQRCode::DataCodewords("01234567", 1, clsQRCode::kLevelM).toHex().toUpper(),
             QByteArray("10200C566180EC11EC11EC11EC11EC11"));
    // Terminator and pad only.
    QCOMPARE(clsQRCode::DataCodewords(QByteArray(), 1, clsQRCode::kLevelM).toHex().toUpper(),
             QByteArray("00EC11EC11EC11EC11EC11EC11EC11EC"));
    // HELLO WORLD at 1-Q, the usual textbook example.
    QCOMPARE(clsQRCode::DataCodewords("HELLO WORLD", 1, clsQRCode::kLevelQ).toHex().toUpper(),
             QByteArray("205B0B78D172DC4D4340EC11EC"));
    // 41 digits take 151 of the 152 bits of version 1-L: the terminator is cut to one bit.
    const QByteArray digits = QByteArray("0123456789").repeated(5).left(41);
    const QByteArray full = clsQRCode::DataCodewords(digits, 1, clsQRCode::kLevelL);
    QCOMPARE(full.size(), 19);
    QCOMPARE(full.toHex().left(6).toUpper(), QByteArray("10A40C"));
    QCOMPARE(int(static_cast<unsigned char>(full.back()) & 1), 0);
    QVERIFY(clsQRCode::DataCodewords(digits + "0", 1, clsQRCode::kLevelL).isEmpty());
}

void TestQrSymbol::formatAndVersionBits() {
    QCOMPARE(clsQRCode::FormatBits(clsQRCode::kLevelM, 0), 0b101010000010010);
    QCOMPARE(clsQRCode::FormatBits(clsQRCode::kLevelL, 0), 0b111011111000100);
    QCOMPARE(clsQRCode::FormatBits(clsQRCode::kLevelH, 7), 0b000100000111011);
    QCOMPARE(clsQRCode::VersionBits(7), 0x07C94);
    QCOMPARE(clsQRCode::VersionBits(40), 0x28C69);
    QCOMPARE(clsQRCode::BchRemainder(7, 7973, 4096, 12), 0xC94);
}

void TestQrSymbol::formatInformationInSymbol_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("mask");
    for (int level = 1; level <= 4; ++level) {
        for (int mask = 0; mask < 8; ++mask) {
            QTest::addRow("level %d mask %d", level, mask) << level << mask;
        }
    }
}

// Both copies of the format information, the dark module and the three finders, at every level and mask.
void TestQrSymbol::formatInformationInSymbol() {
    QFETCH(int, level);
    QFETCH(int, mask);
    const Modules m = Encode("HELLO WORLD", 2, level, mask);
    QCOMPARE(m.n, 25);
    const auto [first, second] = ReadFormat(m);
    QCOMPARE(first, clsQRCode::FormatBits(level, mask));
    QCOMPARE(second, first);
    QCOMPARE(m.at(8, m.n - 8), 1);
    QVERIFY(HasFinder(m, 0, 0));
    QVERIFY(HasFinder(m, m.n - 7, 0));
    QVERIFY(HasFinder(m, 0, m.n - 7));
    for (int i = 8; i <= m.n - 9; ++i) {
        QCOMPARE(m.at(i, 6), i % 2 == 0 ? 1 : 0);
        QCOMPARE(m.at(6, i), i % 2 == 0 ? 1 : 0);
    }
}

void TestQrSymbol::versionInformationFromSeven() {
    const Modules six = Encode("1", 6, 2, 0);
    const Modules seven = Encode("1", 7, 2, 0);
    const Modules forty = Encode("1", 40, 2, 3);
    QCOMPARE(ReadVersion(seven), qMakePair(0x07C94, 0x07C94));
    QCOMPARE(ReadVersion(forty), qMakePair(0x28C69, 0x28C69));
    QVERIFY(ReadVersion(six).first != clsQRCode::VersionBits(6)); // data modules, not version bits
}

void TestQrSymbol::alignmentPatterns_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<QList<int>>("centres");
    // Centre coordinates as tabulated for the standard.
    QTest::newRow("2") << 2 << QList<int>{6, 18};
    QTest::newRow("7") << 7 << QList<int>{6, 22, 38};
    QTest::newRow("14") << 14 << QList<int>{6, 26, 46, 66};
    QTest::newRow("21") << 21 << QList<int>{6, 28, 50, 72, 94};
    QTest::newRow("32") << 32 << QList<int>{6, 34, 60, 86, 112, 138};
    QTest::newRow("36") << 36 << QList<int>{6, 24, 50, 76, 102, 128, 154};
    QTest::newRow("40") << 40 << QList<int>{6, 30, 58, 86, 114, 142, 170};
}

void TestQrSymbol::alignmentPatterns() {
    QFETCH(int, version);
    QFETCH(QList<int>, centres);
    const Modules m = Encode("ALIGN", version, 1, 5);
    QCOMPARE(m.n, clsQRCode::SymbolSize(version));
    const int last = centres.last();
    for (const int cy : centres) {
        for (const int cx : centres) {
            const bool finder = (cx == 6 && cy == 6) || (cx == 6 && cy == last) || (cx == last && cy == 6);
            if (!finder) {
                QVERIFY2(HasAlignment(m, cx, cy), qPrintable(QStringLiteral("(%1, %2)").arg(cx).arg(cy)));
            }
        }
    }
}

void TestQrSymbol::outOfRangeLevelAndMask() {
    const Modules standard = Encode(kAddress, 0, 2, 0);
    QCOMPARE(Encode(kAddress, 0, 9, -1).values, standard.values);
    QCOMPARE(Encode(kAddress, 0, 0, 8).values, standard.values);
    QVERIFY(Encode(kAddress, 0, 2, 1).values != standard.values);
}

void TestQrSymbol::addressPicture() {
    clsQRCode code;
    const QImage picture = code.EncodeText(kAddress, 0, 2, -1);
    QCOMPARE(picture.size(), QSize(37, 37));
    const Modules m = Encode(kAddress, 0, 2, 0);
    QCOMPARE(m.n, 29);
    for (int y = 0; y < 37; ++y) {
        for (int x = 0; x < 37; ++x) {
            const bool inside = x >= 4 && y >= 4 && x < 33 && y < 33;
            const QRgb expected = inside && m.at(x - 4, y - 4) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            QCOMPARE(picture.pixel(x, y), expected);
        }
    }
}

void TestQrSymbol::matrixToPicture() {
    const std::vector<std::uint8_t> one{1, 0, 0, 0};
    const QImage picture = MatrixToPicture(one, 4, 1, 4, 4, 1, 1);
    QCOMPARE(picture.size(), QSize(9, 6));
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 9; ++x) {
            QCOMPARE(picture.pixel(x, y), (x == 4 && y == 4) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    const std::vector<std::uint8_t> palette{2, 3, 255, 0};
    const QImage colours = MatrixToPicture(palette, 2, 2, 0, 0, 0, 0);
    QCOMPARE(colours.pixel(0, 0), qRgb(128, 128, 128));
    QCOMPARE(colours.pixel(1, 0), qRgb(0, 0, 0));
    QCOMPARE(colours.pixel(0, 1), qRgb(0, 0, 0));
    QCOMPARE(colours.pixel(1, 1), qRgb(255, 255, 255));
    // Rows are packed whatever the width, and bad arguments give no picture.
    const std::vector<std::uint8_t> odd{0, 1, 0, 1, 0, 0};
    const QImage packed = MatrixToPicture(odd, 3, 2, 0, 0, 0, 0);
    QCOMPARE(packed.pixel(1, 0), qRgb(0, 0, 0));
    QCOMPARE(packed.pixel(0, 1), qRgb(0, 0, 0));
    QVERIFY(MatrixToPicture(one, 4, 2, 0, 0, 0, 0).isNull());
    QVERIFY(MatrixToPicture(one, 4, 1, -1, 0, 0, 0).isNull());
    QVERIFY(MatrixToPicture(one, 0, 1, 0, 0, 0, 0).isNull());
}

void TestQrSymbol::badInput_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("level");
    QTest::newRow("7000 bytes of text") << QByteArray(7000, 'z') << 0 << 1;
    QTest::newRow("7000 kanji bytes") << kDianCaiShiftJis.repeated(1750) << 0 << 1;
    QTest::newRow("too much for 40-H") << QByteArray(1300, 'z') << 0 << 4;
    QTest::newRow("a megabyte") << QByteArray(1 << 20, '1') << 0 << 1;
    QTest::newRow("negative version") << kAddress << -5 << 2;
    QTest::newRow("fixed version too small") << kAddress << 1 << 2;
    QTest::newRow("7000 bytes at fixed 40") << QByteArray(7000, 'z') << 40 << 1;
}

void TestQrSymbol::badInput() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, version);
    QFETCH(int, level);
    clsQRCode code;
    QVERIFY(code.EncodeText(bytes, version, level, 0).isNull());
    QVERIFY(code.EncodeModules(bytes, version, level, 0).empty());
    int mask = 0;
    QVERIFY(code.EncodeTextBestMask(bytes, version, level, &mask).isNull());
    QCOMPARE(mask, -1);
    mask = 0;
    QVERIFY(code.EncodeModulesBestMask(bytes, version, level, &mask).empty());
    QCOMPARE(mask, -1);
    // The same object still encodes afterwards.
    QCOMPARE(code.EncodeText(kAddress, 0, 2, 0).size(), QSize(37, 37));
    QCOMPARE(code.EncodeTextBestMask(kAddress, 0, 2).size(), QSize(37, 37));
}

// Scores worked out by hand.
void TestQrSymbol::penaltyOfKnownSymbols() {
    // One colour: 42 lines with a run of 21 (19 each), 400 blocks and a dark share 50 % away.
    QCOMPARE(clsQRCode::Penalty(std::vector<std::uint8_t>(21 * 21, 0), 21), 42 * 19 + 400 * 3 + 100);
    QCOMPARE(clsQRCode::Penalty(std::vector<std::uint8_t>(21 * 21, 1), 21), 42 * 19 + 400 * 3 + 100);
    std::vector<std::uint8_t> checkerboard(21 * 21);
    for (std::size_t i = 0; i < checkerboard.size(); ++i) {
        checkerboard[i] = (i % 21 + i / 21) % 2 == 0;
    }
    QCOMPARE(clsQRCode::Penalty(checkerboard, 21), 0);
    // One finder-like row with light on both sides counts once: runs 182 in the other rows, 104 in the
    // light columns, 5 x 10 in the columns it crosses dark and 2 x 13 where it is light; 180 blocks; the
    // dark share of 2 % is 9 whole steps away.
    QList<QByteArray> lines(15, QByteArray(15, '0'));
    lines[7] = "000010111010000";
    QCOMPARE(clsQRCode::Penalty(FromLines(lines), 15), 182 + 104 + 50 + 26 + 180 * 3 + 40 + 90);
    // The symbol's edge counts as light: a pattern filling a column of a checkerboard scores alone.
    QList<QByteArray> edge;
    const QByteArray column = "1011101";
    for (int row = 0; row < 7; ++row) {
        edge.append(column.mid(row, 1) + QByteArray(row % 2 == 0 ? "101010" : "010101"));
    }
    QCOMPARE(clsQRCode::Penalty(FromLines(edge), 7), 40);
    // Refused sizes.
    QCOMPARE(clsQRCode::Penalty(std::vector<std::uint8_t>(177 * 177 - 1, 0), 177), -1);
    QCOMPARE(clsQRCode::Penalty(std::vector<std::uint8_t>(178 * 178, 0), 178), -1);
    QCOMPARE(clsQRCode::Penalty({}, 0), -1);
}

// The packed scoring gives the module-by-module score on random symbols of every width, across the word
// boundaries of the packed lines, and on real symbols with every mask.
void TestQrSymbol::penaltyAgreesWithPlainScoring() {
    QRandomGenerator random(20240611);
    for (const int n : {1,  2,  6,  7,   11,  21,  25,  29,  45,  52,  55,  56, 57,
                        60, 64, 69, 101, 116, 119, 120, 121, 125, 128, 157, 177}) {
        for (int trial = 0; trial < 6; ++trial) {
            const std::vector<std::uint8_t> modules = RandomModules(random, n);
            QCOMPARE(clsQRCode::Penalty(modules, n), QrMaskReference::Penalty(modules, n));
        }
    }
    for (int mask = 0; mask < 8; ++mask) {
        const Modules symbol = Encode(kGuestAddress, 7, clsQRCode::kLevelQ, mask);
        QCOMPARE(clsQRCode::Penalty(symbol.values, symbol.n),
                 QrMaskReference::Penalty(symbol.values, symbol.n));
    }
}

void TestQrSymbol::bestMaskAgreesWithEightSymbols_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("level");
    const char* const levels = "LMQH";
    for (int level = 1; level <= 4; ++level) {
        QTest::addRow("page address %c", levels[level - 1]) << kAddress << 0 << level;
        QTest::addRow("guest address %c", levels[level - 1]) << kGuestAddress << 0 << level;
        for (int mode = 0; mode < 4; ++mode) {
            for (const int length : {6, 90, 700}) {
                QTest::addRow("%s %d %c", qPrintable(ModeName(mode)), length, levels[level - 1])
                    << Payload(mode, length) << 0 << level;
            }
        }
    }
    QTest::newRow("empty") << QByteArray() << 0 << 2;
    QTest::newRow("1,400 bytes, version 27-L") << Payload(clsQRCode::kByte, 1400) << 0 << 1;
    QTest::newRow("5,000 digits, version 34-L") << Payload(clsQRCode::kNumeric, 5000) << 0 << 1;
    for (const int version : {1, 2, 6, 7, 9, 10, 13, 14, 20, 21, 26, 27, 33, 40}) {
        const int level = version % 4 + 1;
        QTest::addRow("fixed version %d-%c", version, levels[level - 1])
            << kGuestAddress.left(14) << version << level;
    }
}

// The lowest-penalty entry chooses the same mask and makes the same symbol as encoding all eight masks
// whole and scoring each; the picture is the fixed-mask picture of that mask.
void TestQrSymbol::bestMaskAgreesWithEightSymbols() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, version);
    QFETCH(int, level);
    clsQRCode code;
    const QrMaskReference::Choice expected = QrMaskReference::BestMask(code, bytes, version, level);
    QVERIFY(expected.mask >= 0);
    int mask = -1;
    QCOMPARE(code.EncodeModulesBestMask(bytes, version, level, &mask), expected.modules);
    QCOMPARE(mask, expected.mask);
    mask = -1;
    const QImage picture = code.EncodeTextBestMask(bytes, version, level, &mask);
    QCOMPARE(mask, expected.mask);
    QCOMPARE(picture, code.EncodeText(bytes, version, level, expected.mask));
}

QTEST_APPLESS_MAIN(TestQrSymbol)
#include "test_qr_symbol.moc"
