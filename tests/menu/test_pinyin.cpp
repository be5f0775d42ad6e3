#include "menu/Pinyin.h"
#include "menu/PinyinLists.h"

#include <QSet>
#include <QTest>
#include <iconv.h>

namespace {

// GBK code of one BMP character through glibc's converter, or 0 when GBK has no two-byte code for it.
class GbkEncoder {
public:
    GbkEncoder() : cd_(iconv_open("GBK", "UTF-16LE")) {}
    ~GbkEncoder() {
        if (cd_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd_);
    }
    GbkEncoder(const GbkEncoder&) = delete;
    GbkEncoder& operator=(const GbkEncoder&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    int code(char16_t character) {
        char in[2] = {static_cast<char>(character & 0xFF), static_cast<char>(character >> 8)};
        unsigned char out[4] = {};
        char* inPtr = in;
        char* outPtr = reinterpret_cast<char*>(out);
        size_t inLeft = sizeof in;
        size_t outLeft = sizeof out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1))
            return 0;
        return sizeof out - outLeft == 2 && out[0] >= 0x81 ? (out[0] << 8 | out[1]) : 0;
    }

private:
    iconv_t cd_;
};

QString listOf(char letter) {
    for (const PinyinLetterList& list : PinyinLetterLists())
        if (list.letter == letter)
            return QString::fromUtf16(list.characters.data(), list.characters.size());
    return {};
}

} // namespace

class PinyinTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initials_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("initials");
        QTest::newRow("common dish") << "宫保鸡丁"
                                     << "gbjd";
        QTest::newRow("参 gives s") << "海参"
                                    << "hs";
        QTest::newRow("stops at the blank") << "可乐 大瓶"
                                            << "kl";
        QTest::newRow("一 kept in the y list") << "一品锅"
                                               << "ypg";
        QTest::newRow("意 by the range rule") << "意大利面"
                                              << "ydlm";
        QTest::newRow("鱼香肉丝") << "鱼香肉丝"
                                  << "yxrs";
        QTest::newRow("letters and digit") << "Coke2"
                                           << "coke2";
        QTest::newRow("upper case") << "ZZ"
                                    << "zz";
        QTest::newRow("brackets give nothing") << "青岛啤酒(大)"
                                               << "qdpjd";
        QTest::newRow("leading blank") << " 宫保鸡丁"
                                       << "";
        QTest::newRow("empty") << ""
                               << "";
        // Beyond the table: punctuation of GBK, characters GBK lacks, characters outside the BMP.
        QTest::newRow("full-width brackets") << "【特价】鱼"
                                             << "tjy";
        QTest::newRow("not in GBK") << "한국"
                                    << "";
        QTest::newRow("outside the BMP") << "𠀀饭"
                                         << "f";
        QTest::newRow("braces and hyphen") << "{大}份-2"
                                           << "df2";
    }
    void initials() {
        QFETCH(QString, name);
        QFETCH(QString, initials);
        QCOMPARE(PinyinInitials(name), initials);
    }

    void initialOfChar_data() {
        QTest::addColumn<QString>("character");
        QTest::addColumn<QString>("initial");
        QTest::newRow("digit") << "7"
                               << "7";
        QTest::newRow("capital") << "A"
                                 << "a";
        QTest::newRow("blank") << " "
                               << "";
        QTest::newRow("ASCII punctuation") << "("
                                           << "";
        QTest::newRow("参 keeps its c here") << "参"
                                             << "c";
        QTest::newRow("range rule is not part of it") << "意"
                                                      << "";
        QTest::newRow("traditional") << "鍋"
                                     << "g";
        QTest::newRow("full-width digit") << "１"
                                          << "";
        QTest::newRow("empty text") << ""
                                    << "";
    }
    void initialOfChar() {
        QFETCH(QString, character);
        QFETCH(QString, initial);
        QCOMPARE(InitialOfChar(character), initial);
    }

    // 意 stands in no list; only its GBK code, between 压 and 匝, gives it a y.
    void rangeRule() {
        for (const PinyinLetterList& list : PinyinLetterLists())
            QVERIFY(list.characters.find(u'意') == std::u16string_view::npos);
        GbkEncoder gbk;
        QVERIFY(gbk.valid());
        const int code = gbk.code(u'意');
        QVERIFY(code >= 0xD1B9 && code < 0xD4D1);
        QCOMPARE(PinyinInitials(QStringLiteral("意")), QStringLiteral("y"));
        // Just outside the range on both sides, characters keep their list letters.
        QCOMPARE(gbk.code(u'压'), 0xD1B9);
        QCOMPARE(gbk.code(u'匝'), 0xD4D1);
        QCOMPARE(PinyinInitials(QStringLiteral("匝")), QStringLiteral("z"));
    }

    // The built-in range text holds exactly the GBK characters of the code range.
    void rangeCharactersMatchTheirCodes() {
        GbkEncoder gbk;
        QVERIFY(gbk.valid());
        const std::u16string_view range = PinyinYRangeCharacters();
        int previous = 0;
        for (const char16_t character : range) {
            const int code = gbk.code(character);
            QVERIFY2(code >= 0xD1B9 && code < 0xD4D1, qPrintable(QString(QChar(character))));
            QVERIFY(code > previous);
            previous = code;
        }
        int expected = 0;
        for (int code = 0xD1B9; code < 0xD4D1; ++code)
            expected += (code & 0xFF) >= 0x40 && (code & 0xFF) != 0x7F && (code & 0xFF) != 0xFF;
        QCOMPARE(static_cast<int>(range.size()), expected);
    }

    // 大 stands in the d and the t list; the first list in search order gives its letter.
    void firstListWins() {
        QVERIFY(listOf('d').contains(u'大'));
        QVERIFY(listOf('t').contains(u'大'));
        QCOMPARE(InitialOfChar(QStringLiteral("大")), QStringLiteral("d"));
    }

    void listsHoldOnlyGbkCharacters() {
        GbkEncoder gbk;
        QVERIFY(gbk.valid());
        const auto& lists = PinyinLetterLists();
        QByteArray letters;
        QSet<char16_t> distinct;
        for (const PinyinLetterList& list : lists) {
            letters.append(list.letter);
            QVERIFY(!list.characters.empty());
            for (const char16_t character : list.characters) {
                QVERIFY2(gbk.code(character) != 0, qPrintable(QString(QChar(character))));
                distinct.insert(character);
            }
        }
        QCOMPARE(letters, QByteArray("abcdefghjklmnopqrstwxyz"));
        // Nearly all Chinese characters of GBK.
        QVERIFY(distinct.size() > 20000);
    }

    // Of the characters read yi only 一 and 伊 stand in the y list.
    void yListLeavesOutYi() {
        const QString y = listOf('y');
        QVERIFY(y.contains(u'一'));
        QVERIFY(y.contains(u'伊'));
        for (const char16_t character : {u'意', u'衣', u'医', u'以', u'亿', u'艺'})
            QVERIFY(!y.contains(QChar(character)));
    }
};

QTEST_APPLESS_MAIN(PinyinTest)
#include "test_pinyin.moc"
