#pragma once

// Penalty scores of QR symbols for choosing the mask. Every row is packed into 64-bit words, one bit a
// module, so a rule costs a few word operations per row: along a row with shifts, down the columns with the
// same operations between neighbouring rows, for all columns at once. The eight masks are tried on the
// packed unmasked symbol without building eight symbols.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace QrMask {

inline constexpr int kLargestSide = 177; // version 40
// Light bits ahead of every line, so the finder-pattern rule sees the edge as four light modules.
inline constexpr int kLead = 4;

// Words a line of an n-module symbol takes: the lead, the modules and four light bits behind them.
constexpr std::size_t WordsFor(int n) {
    return std::size_t(n + 2 * kLead + 63) / 64;
}

// One packed row: bit kLead + k is module k (1 dark); or one bit per column, the same way.
template <std::size_t W> struct Line {
    std::array<std::uint64_t, W> words{};

    constexpr void Set(int bit) { words[std::size_t(bit) >> 6] |= std::uint64_t(1) << (bit & 63); }
    constexpr bool Any() const {
        return std::any_of(words.begin(), words.end(), [](std::uint64_t word) { return word != 0; });
    }
    constexpr int Count() const {
        int count = 0;
        for (const std::uint64_t word : words) {
            count += std::popcount(word);
        }
        return count;
    }
    // Bit p of the result is bit p + k of this line (0 < k < 64); bits past the last word read as 0.
    constexpr Line Ahead(int k) const {
        Line out;
        for (std::size_t i = 0; i < W; ++i) {
            out.words[i] = words[i] >> k;
            if (i + 1 < W) {
                out.words[i] |= words[i + 1] << (64 - k);
            }
        }
        return out;
    }

    friend constexpr Line operator&(Line a, const Line& b) {
        for (std::size_t i = 0; i < W; ++i) {
            a.words[i] &= b.words[i];
        }
        return a;
    }
    friend constexpr Line operator|(Line a, const Line& b) {
        for (std::size_t i = 0; i < W; ++i) {
            a.words[i] |= b.words[i];
        }
        return a;
    }
    friend constexpr Line operator^(Line a, const Line& b) {
        for (std::size_t i = 0; i < W; ++i) {
            a.words[i] ^= b.words[i];
        }
        return a;
    }
    friend constexpr Line operator~(Line a) {
        for (std::uint64_t& word : a.words) {
            word = ~word;
        }
        return a;
    }
};

// A symbol of side n as packed rows, with kLead light rows above and below it so the finder-pattern rule
// sees the edges as light down the columns too.
template <std::size_t W> struct PackedSymbol {
    int n = 0;
    std::array<Line<W>, kLargestSide + 2 * kLead> paddedRows;

    explicit PackedSymbol(int side) : n(side) {}
    Line<W>& Row(int y) { return paddedRows[std::size_t(y + kLead)]; }
    const Line<W>& Row(int y) const { return paddedRows[std::size_t(y + kLead)]; }
    void Set(int x, int y) { Row(y).Set(kLead + x); }
};

// Packs one row of the unmasked symbol: `function` as the symbol builder draws it (0 data module, 1 dark,
// 2 light) and `data` the unmasked data bits (0 or 1). `fixed` gets the modules' values, `maskable` the data
// modules.
template <std::size_t W>
void PackRow(const std::uint8_t* function, const std::uint8_t* data, int n, Line<W>& fixed,
             Line<W>& maskable) {
    for (std::size_t w = 0; w < W; ++w) {
        const int wordStart = int(64 * w) - kLead;
        const int first = std::max(0, wordStart);
        const int last = std::min(n, wordStart + 64);
        std::uint64_t fixedWord = 0;
        std::uint64_t maskableWord = 0;
        for (int k = first; k < last; ++k) {
            const std::uint64_t drawn = function[k];
            const std::uint64_t isData = drawn == 0;
            const std::uint64_t dark = (drawn & 1) | (isData & data[k]);
            fixedWord |= dark << (k - wordStart);
            maskableWord |= isData << (k - wordStart);
        }
        fixed.words[w] = fixedWord;
        maskable.words[w] = maskableWord;
    }
}

// The ISO/IEC 18004 mask conditions for row i and column j.
constexpr bool MaskCondition(int mask, int i, int j) {
    switch (mask) {
    case 1:
        return i % 2 == 0;
    case 2:
        return j % 3 == 0;
    case 3:
        return (i + j) % 3 == 0;
    case 4:
        return (i / 2 + j / 3) % 2 == 0;
    case 5:
        return (i * j) % 2 + (i * j) % 3 == 0;
    case 6:
        return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    case 7:
        return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
    default:
        return (i + j) % 2 == 0;
    }
}

