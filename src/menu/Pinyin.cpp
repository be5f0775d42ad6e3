#include "menu/Pinyin.h"

#include "menu/PinyinLists.h"

#include <vector>

namespace {

// One byte per BMP code point: the letter of its first list (0 for none), plus a flag for the y range.
constexpr quint8 kLetterMask = 0x7F;
constexpr quint8 kInYRange = 0x80;

std::vector<quint8> buildInitialTable() {
    std::vector<quint8> table(0x10000, 0);
    // Lists are visited in search order, so a character held by two lists keeps the first letter.
    for (const PinyinLetterList& list : PinyinLetterLists())
        for (const char16_t character : list.characters)
            if ((table[character] & kLetterMask) == 0)
                table[character] |= static_cast<quint8>(list.letter);
    for (const char16_t character : PinyinYRangeCharacters())
        table[character] |= kInYRange;
    return table;
}

const std::vector<quint8>& initialTable() {
    static const std::vector<quint8> table = buildInitialTable();
    return table;
}

// The initial as one character, or 0 for none.
char initialOf(QChar c) {
    const char16_t unit = c.unicode();
    if (unit >= u'0' && unit <= u'9')
        return static_cast<char>(unit);
    if (unit >= u'a' && unit <= u'z')
        return static_cast<char>(unit);
    if (unit >= u'A' && unit <= u'Z')
        return static_cast<char>(unit - u'A' + u'a');
    if (unit < 0x80)
        return 0;
    return static_cast<char>(initialTable()[unit] & kLetterMask);
}

} // namespace

QString InitialOfChar(const QString& character) {
    if (character.isEmpty())
        return {};
    const char initial = initialOf(character.front());
    return initial ? QString(QLatin1Char(initial)) : QString();
}

QString PinyinInitials(const QString& name) {
    const qsizetype blank = name.indexOf(QLatin1Char(' '));
    const qsizetype end = blank < 0 ? name.size() : blank;
    const std::vector<quint8>& table = initialTable();
    QString initials;
    initials.reserve(end);
    for (qsizetype i = 0; i < end; ++i) {
        const QChar c = name.at(i);
        if (const char initial = initialOf(c)) {
            initials.append(c == QChar(u'参') ? QLatin1Char('s') : QLatin1Char(initial));
        } else if (table[c.unicode()] & kInYRange) {
            initials.append(QLatin1Char('y'));
        }
    }
    return initials;
}
