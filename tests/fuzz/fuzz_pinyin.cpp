// Pinyin initials: no crash on any text (including lone surrogates), only 0-9 and a-z come out, at most one
// per character before the first blank, one character alone agrees with InitialOfChar, and a name gives
// as many initials as its characters do one by one (words may change a letter, never the count).
// Input: UTF-8 text; when the input has an even length it is also read as raw UTF-16 code units.

#include "menu/Pinyin.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what, const QString& detail) {
    std::fprintf(stderr, "fuzz_pinyin: %s: %s\n", what, detail.toUtf8().toHex(' ').constData());
    std::abort();
}

void check(const QString& name) {
    const QString initials = PinyinInitials(name);
    const qsizetype blank = name.indexOf(QLatin1Char(' '));
    const qsizetype end = blank < 0 ? name.size() : blank;
    if (initials.size() > end)
        fail("more initials than characters", name);
    for (const QChar c : initials)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('z'))))
            fail("an initial outside 0-9 and a-z", name);
    // Character by character (the y range and 参 are the documented exceptions).
    QString joined;
    for (qsizetype i = 0; i < end; ++i) {
        const QString one(name.at(i));
        const QString single = PinyinInitials(one);
        const QString initial = InitialOfChar(one);
        if (!initial.isEmpty() && single != initial && one != QStringLiteral("参"))
            fail("PinyinInitials and InitialOfChar disagree", one);
        if (initial.size() > 1 || single.size() > 1)
            fail("more than one initial for one character", one);
        joined += single;
    }
    if (joined.size() != initials.size())
        fail("a name gives another number of initials than its characters", name);
    if (InitialOfChar(name) != InitialOfChar(name.left(1)))
        fail("InitialOfChar looks past the first character", name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096)
        return 0;
    check(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (size > 0 && size % 2 == 0) {
        std::vector<char16_t> units(size / 2);
        std::memcpy(units.data(), data, size);
        check(QString(reinterpret_cast<const QChar*>(units.data()), static_cast<qsizetype>(units.size())));
    }
    return 0;
}
