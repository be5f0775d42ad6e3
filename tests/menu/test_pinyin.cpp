#include "menu/Pinyin.h"
#include "menu/PinyinLists.h"

#include <QHash>
#include <QSet>
#include <QTest>
#include <algorithm>
#include <iconv.h>

namespace {

// One glibc converter between two encodings, open for the object's lifetime.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // The converted bytes, or empty when the input has no conversion.
    QByteArray convert(QByteArray in) {
        char out[8] = {};
        char* inPtr = in.data();
        char* outPtr = out;
        size_t inLeft = static_cast<size_t>(in.size());
        size_t outLeft = sizeof out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
            return {};
        return QByteArray(out, static_cast<qsizetype>(sizeof out - outLeft));
    }

private:
    iconv_t cd_;
};

// GBK code of one BMP character, or 0 when GBK has no two-byte code for it.
class GbkEncoder {
public:
    bool valid() const { return converter_.valid(); }

    int code(char16_t character) {
        const char in[2] = {static_cast<char>(character & 0xFF), static_cast<char>(character >> 8)};
        const QByteArray out = converter_.convert(QByteArray(in, 2));
        if (out.size() != 2 || static_cast<unsigned char>(out[0]) < 0x81)
            return 0;
        return static_cast<unsigned char>(out[0]) << 8 | static_cast<unsigned char>(out[1]);
    }

private:
    Converter converter_{"GBK", "UTF-16LE"};
};

// The character of a two-byte GBK code, or empty text when the code holds none.
class GbkDecoder {
public:
    bool valid() const { return converter_.valid(); }

    QString character(int code) {
        const char in[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        const QByteArray out = converter_.convert(QByteArray(in, 2));
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(out.constData()), out.size() / 2);
    }

private:
    Converter converter_{"UTF-16LE", "GBK"};
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

    // Level 1 of GB2312 (0xB0A1..0xD7F9) is sorted by reading, so each letter owns one block of codes and
    // every character there gets its block's letter, from its list or, read yi, from the range rule.
    // Only 扒 and 粘 are read as on a menu (pá, nián) rather than as the order places them (bā, zhān).
    void level1FollowsGb2312Order() {
        struct Block {
            int first;
            char letter;
        };
        static constexpr Block kBlocks[] = {
            {0xB0A1, 'a'}, {0xB0C5, 'b'}, {0xB2C1, 'c'}, {0xB4EE, 'd'}, {0xB6EA, 'e'}, {0xB7A2, 'f'},
            {0xB8C1, 'g'}, {0xB9FE, 'h'}, {0xBBF7, 'j'}, {0xBFA6, 'k'}, {0xC0AC, 'l'}, {0xC2E8, 'm'},
            {0xC4C3, 'n'}, {0xC5B6, 'o'}, {0xC5BE, 'p'}, {0xC6DA, 'q'}, {0xC8BB, 'r'}, {0xC8F6, 's'},
            {0xCBFA, 't'}, {0xCDDA, 'w'}, {0xCEF4, 'x'}, {0xD1B9, 'y'}, {0xD4D1, 'z'}};
        const QHash<QString, QString> menuReadings{{QStringLiteral("扒"), QStringLiteral("p")},
                                                   {QStringLiteral("粘"), QStringLiteral("n")}};
        GbkDecoder gbk;
        QVERIFY(gbk.valid());
        int checked = 0;
        for (int code = 0xB0A1; code <= 0xD7F9; ++code) {
            if ((code & 0xFF) < 0xA1 || (code & 0xFF) == 0xFF)
                continue;
            const QString character = gbk.character(code);
            QVERIFY2(character.size() == 1, qPrintable(QString::number(code, 16)));
            const char letter = std::prev(std::ranges::upper_bound(kBlocks, code, {}, &Block::first))->letter;
            const QString expected = menuReadings.value(character, QString(QLatin1Char(letter)));
            const QString initial = InitialOfChar(character);
            const QString actual = initial.isEmpty() ? PinyinInitials(character) : initial;
            QVERIFY2(actual == expected, qPrintable(character + QStringLiteral(" gives ") + actual));
            ++checked;
        }
        QCOMPARE(checked, 3755);
    }

    // A character stands in one list, so its letter does not depend on the search order; 大 is the
    // intended exception, in d (dà) before t (tài).
    void charactersStandInOneList() {
        QHash<char16_t, QByteArray> listsOf;
        for (const PinyinLetterList& list : PinyinLetterLists())
            for (const char16_t character : list.characters)
                if (!listsOf[character].contains(list.letter))
                    listsOf[character].append(list.letter);
        for (auto it = listsOf.cbegin(); it != listsOf.cend(); ++it)
            if (it.key() != u'大')
                QVERIFY2(it.value().size() == 1,
                         qPrintable(QChar(it.key()) + QStringLiteral(" in ") + it.value()));
        QCOMPARE(listsOf.value(u'大'), QByteArray("dt"));
    }

    // The word table is sorted with each word once, as its lookup needs; a word has one of the 23 letters
    // for each character, reads some character otherwise than it reads alone (else it would not be kept),
    // and as a name by itself gives its own initials.
    void phraseTableHoldsWordsThatChangeInitials() {
        const QByteArray letters("abcdefghjklmnopqrstwxyz");
        const PinyinPhraseTable& words = PinyinPhrases();
        QVERIFY(words.size() > 1000);
        for (std::size_t i = 0; i < words.size(); ++i) {
            const PinyinPhrase word = words[i];
            const QString text = QStringView(word.text).toString();
            const QString initials = QStringView(word.initials).toString();
            QVERIFY2(i == 0 || words[i - 1].text < word.text, qPrintable(text));
            QVERIFY2(text.size() >= 2 && initials.size() == text.size(), qPrintable(text));
            for (const QChar letter : initials)
                QVERIFY2(letters.contains(letter.toLatin1()), qPrintable(text));
            QString alone;
            for (const QChar character : text)
                alone += PinyinInitials(QString(character));
            QVERIFY2(initials != alone, qPrintable(text));
            QVERIFY2(PinyinInitials(text) == initials, qPrintable(text));
        }
    }

    // Own-reading pairs come in twos, each led by a character that some word changes at its end.
    void ownReadingPairsFollowChangedEnds() {
        QSet<char16_t> changedEnds;
        const PinyinPhraseTable& words = PinyinPhrases();
        for (std::size_t index = 0; index < words.size(); ++index) {
            const PinyinPhrase word = words[index];
            const QString last(QChar(word.text.back()));
            if (PinyinInitials(last) != QString(QChar(word.initials.back())))
                changedEnds.insert(word.text.back());
        }
        const std::u16string_view pairs = PinyinOwnReadingPairs();
        QCOMPARE(pairs.size() % 2, 0u);
        for (std::size_t i = 0; i < pairs.size(); i += 2)
            QVERIFY2(changedEnds.contains(pairs[i]),
                     qPrintable(QString(QChar(pairs[i])) + QChar(pairs[i + 1])));
    }
};

QTEST_APPLESS_MAIN(PinyinTest)
#include "test_pinyin.moc"
