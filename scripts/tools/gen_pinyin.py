#!/usr/bin/python3
"""Writes the built-in data of the pinyin initials: src/menu/PinyinLists.cpp, the 23 letter lists, and
src/menu/PinyinPhrases.cpp, the words in which a character has another initial than it has alone.

Every two-byte GBK character with a reading in the Unihan database goes into the list of the initial
letter of its usual reading; zh, ch and sh count as z, c and s. The usual reading is chosen in this order:

1. MENU_READINGS: a short reviewed list of characters that a menu reads otherwise.
2. The 3,755 level-1 characters of GB2312 (codes B0A1..D7F9) stand in the order of their usual reading.
   Each takes the one of its recorded readings that fits its place: not before the reading of the
   character in front of it, not after the one behind it. Characters with a single recorded reading fix
   the order; the others are placed between them.
3. A traditional character whose simplified form is level 1 takes that form's reading, when it has it.
4. Any other character takes the reading of the current dictionaries (kTGHZ2013, else kXHC1983); where
   they record several, the one Unihan calls customary (kMandarin), if it is among them.
   Without either dictionary: kMandarin, then kHanyuPinyin.

Each list is grouped by syllable in alphabetical order (u-umlaut written v), characters of one syllable in
code point order. The y list leaves out the characters read yi, except 一 and 伊: the initials code gives
the level-1 ones their y by a GBK code range instead. A few characters are listed a second time under
another reading's initial (SECOND_LISTINGS); the lookup takes the first list in the order a..z, so that
must not change their letter.

The words come from the phrase dictionary of the npm package @pinyin-pro/data (locked in
scripts/tools/pinyin-data), with MENU_WORDS on top. A word is kept only when its reading gives some
character another initial than the lists give it alone (重庆: 重 is z alone, c here), and only when the
shorter kept words do not already give its initials. Beside them go the pairs of characters that begin a
word keeping its first character's own initial (长寿), for the characters that a kept word changes at its
end (家长): such a word gives way, so 农家长寿面 reads 长 as in 长寿.

Usage:
    npm ci --prefix scripts/tools/pinyin-data
    /usr/bin/python3 scripts/tools/gen_pinyin.py [--unihan DIR] [--words FILE] [--out DIR]
DIR of --unihan (default /usr/share/unicode, Debian's unicode-data) holds Unihan_Readings.txt.bz2 and
Unihan_Variants.txt.bz2. The output is committed; the build never runs this script.
"""

import argparse
import bz2
import collections
import json
import os
import sys
import unicodedata

LETTERS = "abcdefghjklmnopqrstwxyz"
DEFAULT_UNIHAN = "/usr/share/unicode"
HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUTPUT = os.path.normpath(os.path.join(HERE, "..", "..", "src", "menu"))
WORDS_PACKAGE = os.path.join(HERE, "pinyin-data", "node_modules", "@pinyin-pro", "data")
DEFAULT_WORDS = os.path.join(WORDS_PACKAGE, "json", "complete.json")

# Kept in the y list although read yi.
YI_KEPT = "一伊"

# Level-1 GB2312 characters from the first one read ya (压) up to the first one read za (匝), which the
# initials code gives a y when no list holds them.
Y_RANGE = (0xD1B9, 0xD4D1)

# The level-1 block of GB2312, sorted by reading.
LEVEL1_ROWS = range(0xB0, 0xD8)

# Character -> (extra letter, reading that gives it). The reading must be one the Unihan data records.
SECOND_LISTINGS = {"大": ("t", "tài")}

# Character -> (reading on a menu, why). Each reading must be one the Unihan data records.
MENU_READINGS = {
    "扒": ("pá", "a way of braising: 扒鸡, 扒白菜, and 牛扒 for steak; bā (to dig, to cling) names no dish"),
    "粘": ("nián", "sticky foods, 粘豆包, 粘玉米, 粘糕; zhān is to stick something on"),
    "蕃": ("fān", "蕃茄 is a common spelling of 番茄; bō (吐蕃) names no dish"),
}