// Every mask repeats every 12 rows and every 12 columns, so 12 packed rows per mask hold it: row i takes
// lines[mask][i % 12].
inline constexpr int kMaskPeriod = 12;
template <std::size_t W> using MaskLines = std::array<std::array<Line<W>, kMaskPeriod>, 8>;

template <std::size_t W> constexpr MaskLines<W> MakeMaskLines() {
    MaskLines<W> lines{};
    for (int mask = 0; mask < 8; ++mask) {
        for (int i = 0; i < kMaskPeriod; ++i) {
            for (int j = 0; j + kLead < int(64 * W); ++j) {
                if (MaskCondition(mask, i, j)) {
                    lines[std::size_t(mask)][std::size_t(i)].Set(kLead + j);
                }
            }
        }
    }
    return lines;
}

template <std::size_t W> inline constexpr MaskLines<W> kMaskLines = MakeMaskLines<W>();

// Rule 1 from equal-neighbour bits, along a row or down the columns: a run of L >= 5 alike modules scores
// L - 2, its number of five-module windows plus 2 for its last window.
template <std::size_t W> int RunPenalty(const Line<W>& fiveAlike, const Line<W>& fiveAlikeNext) {
    return fiveAlike.Count() + 2 * (fiveAlike & ~fiveAlikeNext).Count();
}

// Rule 3 along one row: dark-light-dark-dark-dark-light-dark with four light modules before or after it,
// counted once however many sides are light. Bit q of the results stands for a pattern starting at module q.
template <std::size_t W> int FinderPatternsAlong(const Line<W>& dark) {
    const Line<W> start = dark.Ahead(kLead);
    const Line<W> pattern = start & ~start.Ahead(1) & start.Ahead(2) & start.Ahead(3) & start.Ahead(4) &
                            ~start.Ahead(5) & start.Ahead(6);
    if (!pattern.Any()) {
        return 0;
    }
    const Line<W> darkInTwo = dark | dark.Ahead(1);
    const Line<W> fourLight = ~(darkInTwo | darkInTwo.Ahead(2)); // modules q - 4 .. q - 1 light
    return (pattern & (fourLight | fourLight.Ahead(kLead + 7))).Count();
}

// Rule 3 down the columns for patterns starting in row y; the light rows around the symbol stand for its
// edge.
template <std::size_t W> int FinderPatternsDown(const PackedSymbol<W>& symbol, int y) {
    const auto row = [&symbol, y](int k) -> const Line<W>& { return symbol.Row(y + k); };
    const Line<W> pattern = row(0) & ~row(1) & row(2) & row(3) & row(4) & ~row(5) & row(6);
    if (!pattern.Any()) {
        return 0;
    }
    const Line<W> lightAbove = ~(row(-4) | row(-3) | row(-2) | row(-1));
    const Line<W> lightBelow = ~(row(7) | row(8) | row(9) | row(10));
    return (pattern & (lightAbove | lightBelow)).Count();
}

// The bits of the n modules of a row.
template <std::size_t W> Line<W> ModuleBits(int n) {
    Line<W> bits;
    for (int k = 0; k < n; ++k) {
        bits.Set(kLead + k);
    }
    return bits;
}

// The four rules on a finished symbol. Per row y: the equal-neighbour bits along the row (`same`) give
// runs along it and, with the row above, 2 x 2 blocks; the rows y .. y + 4 alike bit by bit give runs down
// the columns.
template <std::size_t W> int Penalty(const PackedSymbol<W>& symbol) {
    const int n = symbol.n;
    const Line<W> columns = ModuleBits<W>(n);
    const Line<W> pairs = columns & columns.Ahead(1);
    const auto alikeBelow = [&symbol, &columns](int y) {
        return ~(symbol.Row(y) ^ symbol.Row(y + 1)) & columns;
    };
    int runs = 0;
    int finders = 0;
    int blocks = 0;
    int dark = 0;
    Line<W> sameAbove;
    std::array<Line<W>, 4> alike{}; // alike[k % 4]: rows k and k + 1 alike, kept for k = y .. y + 3
    Line<W> fiveDown;               // rows y .. y + 4 alike
    if (n >= 5) {
        for (int k = 0; k < 4; ++k) {
            alike[std::size_t(k)] = alikeBelow(k);
        }
        fiveDown = alike[0] & alike[1] & alike[2] & alike[3];
    }
    for (int y = 0; y < n; ++y) {
        const Line<W>& row = symbol.Row(y);
        const Line<W> same = ~(row ^ row.Ahead(1)) & pairs;
        const Line<W> twoSame = same & same.Ahead(1);
        const Line<W> fiveAlong = twoSame & twoSame.Ahead(2);
        runs += RunPenalty(fiveAlong, fiveAlong.Ahead(1));
        finders += FinderPatternsAlong(row);
        dark += row.Count();
        if (y > 0) {
            blocks += (same & sameAbove & ~(row ^ symbol.Row(y - 1))).Count();
        }
        sameAbove = same;

        if (y + 4 < n) {
            Line<W> fiveDownNext;
            if (y + 5 < n) {
                alike[std::size_t(y + 4) % 4] = alikeBelow(y + 4);
                fiveDownNext = alike[0] & alike[1] & alike[2] & alike[3];
            }
            runs += RunPenalty(fiveDown, fiveDownNext);
            fiveDown = fiveDownNext;
        }
        if (y + 6 < n) {
            finders += FinderPatternsDown(symbol, y);
        }
    }
    const int percent = dark * 100 / (n * n);
    return runs + 3 * blocks + 40 * finders + 10 * (std::abs(percent - 50) / 5);
}

