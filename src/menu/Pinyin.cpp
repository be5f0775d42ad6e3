#include "menu/Pinyin.h"

#include "menu/PinyinLists.h"

#include <QStringView>

#include <algorithm>
#include <bitset>
#include <optional>
#include <vector>

namespace {

// What the initials need to know of one BMP code point, in one byte.
struct CharacterInfo {
    quint8 letter : 7 = 0;   // of the first list that holds it, 0 for none
    quint8 inYRange : 1 = 0; // its GBK code lies in the block that the range rule gives a y
};

std::vector<CharacterInfo> buildCharacterTable() {
    std::vector<CharacterInfo> table(0x10000);
    // Lists are visited in search order, so a character held by two lists keeps the first letter.
    for (const PinyinLetterList& list : PinyinLetterLists())
        for (const char16_t character : list.characters)
            if (table[character].letter == 0)
                table[character].letter = static_cast<quint8>(list.letter) & 0x7F;
    for (const char16_t character : PinyinYRangeCharacters())
        table[character].inYRange = 1;
    return table;
}

const std::vector<CharacterInfo>& characterTable() {
    static const std::vector<CharacterInfo> table = buildCharacterTable();
    return table;
}

// Cheap test whether some word may begin with two characters: one bit for each hash of a pair, set for the
// first two characters of every word. Most pairs whose first character begins a word stop here.
class WordStartFilter {
public:
    WordStartFilter() {
        const PinyinPhraseTable& words = PinyinPhrases();
        for (std::size_t index = 0; index < words.size(); ++index)
            bits_.set(slot(words[index].text[0], words[index].text[1]));
    }
    bool mayBegin(char16_t first, char16_t second) const { return bits_.test(slot(first, second)); }

private:
    static std::size_t slot(char16_t first, char16_t second) { return (first * 40503u ^ second) & 0xFFFF; }
    std::bitset<0x10000> bits_;
};

bool mayBeginWord(std::u16string_view text) {
    static const WordStartFilter filter;
    return text.size() >= 2 && filter.mayBegin(text[0], text[1]);
}

// The own-reading pairs as sorted keys, for binary search.
std::vector<std::uint32_t> buildOwnReadingPairs() {
    const std::u16string_view pairs = PinyinOwnReadingPairs();
    std::vector<std::uint32_t> keys;
    keys.reserve(pairs.size() / 2);
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2)
        keys.push_back(PinyinPairKey(pairs[i], pairs[i + 1]));
    std::ranges::sort(keys);
    return keys;
}

bool beginsWordWithOwnReading(char16_t first, char16_t second) {
    static const std::vector<std::uint32_t> keys = buildOwnReadingPairs();
    return std::ranges::binary_search(keys, PinyinPairKey(first, second));
}

// The initial of an ASCII character: a digit itself, a letter in lower case, else 0.
char asciiInitial(char16_t unit) {
    if (unit >= u'0' && unit <= u'9')
        return static_cast<char>(unit);
    if (unit >= u'a' && unit <= u'z')
        return static_cast<char>(unit);
    if (unit >= u'A' && unit <= u'Z')
        return static_cast<char>(unit - u'A' + u'a');
    return 0;
}

// The initial as one character, or 0 for none.
char initialOf(char16_t unit) {
    return unit < 0x80 ? asciiInitial(unit) : static_cast<char>(characterTable()[unit].letter);
}

// What a character gives outside any word: its initial (s for 参, as in 海参), else y for the common
// characters read yi through their GBK code, else 0.
char ownInitial(char16_t unit) {
    if (unit < 0x80)
        return asciiInitial(unit);
    const CharacterInfo info = characterTable()[unit];
    if (info.letter)
        return unit == u'参' ? 's' : static_cast<char>(info.letter);
    return info.inYRange ? 'y' : 0;
}

// A word gives way when it changes the initial of its last character and that character, with the one
// after it, begins a word that keeps the character's own initial: 家长 gives way to 长寿 in 农家长寿面.
bool givesWay(const PinyinPhrase& word, std::u16string_view after) {
    const char16_t last = word.text.back();
    return !after.empty() && word.initials.back() != ownInitial(last) &&
           beginsWordWithOwnReading(last, after.front());
}

// The index of the first word that begins with two characters or after them, by binary search.
std::size_t firstWordFrom(const PinyinPhraseTable& words, std::uint32_t firstTwo) {
    std::size_t low = 0;
    std::size_t high = words.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (words.firstTwoCharacters(middle) < firstTwo)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// The longest word at the start of text that does not give way, if any. The words that share its first
// two characters are adjacent, since the table is sorted.
std::optional<PinyinPhrase> wordAt(std::u16string_view text) {
    if (!mayBeginWord(text))
        return std::nullopt;
    const PinyinPhraseTable& words = PinyinPhrases();
    const std::uint32_t firstTwo = PinyinPairKey(text[0], text[1]);
    std::optional<PinyinPhrase> longest;
    for (std::size_t index = firstWordFrom(words, firstTwo);
         index < words.size() && words.firstTwoCharacters(index) == firstTwo; ++index) {
        const PinyinPhrase word = words[index];
        if (text.starts_with(word.text) && (!longest || word.text.size() > longest->text.size()) &&
            !givesWay(word, text.substr(word.text.size())))
            longest = word;
    }
    return longest;
}

} // namespace

QString InitialOfChar(const QString& character) {
    if (character.isEmpty())
        return {};
    const char initial = initialOf(character.front().unicode());
    return initial ? QString(QLatin1Char(initial)) : QString();
}

QString PinyinInitials(const QString& name) {
    const qsizetype blank = name.indexOf(QLatin1Char(' '));
    const QStringView head = QStringView(name).first(blank < 0 ? name.size() : blank);
    const std::u16string_view text(head.utf16(), static_cast<std::size_t>(head.size()));
    QString initials;
    initials.reserve(head.size());
    // At each place the longest word of the phrase table, else the character by itself.
    for (std::size_t i = 0; i < text.size();) {
        const std::u16string_view rest = text.substr(i);
        if (const std::optional<PinyinPhrase> word = wordAt(rest)) {
            initials.append(QStringView(word->initials));
            i += word->text.size();
        } else {
            if (const char initial = ownInitial(rest.front()))
                initials.append(QLatin1Char(initial));
            ++i;
        }
    }
    return initials;
}