# Word -> (reading on a menu, why): words the phrase dictionary lacks or reads otherwise than a menu.
# A word either changes an initial or keeps one that a word before it would change (农家长豆角).
MENU_WORDS = {
    "芥蓝": ("gài lán", "the green (白灼芥蓝) is gài lán; 芥 alone is jiè, as in 芥末"),
    "芥兰": ("gài lán", "a common spelling of 芥蓝"),
    "雪蛤": ("xuě há", "the dessert (雪蛤炖木瓜) is há; 蛤 alone is gé, as in 蛤蜊"),
    "长豆角": ("cháng dòu jiǎo", "the long bean, so that 家长 does not take its 长 in 农家长豆角"),
}

# Reading fields of Unihan, each a list of readings in the field's own order.
READING_FIELDS = ("kMandarin", "kHanyuPinyin", "kXHC1983", "kTGHZ2013", "kHanyuPinlu")

# Notice required by the Unicode licence; the copyright line is the one of the source file.
LICENCE = """\
UNICODE, INC. LICENSE AGREEMENT - DATA FILES AND SOFTWARE

See Terms of Use <https://www.unicode.org/copyright.html> for definitions of Unicode Inc.'s Data Files
and Software.

NOTICE TO USER: Carefully read the following legal agreement. BY DOWNLOADING, INSTALLING, COPYING OR
OTHERWISE USING UNICODE INC.'S DATA FILES ("DATA FILES"), AND/OR SOFTWARE ("SOFTWARE"), YOU UNEQUIVOCALLY
ACCEPT, AND AGREE TO BE BOUND BY, ALL OF THE TERMS AND CONDITIONS OF THIS AGREEMENT. IF YOU DO NOT AGREE,
DO NOT DOWNLOAD, INSTALL, COPY, DISTRIBUTE OR USE THE DATA FILES OR SOFTWARE.

COPYRIGHT AND PERMISSION NOTICE

Copyright © 1991-2022 Unicode, Inc. All rights reserved.
Distributed under the Terms of Use in https://www.unicode.org/copyright.html.

Permission is hereby granted, free of charge, to any person obtaining a copy of the Unicode data files
and any associated documentation (the "Data Files") or Unicode software and any associated documentation
(the "Software") to deal in the Data Files or Software without restriction, including without limitation
the rights to use, copy, modify, merge, publish, distribute, and/or sell copies of the Data Files or
Software, and to permit persons to whom the Data Files or Software are furnished to do so, provided that
either
(a) this copyright and permission notice appear with all copies of the Data Files or Software, or
(b) this copyright and permission notice appear in associated Documentation.

THE DATA FILES AND SOFTWARE ARE PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED,
INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE AND
NONINFRINGEMENT OF THIRD PARTY RIGHTS. IN NO EVENT SHALL THE COPYRIGHT HOLDER OR HOLDERS INCLUDED IN THIS
NOTICE BE LIABLE FOR ANY CLAIM, OR ANY SPECIAL INDIRECT OR CONSEQUENTIAL DAMAGES, OR ANY DAMAGES
WHATSOEVER RESULTING FROM LOSS OF USE, DATA OR PROFITS, WHETHER IN AN ACTION OF CONTRACT, NEGLIGENCE OR
OTHER TORTIOUS ACTION, ARISING OUT OF OR IN CONNECTION WITH THE USE OR PERFORMANCE OF THE DATA FILES OR
SOFTWARE.

Except as contained in this notice, the name of a copyright holder shall not be used in advertising or
otherwise to promote the sale, use or other dealings in these Data Files or Software without prior
written authorization of the copyright holder."""

# Terms of the licence that the words' package declares (ISC); the package ships no licence file.
WORDS_LICENCE = """\
ISC License

Permission to use, copy, modify, and/or distribute this software for any purpose with or without fee is
hereby granted, provided that the above copyright notice and this permission notice appear in all copies.

THE SOFTWARE IS PROVIDED "AS IS" AND THE AUTHOR DISCLAIMS ALL WARRANTIES WITH REGARD TO THIS SOFTWARE
INCLUDING ALL IMPLIED WARRANTIES OF MERCHANTABILITY AND FITNESS. IN NO EVENT SHALL THE AUTHOR BE LIABLE FOR
ANY SPECIAL, DIRECT, INDIRECT, OR CONSEQUENTIAL DAMAGES OR ANY DAMAGES WHATSOEVER RESULTING FROM LOSS OF
USE, DATA OR PROFITS, WHETHER IN AN ACTION OF CONTRACT, NEGLIGENCE OR OTHER TORTIOUS ACTION, ARISING OUT
OF OR IN CONNECTION WITH THE USE OR PERFORMANCE OF THIS SOFTWARE."""


