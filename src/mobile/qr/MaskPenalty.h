#pragma once

// Penalty scores of QR symbols for choosing the mask. Every row and every column is packed into 64-bit
// words, one bit a module, so each rule costs a few word operations per line instead of one step per module,
// and the eight masks are tried on the packed unmasked symbol without building eight symbols.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace QrMask {

inline constexpr int kLargestSide = 177; // version 40
// Light bits ahead of every line, so the finder-pattern rule sees the edge as four light modules.
inline constexpr int kLead = 4;

// Words a line of an n-module symbol takes: the lead, the modules and four light bits behind them.
constexpr std::size_t WordsFor(int n) {
    return std::size_t(n + 2 * kLead + 63) / 64;
}

// One packed row or column: bit kLead + k is module k (1 dark).
template <std::size_t W> struct Line {
    std::array<std::uint64_t, W> words{};

    constexpr void Set(int bit) { words[std::size_t(bit) >> 6] |= std::uint64_t(1) << (bit & 63); }
    constexpr bool Test(int bit) const { return (words[std::size_t(bit) >> 6] >> (bit & 63)) & 1; }
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

// A symbol of side n as packed rows and packed columns.
template <std::size_t W> struct PackedSymbol {
    int n = 0;
    std::array<Line<W>, kLargestSide> rows;
    std::array<Line<W>, kLargestSide> columns;

    explicit PackedSymbol(int side) : n(side) {}
    void Set(int x, int y) {
        rows[std::size_t(y)].Set(kLead + x);
        columns[std::size_t(x)].Set(kLead + y);
    }
};

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

// Every mask repeats every 12 rows and every 12 columns, so 12 packed lines per mask and direction hold it:
// rows[mask][i % 12] across row i, columns[mask][j % 12] down column j.
inline constexpr int kMaskPeriod = 12;
template <std::size_t W> struct MaskLines {
    std::array<std::array<Line<W>, kMaskPeriod>, 8> rows{};
    std::array<std::array<Line<W>, kMaskPeriod>, 8> columns{};
};

template <std::size_t W> constexpr MaskLines<W> MakeMaskLines() {
    MaskLines<W> lines;
    for (int mask = 0; mask < 8; ++mask) {
        for (int phase = 0; phase < kMaskPeriod; ++phase) {
            for (int k = 0; k + kLead < int(64 * W); ++k) {
                if (MaskCondition(mask, phase, k)) {
                    lines.rows[std::size_t(mask)][std::size_t(phase)].Set(kLead + k);
                }
                if (MaskCondition(mask, k, phase)) {
                    lines.columns[std::size_t(mask)][std::size_t(phase)].Set(kLead + k);
                }
            }
        }
    }
    return lines;
}

template <std::size_t W> inline constexpr MaskLines<W> kMaskLines = MakeMaskLines<W>();

// Rule 1 along one line from its equal-neighbour bits: a run of L >= 5 alike modules scores L - 2, which is
// its number of five-module windows plus 2.
template <std::size_t W> int RunPenalty(const Line<W>& sameAsNext) {
    const Line<W> twoPairs = sameAsNext & sameAsNext.Ahead(1);
    const Line<W> fiveAlike = twoPairs & twoPairs.Ahead(2);
    const Line<W> lastWindows = fiveAlike & ~fiveAlike.Ahead(1);
    return fiveAlike.Count() + 2 * lastWindows.Count();
}

// Rule 3 along one line: dark-light-dark-dark-dark-light-dark with four light modules before or after it,
// counted once however many sides are light. Bit q of the results stands for a pattern starting at module q.
template <std::size_t W> int FinderPatternCount(const Line<W>& dark) {
    const Line<W> start = dark.Ahead(kLead);
    const Line<W> pattern = start & ~start.Ahead(1) & start.Ahead(2) & start.Ahead(3) & start.Ahead(4) &
                            ~start.Ahead(5) & start.Ahead(6);
    const Line<W> darkInTwo = dark | dark.Ahead(1);
    const Line<W> fourLight = ~(darkInTwo | darkInTwo.Ahead(2)); // modules q - 4 .. q - 1 light
    return (pattern & (fourLight | fourLight.Ahead(kLead + 7))).Count();
}

// Bits of the modules that have a next module in the line.
template <std::size_t W> Line<W> PairBits(int n) {
    Line<W> pairs;
    for (int k = 0; k + 1 < n; ++k) {
        pairs.Set(kLead + k);
    }
    return pairs;
}

// The four rules on a finished symbol; rule 2 (2 x 2 blocks) from each row's and the next row's
// equal-neighbour bits.
template <std::size_t W> int Penalty(const PackedSymbol<W>& symbol, const Line<W>& pairs) {
    const int n = symbol.n;
    int runs = 0;
    int finders = 0;
    int blocks = 0;
    int dark = 0;
    Line<W> previousSame;
    for (std::size_t i = 0; i < std::size_t(n); ++i) {
        const Line<W>& row = symbol.rows[i];
        const Line<W> same = ~(row ^ row.Ahead(1)) & pairs;
        runs += RunPenalty(same);
        finders += FinderPatternCount(row);
        dark += row.Count();
        if (i > 0) {
            blocks += (same & previousSame & ~(row ^ symbol.rows[i - 1])).Count();
        }
        previousSame = same;

        const Line<W>& column = symbol.columns[i];
        runs += RunPenalty(~(column ^ column.Ahead(1)) & pairs);
        finders += FinderPatternCount(column);
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
    const Line<W> pairs = PairBits<W>(n);
    const std::array<ModulePosition, 30> formatModules = FormatModules(n);
    const MaskLines<W>& maskLines = kMaskLines<W>;
    PackedSymbol<W> masked(n);
    int best = 0;
    int bestScore = 0;
    for (int mask = 0; mask < 8; ++mask) {
        const auto& rowPattern = maskLines.rows[std::size_t(mask)];
        const auto& columnPattern = maskLines.columns[std::size_t(mask)];
        for (std::size_t i = 0; i < std::size_t(n); ++i) {
            const std::size_t phase = i % kMaskPeriod;
            masked.rows[i] = fixed.rows[i] ^ (rowPattern[phase] & maskable.rows[i]);
            masked.columns[i] = fixed.columns[i] ^ (columnPattern[phase] & maskable.columns[i]);
        }
        for (std::size_t k = 0; k < formatModules.size(); ++k) {
            if ((formatBits[std::size_t(mask)] >> (k % 15)) & 1) {
                masked.Set(formatModules[k].x, formatModules[k].y);
            }
        }
        const int score = Penalty(masked, pairs);
        if (mask == 0 || score < bestScore) {
            best = mask;
            bestScore = score;
        }
    }
    return best;
}

} // namespace QrMask