struct ModulePosition {
    int x = 0;
    int y = 0;
};

// The two copies of the format information in a symbol of side n: entry k carries bit k % 15.
inline std::array<ModulePosition, 30> FormatModules(int n) {
    std::array<ModulePosition, 30> at;
    for (int i = 0; i <= 5; ++i) {
        at[std::size_t(i)] = {8, i};
    }
    at[6] = {8, 7};
    at[7] = {8, 8};
    at[8] = {7, 8};
    for (int i = 9; i < 15; ++i) {
        at[std::size_t(i)] = {14 - i, 8};
    }
    for (int i = 0; i < 8; ++i) {
        at[std::size_t(15 + i)] = {n - 1 - i, 8};
    }
    for (int i = 8; i < 15; ++i) {
        at[std::size_t(15 + i)] = {8, n - 15 + i};
    }
    return at;
}

// The mask of lowest penalty, the lower number on a tie. `fixed` is the symbol before masking with its
// format modules light; `maskable` marks the modules the mask applies to; formatBits[m] are the format bits
// that go with mask m.
template <std::size_t W>
int LowestPenaltyMask(const PackedSymbol<W>& fixed, const PackedSymbol<W>& maskable,
                      const std::array<int, 8>& formatBits) {
    const int n = fixed.n;
    const std::array<ModulePosition, 30> formatModules = FormatModules(n);
    PackedSymbol<W> masked(n);
    int best = 0;
    int bestScore = 0;
    for (int mask = 0; mask < 8; ++mask) {
        const auto& pattern = kMaskLines<W>[std::size_t(mask)];
        for (int y = 0; y < n; ++y) {
            masked.Row(y) = fixed.Row(y) ^ (pattern[std::size_t(y % kMaskPeriod)] & maskable.Row(y));
        }
        for (std::size_t k = 0; k < formatModules.size(); ++k) {
            if ((formatBits[std::size_t(mask)] >> (k % 15)) & 1) {
                masked.Set(formatModules[k].x, formatModules[k].y);
            }
        }
        const int score = Penalty(masked);
        if (mask == 0 || score < bestScore) {
            best = mask;
            bestScore = score;
        }
    }
    return best;
}

// Debian's x86-64 baseline lacks the POPCNT instruction, which turns every bit count into a library call
// and costs the scoring more than half its time; where the processor has it, a copy compiled for it runs.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__POPCNT__)
template <std::size_t W>
[[gnu::target("popcnt"), gnu::flatten]] int
LowestPenaltyMaskCountingFast(const PackedSymbol<W>& fixed, const PackedSymbol<W>& maskable,
                              const std::array<int, 8>& formatBits) {
    return LowestPenaltyMask(fixed, maskable, formatBits);
}
template <std::size_t W>
[[gnu::target("popcnt"), gnu::flatten]] int PenaltyCountingFast(const PackedSymbol<W>& symbol) {
    return Penalty(symbol);
}
inline bool HasFastCount() {
    static const bool has = __builtin_cpu_supports("popcnt");
    return has;
}
#define QRMASK_COUNTS_FAST_WHERE_PRESENT
#endif

// LowestPenaltyMask and Penalty, through the POPCNT copy where the processor runs it.
template <std::size_t W>
int ChooseMask(const PackedSymbol<W>& fixed, const PackedSymbol<W>& maskable,
               const std::array<int, 8>& formatBits) {
#ifdef QRMASK_COUNTS_FAST_WHERE_PRESENT
    if (HasFastCount()) {
        return LowestPenaltyMaskCountingFast(fixed, maskable, formatBits);
    }
#endif
    return LowestPenaltyMask(fixed, maskable, formatBits);
}

template <std::size_t W> int Score(const PackedSymbol<W>& symbol) {
#ifdef QRMASK_COUNTS_FAST_WHERE_PRESENT
    if (HasFastCount()) {
        return PenaltyCountingFast(symbol);
    }
#endif
    return Penalty(symbol);
}

} // namespace QrMask