def toneless(reading):
    """dà -> da, lǚ -> lv, ê -> e."""
    decomposed = unicodedata.normalize("NFD", reading.strip())
    kept = "".join(c for c in decomposed if not unicodedata.combining(c) or c == "\u0308")
    return unicodedata.normalize("NFC", kept).replace("ü", "v").lower()


def syllable_order(syllable):
    """Sort key of GB2312's order: ü counts as u, and lü follows lu (lu, lü, luan, lüe, lun)."""
    return syllable.replace("v", "u"), syllable


def field_readings(field, value):
    """The readings of one Unihan field, in the field's order."""
    if field == "kMandarin":
        return value.split()
    if field == "kHanyuPinlu":
        return [entry.split("(")[0] for entry in value.split()]
    return [reading for entry in value.split() for reading in entry.split(":")[-1].split(",")]


def read_unihan_readings(path):
    """Returns {code point: {field: [toneless syllables, first seen first]}} and the file's header."""
    readings = collections.defaultdict(dict)
    header = []
    with bz2.open(path, "rt", encoding="utf-8") as source:
        for line in source:
            if line.startswith("#"):
                if len(header) < 8:
                    header.append(line.strip("# \n"))
                continue
            parts = line.rstrip("\n").split("\t")
            if len(parts) != 3 or parts[1] not in READING_FIELDS:
                continue
            syllables = []
            for reading in field_readings(parts[1], parts[2]):
                syllable = toneless(reading)
                if syllable not in syllables:
                    syllables.append(syllable)
            readings[int(parts[0][2:], 16)][parts[1]] = syllables
    return readings, header


def read_simplified_variants(path):
    """Returns {traditional character: [simplified characters]}."""
    variants = {}
    with bz2.open(path, "rt", encoding="utf-8") as source:
        for line in source:
            parts = line.rstrip("\n").split("\t")
            if len(parts) == 3 and parts[1] == "kSimplifiedVariant":
                variants[chr(int(parts[0][2:], 16))] = [chr(int(v[2:], 16)) for v in parts[2].split()]
    return variants


def recorded(fields):
    """Every syllable that any field records for a character."""
    return {syllable for syllables in fields.values() for syllable in syllables}


def gbk_code(character):
    encoded = character.encode("gbk")
    return encoded[0] << 8 | encoded[1]


def gbk_characters():
    """Every two-byte GBK character, in GBK code order."""
    characters = []
    for high in range(0x81, 0xFF):
        for low in range(0x40, 0xFF):
            if low == 0x7F:
                continue
            try:
                characters.append(bytes([high, low]).decode("gbk"))
            except UnicodeDecodeError:
                pass
    return characters


def level1_characters():
    """The 3,755 level-1 characters of GB2312, in code order."""
    characters = []
    for high in LEVEL1_ROWS:
        for low in range(0xA1, 0xFF):
            try:
                characters.append(bytes([high, low]).decode("gb2312"))
            except UnicodeDecodeError:
                pass
    return characters


def nearest(chosen, indices):
    return next((chosen[j] for j in indices if chosen[j]), None)


def fitting_readings(chosen, candidates, i):
    """The candidates of place i between the readings chosen nearest before and after it, in order."""
    low = nearest(chosen, range(i - 1, -1, -1)) or ""
    high = nearest(chosen, range(i + 1, len(chosen)))
    fitting = [s for s in candidates[i] if syllable_order(low) <= syllable_order(s) and
               (high is None or syllable_order(s) <= syllable_order(high))]
    if not fitting:
        sys.exit(f"gen_pinyin: no reading of level-1 place {i} fits between {low} and {high}")
    return sorted(fitting, key=syllable_order)


