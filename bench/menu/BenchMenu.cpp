// Time per call of PinyinInitials on a 20-character name, and of the first call that builds the lookup
// table. Prints medians over several rounds.

#include "menu/Pinyin.h"
#include "menu/PinyinLists.h"

#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main() {
    // 20 characters: common and traditional Chinese, one read yi (range rule), Latin letters, brackets.
    const QString name = QStringLiteral("意大利黑椒牛柳配鲜蔬(大)Coke鍋燴麵");
    if (name.size() != 20) {
        std::fprintf(stderr, "name has %lld characters\n", static_cast<long long>(name.size()));
        return 1;
    }

    QElapsedTimer first;
    first.start();
    const QString initials = PinyinInitials(name);
    const double firstCallUs = first.nsecsElapsed() / 1000.0;

    constexpr int kCallsPerRound = 100000;
    constexpr int kRounds = 15;
    std::vector<double> perCallNs;
    qsizetype sink = 0;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kCallsPerRound; ++i)
            sink += PinyinInitials(name).size();
        perCallNs.push_back(static_cast<double>(timer.nsecsElapsed()) / kCallsPerRound);
    }

    std::size_t listBytes = 0;
    for (const PinyinLetterList& list : PinyinLetterLists())
        listBytes += (list.characters.size() + 1) * sizeof(char16_t);
    listBytes += (PinyinYRangeCharacters().size() + 1) * sizeof(char16_t);

    std::printf("name: %s -> %s\n", qPrintable(name), qPrintable(initials));
    std::printf("first call (builds the 64K lookup table): %.1f us\n", firstCallUs);
    std::printf("PinyinInitials, 20 characters: median %.1f ns per call (%d rounds of %d calls)\n",
                median(perCallNs), kRounds, kCallsPerRound);
    std::printf("letter lists as data: %zu bytes\n", listBytes);
    return sink > 0 ? 0 : 1;
}
