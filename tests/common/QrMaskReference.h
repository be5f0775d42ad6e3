#pragma once

// The lowest-penalty mask found the plain way, as a yardstick for the encoder's own choice: all eight
// fixed-mask symbols encoded whole and each scored module by module.

#include "mobile/qr/QRCode.h"

#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

namespace QrMaskReference {

// Runs of five or more (3 + the excess), 2 x 2 blocks (3 each), 1:1:3:1:1 patterns with four light modules
// on either side, the edge counting as light (40 each), and 10 for every full 5 % the dark share is off 50 %.
inline int Penalty(const std::vector<std::uint8_t>& modules, int n) {
    const auto at = [&](int row, int column, bool transposed) {
        return transposed ? modules[static_cast<size_t>(column * n + row)]
                          : modules[static_cast<size_t>(row * n + column)];
    };
    int score = 0;
    for (const bool transposed : {false, true}) {
        for (int row = 0; row < n; ++row) {
            int run = 1;
            for (int column = 1; column <= n; ++column) {
                if (column < n && at(row, column, transposed) == at(row, column - 1, transposed)) {
                    ++run;
                    continue;
                }
                if (run >= 5)
                    score += 3 + (run - 5);
                run = 1;
            }
            for (int column = 0; column + 7 <= n; ++column) {
                static constexpr std::uint8_t finder[7] = {1, 0, 1, 1, 1, 0, 1};
                bool match = true;
                for (int k = 0; k < 7 && match; ++k)
                    match = at(row, column + k, transposed) == finder[k];
                if (!match)
                    continue;
                const auto lightRun = [&](int from, int to) {
                    for (int k = from; k < to; ++k)
                        if (k >= 0 && k < n && at(row, k, transposed))
                            return false;
                    return true;
                };
                if (lightRun(column - 4, column) || lightRun(column + 7, column + 11))
                    score += 40;
            }
        }
    }
    int dark = 0;
    for (int row = 0; row < n; ++row)
        for (int column = 0; column < n; ++column) {
            dark += modules[static_cast<size_t>(row * n + column)];
            if (row + 1 < n && column + 1 < n) {
                const std::uint8_t v = at(row, column, false);
                if (at(row, column + 1, false) == v && at(row + 1, column, false) == v &&
                    at(row + 1, column + 1, false) == v)
                    score += 3;
            }
        }
    const int percent = dark * 100 / (n * n);
    return score + 10 * (std::abs(percent - 50) / 5);
}

struct Choice {
    int mask = -1; // -1: the encoder refused the input
    std::vector<std::uint8_t> modules;
};

// The first of the eight masks with the lowest score, and its symbol.
inline Choice BestMask(clsQRCode& encoder, const QByteArray& bytes, int version, int level) {
    Choice best;
    int bestScore = std::numeric_limits<int>::max();
    for (int mask = 0; mask < 8; ++mask) {
        std::vector<std::uint8_t> modules = encoder.EncodeModules(bytes, version, level, mask);
        if (modules.empty())
            return {};
        const int n = static_cast<int>(std::lround(std::sqrt(static_cast<double>(modules.size()))));
        if (const int score = Penalty(modules, n); score < bestScore) {
            bestScore = score;
            best = {mask, std::move(modules)};
        }
    }
    return best;
}

} // namespace QrMaskReference