def level1_readings(readings):
    """{character: syllable} for the level-1 characters, each from its place in GB2312's order."""
    characters = level1_characters()
    candidates = [recorded(readings[ord(c)]) for c in characters]
    chosen = [next(iter(s)) if len(s) == 1 else None for s in candidates]
    placed = True
    while placed:
        placed = False
        for i in [i for i, c in enumerate(chosen) if not c]:
            fitting = fitting_readings(chosen, candidates, i)
            if len(fitting) == 1:
                chosen[i] = fitting[0]
                placed = True
    # Left: characters on the border of two syllables with a reading in each. Both readings must give
    # the same letter; the customary one is taken.
    for i in [i for i, c in enumerate(chosen) if not c]:
        fitting = fitting_readings(chosen, candidates, i)
        if len({s[0] for s in fitting}) > 1:
            sys.exit(f"gen_pinyin: {characters[i]} fits its place as {fitting}, which differ in letter")
        customary = readings[ord(characters[i])].get("kMandarin", [])
        chosen[i] = next((s for s in customary if s in fitting), fitting[0])
    for before, after in zip(chosen, chosen[1:]):
        if syllable_order(after) < syllable_order(before):
            sys.exit(f"gen_pinyin: level-1 readings out of order: {before} before {after}")
    return dict(zip(characters, chosen))


def dictionary_reading(fields):
    """The reading of the current dictionaries, or None when Unihan records none."""
    current = fields.get("kTGHZ2013") or fields.get("kXHC1983") or []
    if len(current) == 1:
        return current[0]
    if current:
        preferred = fields.get("kMandarin", []) + fields.get("kHanyuPinlu", []) + fields.get("kHanyuPinyin", [])
        return next((s for s in preferred if s in current), current[0])
    for field in ("kMandarin", "kHanyuPinyin", "kHanyuPinlu"):
        if fields.get(field):
            return fields[field][0]
    return None


def simplified_form_reading(character, fields, variants, level1):
    """The reading of the level-1 simplified form of a traditional character, when it has that reading."""
    forms = [form for form in variants.get(character, []) if form != character and form in level1]
    if len(forms) == 1 and level1[forms[0]] in recorded(fields):
        return level1[forms[0]]
    return None


def menu_readings(readings):
    chosen = {}
    for character, (reading, _) in MENU_READINGS.items():
        syllable = toneless(reading)
        if syllable not in recorded(readings[ord(character)]):
            sys.exit(f"gen_pinyin: {character} has no recorded reading {reading}")
        chosen[character] = syllable
    return chosen


def usual_readings(readings, variants):
    """{character: syllable} for every GBK character with a recorded reading, and the level-1 readings."""
    level1 = level1_readings(readings)
    menu = menu_readings(readings)
    usual = {}
    for character in gbk_characters():
        fields = readings.get(ord(character), {})
        reading = (menu.get(character) or level1.get(character) or
                   simplified_form_reading(character, fields, variants, level1) or dictionary_reading(fields))
        if reading:
            usual[character] = reading
    return usual, level1


def build_lists(usual, readings):
    syllables = {letter: collections.defaultdict(list) for letter in LETTERS}
    for character, syllable in usual.items():
        if syllable == "yi" and character not in YI_KEPT:
            continue
        if syllable[0] not in syllables:
            sys.exit(f"gen_pinyin: {character} read {syllable} has no letter list")
        syllables[syllable[0]][syllable].append(character)
    for character, (letter, reading) in SECOND_LISTINGS.items():
        if toneless(reading) not in recorded(readings[ord(character)]):
            sys.exit(f"gen_pinyin: {character} has no recorded reading {reading}")
        syllables[letter][toneless(reading)].append(character)
    for groups in syllables.values():
        for characters in groups.values():
            characters.sort(key=ord)
    return syllables


