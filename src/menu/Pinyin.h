#pragma once

#include <QString>

// Pinyin initials of menu item names, for the quick search: 宫保鸡丁 gives gbjd.

// Initial of one character (the first of the text): an ASCII digit gives itself, an ASCII letter its lower
// case, a GBK character the letter of the first list that holds it (empty when none does); anything else
// gives empty text.
QString InitialOfChar(const QString& character);

// Initials of a name up to its first blank. Characters without an initial give nothing, except the
// common characters read yi, which give y through their GBK code; 参 gives s (as in 海参). Inside a word
// that reads a character otherwise (重庆, 银行), the word's reading gives the initials.
QString PinyinInitials(const QString& name);
