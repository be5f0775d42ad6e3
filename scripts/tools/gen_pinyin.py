#!/usr/bin/python3
"""Writes src/menu/PinyinLists.cpp: the 23 letter lists of pinyin initials.

Every two-byte GBK character that has a kMandarin reading in the Unihan database goes into the list of
the initial letter of its first (usual) reading; zh, ch and sh count as z, c and s. Each list is grouped
by syllable in alphabetical order (u-umlaut written v), characters of one syllable in code point order.
The y list leaves out the characters read yi, except 一 and 伊: the initials code gives the common ones
their y by a GBK code range instead. A few characters are listed a second time under another reading's
initial (SECOND_LISTINGS); the lookup takes the first list in the order a..z, so that must not change
their letter.

Usage: /usr/bin/python3 scripts/tools/gen_pinyin.py [Unihan_Readings.txt.bz2] [output.cpp]
The output is committed; the build never runs this script.
"""

import bz2
import collections
import os
import sys
import unicodedata

LETTERS = "abcdefghjklmnopqrstwxyz"
DEFAULT_SOURCE = "/usr/share/unicode/Unihan_Readings.txt.bz2"
DEFAULT_OUTPUT = os.path.join(os.path.dirname(__file__), "..", "..", "src", "menu", "PinyinLists.cpp")

# Kept in the y list although read yi.
YI_KEPT = "一伊"

# Level-1 GB2312 characters from the first one read ya (压) up to the first one read za (匝), which the
# initials code gives a y when no list holds them.
Y_RANGE = (0xD1B9, 0xD4D1)

# Character -> (extra letter, reading that gives it). The reading must be one the Unihan data records.
SECOND_LISTINGS = {"大": ("t", "tài")}

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


def toneless(reading):
    """dà -> da, lǚ -> lv, ê -> e."""
    decomposed = unicodedata.normalize("NFD", reading.strip())
    kept = "".join(c for c in decomposed if not unicodedata.combining(c) or c == "\u0308")
    return unicodedata.normalize("NFC", kept).replace("ü", "v").lower()


def read_unihan(path):
    """Returns (first kMandarin reading, all recorded readings) per code point."""
    mandarin = {}
    recorded = collections.defaultdict(set)
    header = []
    with bz2.open(path, "rt", encoding="utf-8") as source:
        for line in source:
            if line.startswith("#"):
                if len(header) < 8:
                    header.append(line.strip("# \n"))
                continue
            parts = line.rstrip("\n").split("\t")
            if len(parts) != 3:
                continue
            code_point = int(parts[0][2:], 16)
            field, value = parts[1], parts[2]
            if field == "kMandarin":
                mandarin[code_point] = value.split()[0]
                recorded[code_point].update(value.split())
            elif field in ("kHanyuPinyin", "kXHC1983", "kTGHZ2013"):
                for entry in value.split():
                    recorded[code_point].update(entry.split(":")[-1].split(","))
    return mandarin, recorded, header


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


def y_range_characters():
    """The characters whose GBK code lies in Y_RANGE, in code order."""
    characters = []
    for code in range(*Y_RANGE):
        try:
            characters.append(bytes([code >> 8, code & 0xFF]).decode("gbk"))
        except UnicodeDecodeError:
            pass
    return "".join(characters)


def build_lists(mandarin, recorded):
    syllables = {letter: collections.defaultdict(list) for letter in LETTERS}
    for character in gbk_characters():
        reading = mandarin.get(ord(character))
        if not reading:
            continue
        syllable = toneless(reading)
        if syllable == "yi" and character not in YI_KEPT:
            continue
        syllables[syllable[0]][syllable].append(character)
    for character, (letter, reading) in SECOND_LISTINGS.items():
        if reading not in recorded[ord(character)]:
            sys.exit(f"{character} has no recorded reading {reading}")
        syllables[letter][toneless(reading)].append(character)
    for groups in syllables.values():
        for characters in groups.values():
            characters.sort(key=ord)
    return syllables


def cpp_file(syllables, header):
    out = []
    out.append("// Generated by scripts/tools/gen_pinyin.py; do not edit, run the script again instead.")
    out.append("//")
    out.append("// The letter lists are derived from Unihan_Readings.txt of the Unicode Character Database:")
    for line in [line for line in header if line][:5]:
        out.append("//   " + line)
    out.append("// Modified: only two-byte GBK characters are kept, each under the initial of its first kMandarin")
    out.append("// reading, grouped by syllable; the y list leaves out the characters read yi except 一 and 伊;")
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
    total = 0
    for letter in LETTERS:
        groups = syllables[letter]
        count = sum(len(v) for v in groups.values())
        total += count
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
    return "\n".join(out), total


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_SOURCE
    output = sys.argv[2] if len(sys.argv) > 2 else DEFAULT_OUTPUT
    mandarin, recorded, header = read_unihan(source)
    syllables = build_lists(mandarin, recorded)
    text, total = cpp_file(syllables, header)
    with open(output, "w", encoding="utf-8", newline="\n") as target:
        target.write(text)
    distinct = {c for groups in syllables.values() for chars in groups.values() for c in chars}
    for letter in LETTERS:
        groups = syllables[letter]
        first = "".join(c for s in sorted(groups) for c in groups[s])[:8]
        print(f"{letter} {sum(len(v) for v in groups.values()):5d} {first}")
    print(f"listed {total}, distinct {len(distinct)} -> {output}")


if __name__ == "__main__":
    main()