def cpp_file(syllables, header):
    out = []
    out.append("// Generated by scripts/tools/gen_pinyin.py; do not edit, run the script again instead.")
    out.append("//")
    out.append("// The letter lists are derived from Unihan_Readings.txt and Unihan_Variants.txt of the Unicode")
    out.append("// Character Database:")
    for line in [line for line in header if line][:5]:
        out.append("//   " + line)
    out.append("// Modified: only two-byte GBK characters are kept, each under the initial of its usual reading")
    out.append("// (level-1 GB2312 characters: the reading of their place in GB2312's order; others: the current")
    out.append("// dictionaries' reading; a few menu characters by a reviewed list), grouped by syllable; the y")
    out.append("// list leaves out the characters read yi except 一 and 伊;")
    out.append("// " + ", ".join(f"{c} is also listed under {l} ({r})" for c, (l, r) in SECOND_LISTINGS.items()) + ".")
    out.append("//")
    for line in LICENCE.splitlines():
        out.append(("// " + line).rstrip())
    out.append("")
    out.append("// clang-format off")
    out.append("")
    out.append('#include "menu/PinyinLists.h"')
    out.append("")
    out.append("namespace {")
    out.append("")
    for letter in LETTERS:
        groups = syllables[letter]
        count = sum(len(v) for v in groups.values())
        out.append(f"// {count} characters")
        out.append(f"constexpr char16_t {letter}k[] =")
        names = sorted(groups)
        for index, syllable in enumerate(names):
            end = ";" if index == len(names) - 1 else ""
            out.append(f'    u"{"".join(groups[syllable])}"{end} // {syllable}')
        out.append("")
    low, high = Y_RANGE
    out.append(f"// GBK codes 0x{low:04X} up to 0x{high:04X} (not included), in code order")
    out.append("constexpr char16_t yRange[] =")
    chars = y_range_characters()
    for start in range(0, len(chars), 50):
        end = ";" if start + 50 >= len(chars) else ""
        out.append(f'    u"{chars[start:start + 50]}"{end}')
    out.append("")
    out.append("} // namespace")
    out.append("")
    out.append("std::u16string_view PinyinYRangeCharacters() { return {yRange, std::size(yRange) - 1}; }")
    out.append("")
    out.append("const std::array<PinyinLetterList, kPinyinLetterCount>& PinyinLetterLists()")
    out.append("{")
    out.append("    static constexpr std::array<PinyinLetterList, kPinyinLetterCount> lists{{")
    for letter in LETTERS:
        out.append(f"        {{'{letter}', {{{letter}k, std::size({letter}k) - 1}}}},")
    out.append("    }};")
    out.append("    return lists;")
    out.append("}")
    out.append("")
    out.append("// clang-format on")
    out.append("")
    return "\n".join(out)


def y_range_characters():
    """The characters whose GBK code lies in Y_RANGE, in code order."""
    characters = []
    for code in range(*Y_RANGE):
        try:
            characters.append(bytes([code >> 8, code & 0xFF]).decode("gbk"))
        except UnicodeDecodeError:
            pass
    return "".join(characters)


def alone_initials(syllables):
    """{GBK character: what PinyinInitials gives for it alone}: its first list's letter, y in the y
    range, s for 参, or empty text."""
    initials = {}
    for letter in LETTERS:
        for characters in syllables[letter].values():
            for character in characters:
                initials.setdefault(character, letter)
    low, high = Y_RANGE
    for character in gbk_characters():
        if character not in initials:
            initials[character] = "y" if low <= gbk_code(character) < high else ""
    initials["参"] = "s"
    return initials


def read_words(path):
    """{word: reading} of the phrase dictionary with MENU_WORDS on top, leaving out the words that read a
    menu word inside them otherwise (芥蓝菜 as jiè lán cài); and the package's name, version and licence."""
    with open(path, encoding="utf-8") as source:
        words = {word: entry[0] for word, entry in json.load(source).items() if len(word) > 1}
    for menu_word, (menu_reading, _) in MENU_WORDS.items():
        menu_syllables = [toneless(s) for s in menu_reading.split()]
        for word in [w for w in words if menu_word in w and w != menu_word]:
            syllables = [toneless(s) for s in words[word].split()]
            at = word.index(menu_word)
            if [s[:1] for s in syllables[at:at + len(menu_word)]] != [s[:1] for s in menu_syllables]:
                del words[word]
        words[menu_word] = menu_reading
    package = os.path.join(os.path.dirname(os.path.dirname(path)), "package.json")
    with open(package, encoding="utf-8") as source:
        described = json.load(source)
    return words, f"{described['name']} {described['version']} ({described['license']})"


def word_initials(word, reading, alone):
    """The initials a word gives by its reading, one letter a character; None when a character has no
    letter there (GBK lacks it, or it is read yi and has no letter alone). 参 keeps its s."""
    syllables = [toneless(s) for s in reading.split()]
    if len(syllables) != len(word):
        return None
    initials = ""
    for character, syllable in zip(word, syllables):
        if character not in alone or not syllable.isalpha() or syllable[0] not in LETTERS:
            return None
        if syllable == "yi" and not alone[character]:
            return None
        initials += alone[character] if character == "参" else syllable[0]
    return initials


def changing_words(words, alone):
    """{word: initials} of the words in which some character has another initial than it has alone."""
    changing = {}
    for word, reading in words.items():
        initials = word_initials(word, reading, alone)
        if initials is not None and initials != "".join(alone[c] for c in word):
            changing[word] = initials
    return changing


def own_reading_pairs(words, changing, alone):
    """Pairs XY that begin a word in which X keeps the initial it has alone, for the characters X that
    end a changing word with another initial (长 in 家长): in 农家长寿面, 长寿 wins over 家长."""
    changed_last = {w[-1] for w, initials in changing.items() if initials[-1] != alone[w[-1]]}
    pairs = set()
    for word, reading in words.items():
        if word[0] in changed_last:
            initials = word_initials(word[:2], " ".join(reading.split()[:2]), alone)
            if initials and initials[0] == alone[word[0]]:
                pairs.add(word[:2])
    return pairs


def yields(word, following, words, pairs, alone):
    """A word gives way when it changes its last character and that character with the one after it
    begins a word that keeps the character's own initial."""
    return bool(following) and words[word][-1] != alone[word[-1]] and word[-1] + following in pairs


def initials_by_words(text, words, longest, pairs, alone):
    """The initials of text as PinyinInitials gives them: at each place the longest word (of at most
    longest characters) that does not give way, else the character's own initial."""
    initials = ""
    i = 0
    while i < len(text):
        length = next((n for n in range(min(longest, len(text) - i), 1, -1)
                       if text[i:i + n] in words and
                       not yields(text[i:i + n], text[i + n:i + n + 1], words, pairs, alone)), 0)
        if length:
            initials += words[text[i:i + length]]
            i += length
        else:
            initials += alone[text[i]]
            i += 1
    return initials


def words_that_matter(changing, pairs, alone):
    """{word: initials} of the changing words whose initials the shorter kept words do not give."""
    kept = {}
    for word in sorted(changing, key=lambda w: (len(w), w)):
        if changing[word] != initials_by_words(word, kept, len(word) - 1, pairs, alone):
            kept[word] = changing[word]
    for word in MENU_WORDS:
        if word not in kept and word[:2] not in pairs:
            sys.exit(f"gen_pinyin: the menu word {word} changes no initial and keeps none")
    return kept


def pairs_that_matter(kept, pairs, alone):
    """The pairs whose first character ends a kept word with another initial: the only ones looked up."""
    changed_last = {w[-1] for w, initials in kept.items() if initials[-1] != alone[w[-1]]}
    return sorted(p for p in pairs if p[0] in changed_last)


def phrases_cpp_file(kept, pairs, source):
    out = []
    out.append("// Generated by scripts/tools/gen_pinyin.py; do not edit, run the script again instead.")
    out.append("//")
    out.append(f"// The words and their readings are taken from json/complete.json of the npm package {source},")
    out.append("// https://github.com/chinese-data/pinyin-pro-data, under the licence below.")
    out.append("// Modified: only the words are kept in which some character has another initial than it has")
    out.append("// alone, and not those whose initials follow from shorter kept words; each reading is written as")
    out.append("// its initials. Added: " + ", ".join(f"{w} ({r})" for w, (r, _) in MENU_WORDS.items()) + ".")
    out.append("// The character pairs are the first two characters of words of that file in which the first")
    out.append("// character keeps the initial it has alone.")
    out.append("//")
    for line in WORDS_LICENCE.splitlines():
        out.append(("// " + line).rstrip())
    out.append("")
    out.append("// clang-format off")
    out.append("")
    out.append('#include "menu/PinyinLists.h"')
    out.append("")
    out.append("namespace {")
    out.append("")
    words = sorted(kept)
    out.append(f"// {len(words)} words, sorted by text, each followed by its initials")
    out.append("constexpr char16_t entries[] =")
    for index, word in enumerate(words):
        end = ";" if index == len(words) - 1 else ""
        out.append(f'    u"{word}{kept[word]}"{end}')
    out.append("")
    starts = [0]
    for word in words:
        starts.append(starts[-1] + 2 * len(word))
    if starts[-1] > 0xFFFF:
        sys.exit("gen_pinyin: the words no longer fit 16-bit starts")
    out.append("// Where each entry starts; the last number is the end of the entries")
    out.append("constexpr std::uint16_t starts[] = {")
    for line in range(0, len(starts), 16):
        out.append("    " + ", ".join(str(n) for n in starts[line:line + 16]) + ",")
    out.append("};")
    out.append("")
    out.append(f"// {len(pairs)} pairs, sorted, one line for each first character")
    out.append("constexpr char16_t ownReadingPairs[] =")
    lines = collections.defaultdict(str)
    for pair in pairs:
        lines[pair[0]] += pair
    for index, first in enumerate(sorted(lines)):
        end = ";" if index == len(lines) - 1 else ""
        out.append(f'    u"{lines[first]}"{end}')
    out.append("")
    out.append("} // namespace")
    out.append("")
    out.append("const PinyinPhraseTable& PinyinPhrases()")
    out.append("{")
    out.append("    static constexpr PinyinPhraseTable table{{entries, std::size(entries) - 1}, starts};")
    out.append("    return table;")
    out.append("}")
    out.append("")
    out.append("std::u16string_view PinyinOwnReadingPairs() { return {ownReadingPairs, std::size(ownReadingPairs) - 1}; }")
    out.append("")
    out.append("// clang-format on")
    out.append("")
    return "\n".join(out)


def write(path, text):
    with open(path, "w", encoding="utf-8", newline="\n") as target:
        target.write(text)


def main():
    arguments = argparse.ArgumentParser(description="Writes PinyinLists.cpp and PinyinPhrases.cpp.")
    arguments.add_argument("--unihan", default=DEFAULT_UNIHAN, help="folder of the Unihan files")
    arguments.add_argument("--words", default=DEFAULT_WORDS, help="complete.json of @pinyin-pro/data")
    arguments.add_argument("--out", default=DEFAULT_OUTPUT, help="folder of the generated files")
    options = arguments.parse_args()
    readings, header = read_unihan_readings(os.path.join(options.unihan, "Unihan_Readings.txt.bz2"))
    variants = read_simplified_variants(os.path.join(options.unihan, "Unihan_Variants.txt.bz2"))
    usual, level1 = usual_readings(readings, variants)
    syllables = build_lists(usual, readings)
    write(os.path.join(options.out, "PinyinLists.cpp"), cpp_file(syllables, header))
    words, source = read_words(options.words)
    alone = alone_initials(syllables)
    changing = changing_words(words, alone)
    pairs = own_reading_pairs(words, changing, alone)
    kept = words_that_matter(changing, pairs, alone)
    pairs = pairs_that_matter(kept, pairs, alone)
    write(os.path.join(options.out, "PinyinPhrases.cpp"), phrases_cpp_file(kept, pairs, source))

    listed = [c for groups in syllables.values() for chars in groups.values() for c in chars]
    for letter in LETTERS:
        groups = syllables[letter]
        first = "".join(c for s in sorted(groups) for c in groups[s])[:8]
        print(f"{letter} {sum(len(v) for v in groups.values()):5d} {first}")
    print(f"listed {len(listed)}, distinct {len(set(listed))}, level 1 {len(level1)}")
    print(f"words {len(kept)} of {len(words)}, {sum(len(w) for w in kept)} characters; {len(pairs)} pairs")


if __name__ == "__main__":
    main()
