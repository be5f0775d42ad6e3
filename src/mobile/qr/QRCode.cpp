// Hand-written on purpose: the program carries its own QR encoder and links no QR library.
#include "mobile/qr/QRCode.h"

#include "mobile/qr/FiniteField.h"
#include "mobile/qr/MaskPenalty.h"
#include "mobile/qr/QRPicture.h"
#include "mobile/qr/ReedSolomon.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <optional>

namespace {

// Error correction blocks and codewords per block, per version 1 .. 40 (index 0 unused), levels L M Q H.
constexpr std::array<std::array<std::int8_t, 41>, 4> kEccBlocks{{
    {0, 1, 1, 1,  1,  1,  2,  2,  2,  2,  4,  4,  4,  4,  4,  6,  6,  6,  6,  7, 8,
     8, 9, 9, 10, 12, 12, 12, 13, 14, 15, 16, 17, 18, 19, 19, 20, 21, 22, 24, 25},
    {0,  1,  1,  1,  2,  2,  4,  4,  4,  5,  5,  5,  8,  9,  9,  10, 10, 11, 13, 14, 16,
     17, 17, 18, 20, 21, 23, 25, 26, 28, 29, 31, 33, 35, 37, 38, 40, 43, 45, 47, 49},
    {0,  1,  1,  2,  2,  4,  4,  6,  6,  8,  8,  8,  10, 12, 16, 12, 17, 16, 18, 21, 20,
     23, 23, 25, 27, 29, 34, 34, 35, 38, 40, 43, 45, 48, 51, 53, 56, 59, 62, 65, 68},
    {0,  1,  1,  2,  4,  4,  4,  5,  6,  8,  8,  11, 11, 16, 16, 18, 16, 19, 21, 25, 25,
     25, 34, 30, 32, 35, 37, 40, 42, 45, 48, 51, 54, 57, 60, 63, 66, 70, 74, 77, 81},
}};
constexpr std::array<std::array<std::int8_t, 41>, 4> kEccPerBlock{{
    {0,  7,  10, 15, 20, 26, 18, 20, 24, 30, 18, 20, 24, 26, 30, 22, 24, 28, 30, 28, 28,
     28, 28, 30, 30, 26, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
    {0,  10, 16, 26, 18, 24, 16, 18, 22, 22, 26, 30, 22, 22, 24, 24, 28, 28, 26, 26, 26,
     26, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28},
    {0,  13, 22, 18, 26, 18, 24, 18, 22, 20, 24, 28, 26, 24, 20, 30, 24, 28, 28, 26, 30,
     28, 30, 30, 30, 30, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
    {0,  17, 28, 22, 16, 22, 28, 26, 26, 24, 28, 24, 28, 22, 24, 24, 30, 28, 28, 26, 28,
     30, 24, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
}};

// Two-bit level indicators of the format information for L M Q H.
constexpr std::array<int, 4> kLevelIndicator{1, 0, 3, 2};
// Mode indicators and the width of the first character, by mode number (byte, numeric, alnum, kanji).
constexpr std::array<int, 4> kModeIndicator{4, 1, 2, 8};
constexpr std::array<int, 4> kFirstCharBits{8, 4, 6, 13};
// Character count widths per version group (1-9, 10-26, 27-40).
constexpr std::array<std::array<int, 4>, 3> kCountWidth{{{8, 10, 9, 8}, {16, 12, 11, 10}, {16, 14, 13, 12}}};

constexpr int kInfinite = INT_MAX / 2;

int VersionGroup(int version) {
    return version <= 9 ? 0 : (version <= 26 ? 1 : 2);
}
int FirstVersionOfGroup(int group) {
    return group == 0 ? 1 : (group == 1 ? 10 : 27);
}
int LastVersionOfGroup(int group) {
    return group == 0 ? 9 : (group == 1 ? 26 : 40);
}

int ContinueBits(int mode, int count) {
    switch (mode) {
    case clsQRCode::kNumeric:
        return count % 3 == 0 ? 4 : 3;
    case clsQRCode::kAlphanumeric:
        return count % 2 == 0 ? 6 : 5;
    case clsQRCode::kKanji:
        return 13;
    default:
        return 8;
    }
}

// One state of the segmentation table: cost so far, mode of the previous state, characters in the segment.
struct SegmentState {
    int cost = kInfinite;
    int count = 0;
    std::int8_t previous = -1;
};

// The filled table of one version group, one record per input byte and mode.
struct SegmentTable {
    int group = 0;
    int bits = 0; // cost of the cheapest split, without terminator
    int best = 0; // mode of the last position
    std::vector<SegmentState> states;
};

// Byte classes: 1 digit, 2 other alphanumeric character, 0 anything else; and alphanumeric values.
struct ByteTables {
    std::array<std::uint8_t, 256> charClass{};
    std::array<std::uint8_t, 256> alphanumeric{};
};

constexpr ByteTables MakeByteTables() {
    ByteTables tables;
    const char symbols[] = " $%*+-./:";
    for (int c = '0'; c <= '9'; ++c) {
        tables.charClass[std::size_t(c)] = 1;
        tables.alphanumeric[std::size_t(c)] = std::uint8_t(c - '0');
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        tables.charClass[std::size_t(c)] = 2;
        tables.alphanumeric[std::size_t(c)] = std::uint8_t(c - 'A' + 10);
    }
    for (int i = 0; i < 9; ++i) {
        const auto c = static_cast<unsigned char>(symbols[i]);
        tables.charClass[c] = 2;
        tables.alphanumeric[c] = std::uint8_t(36 + i);
    }
    return tables;
}

constexpr ByteTables kByteTables = MakeByteTables();

// Dynamic programming over positions and modes for the count widths of one version group.
SegmentTable BuildSegmentTable(const QByteArray& bytes, int group) {
    SegmentTable table;
    table.group = group;
    const qsizetype length = bytes.size();
    if (length == 0) {
        return table;
    }
    const auto& widths = kCountWidth[std::size_t(group)];
    std::array<int, 4> startBits{};
    std::array<int, 4> largest{};
    for (std::size_t mode = 0; mode < 4; ++mode) {
        startBits[mode] = 4 + widths[mode] + kFirstCharBits[mode];
        largest[mode] = (1 << widths[mode]) - 1;
    }
    table.states.resize(std::size_t(length) * 4);
    SegmentState* const states = table.states.data();
    const auto* const data = reinterpret_cast<const unsigned char*>(bytes.constData());

    for (qsizetype t = 0; t < length; ++t) {
        const int charClass = kByteTables.charClass[data[t]];
        const bool kanji = t >= 1 && clsQRCode::IsKanjiPair(data[t - 1], data[t]);
        const std::array<bool, 4> possible{true, charClass == 1, charClass != 0, kanji};
        SegmentState* const here = states + t * 4;
        for (int mode = 0; mode < 4; ++mode) {
            if (!possible[std::size_t(mode)]) {
                continue;
            }
            SegmentState& state = here[mode];
            const qsizetype from = t - (mode == clsQRCode::kKanji ? 2 : 1);
            if (from < 0) {
                state = {startBits[std::size_t(mode)], 1, -1};
                continue;
            }
            const SegmentState* const before = states + from * 4;
            for (int previous = 0; previous < 4; ++previous) {
                if (before[previous].cost >= kInfinite) {
                    continue;
                }
                const bool continues =
                    previous == mode && before[previous].count < largest[std::size_t(mode)];
                const int cost =
                    before[previous].cost +
                    (continues ? ContinueBits(mode, before[previous].count) : startBits[std::size_t(mode)]);
                if (cost < state.cost) {
                    state.cost = cost;
                    state.count = continues ? before[previous].count + 1 : 1;
                    state.previous = static_cast<std::int8_t>(previous);
                }
            }
        }
    }
    const SegmentState* const last = states + (length - 1) * 4;
    for (int mode = 1; mode < 4; ++mode) {
        if (last[mode].cost < last[table.best].cost) {
            table.best = mode;
        }
    }
    table.bits = last[table.best].cost;
    return table;
}

// Traces the modes back from the end, then cuts runs of one mode into segments of at most the largest count.
std::vector<clsQRCode::Segment> TraceSegments(const SegmentTable& table) {
    std::vector<clsQRCode::Segment> segments;
    const auto length = qsizetype(table.states.size() / 4);
    if (length == 0) {
        return segments;
    }
    const auto& widths = kCountWidth[std::size_t(table.group)];
    std::vector<std::int8_t> modeAt(std::size_t(length), 0);
    int mode = table.best;
    for (qsizetype t = length - 1; t >= 0 && mode >= 0;) {
        const int previous = table.states[std::size_t(t) * 4 + std::size_t(mode)].previous;
        const qsizetype width = mode == clsQRCode::kKanji ? 2 : 1;
        for (qsizetype i = 0; i < width; ++i) {
            modeAt[std::size_t(t - i)] = static_cast<std::int8_t>(mode);
        }
        t -= width;
        mode = previous;
    }
    for (qsizetype t = 0; t < length;) {
        const int runMode = modeAt[std::size_t(t)];
        const int largest = (1 << widths[std::size_t(runMode)]) - 1;
        const qsizetype step = runMode == clsQRCode::kKanji ? 2 : 1;
        clsQRCode::Segment segment{runMode, int(t), 0, 0};
        while (t < length && modeAt[std::size_t(t)] == runMode && segment.count < largest) {
            segment.length += int(step);
            segment.count += 1;
            t += step;
        }
        segments.push_back(segment);
    }
    return segments;
}

// Appends bits most significant first into whole codewords; bits past the capacity are dropped.
class BitBuffer {
public:
    explicit BitBuffer(int capacityBits) : capacity_(capacityBits), bytes_((capacityBits + 7) / 8, '\0') {}

    void Append(int value, int bitCount) {
        if (bitCount > capacity_ - length_) { // keep the leading bits that still fit
            const int kept = std::max(0, capacity_ - length_);
            value >>= bitCount - kept;
            bitCount = kept;
        }
        char* const data = bytes_.data();
        while (bitCount > 0) {
            const int room = 8 - (length_ & 7);
            const int take = std::min(room, bitCount);
            const int bits = (value >> (bitCount - take)) & ((1 << take) - 1);
            data[length_ >> 3] = char(data[length_ >> 3] | (bits << (room - take)));
            length_ += take;
            bitCount -= take;
        }
    }
    int Length() const { return length_; }
    const QByteArray& Bytes() const { return bytes_; }

private:
    int capacity_;
    int length_ = 0;
    QByteArray bytes_;
};

void WriteSegment(BitBuffer& buffer, const QByteArray& bytes, const clsQRCode::Segment& segment, int group) {
    const auto byteAt = [&bytes, &segment](int i) {
        return static_cast<unsigned char>(bytes[segment.start + i]);
    };
    buffer.Append(kModeIndicator[segment.mode], 4);
    buffer.Append(segment.count, kCountWidth[group][segment.mode]);
    switch (segment.mode) {
    case clsQRCode::kNumeric:
        for (int i = 0; i < segment.length; i += 3) {
            const int digits = std::min(3, segment.length - i);
            int value = 0;
            for (int d = 0; d < digits; ++d) {
                value = value * 10 + (byteAt(i + d) & 15);
            }
            buffer.Append(value, digits * 3 + 1);
        }
        break;
    case clsQRCode::kAlphanumeric:
        for (int i = 0; i < segment.length; i += 2) {
            if (i + 1 < segment.length) {
                buffer.Append(45 * clsQRCode::AlphanumericValue(byteAt(i)) +
                                  clsQRCode::AlphanumericValue(byteAt(i + 1)),
                              11);
            } else {
                buffer.Append(clsQRCode::AlphanumericValue(byteAt(i)), 6);
            }
        }
        break;
    case clsQRCode::kKanji:
        for (int i = 0; i + 1 < segment.length; i += 2) {
            const int first = byteAt(i);
            const int second = byteAt(i + 1);
            buffer.Append((first - (first >= 0xE0 ? 0xC1 : 0x81)) * 0xC0 + (second - 0x40), 13);
        }
        break;
    default:
        for (int i = 0; i < segment.length; ++i) {
            buffer.Append(byteAt(i), 8);
        }
        break;
    }
}

// Module matrices of one symbol: the function matrix has n + 3 columns and rows (0 not a function module,
// 1 dark, 2 light while building; final colours after the merge), the data matrix n x n.
class SymbolBuilder {
public:
    explicit SymbolBuilder(int version)
        : version_(version), n_(clsQRCode::SymbolSize(version)), stride_(n_ + 3),
          function_(std::size_t(stride_) * stride_, 0), data_(std::size_t(n_) * n_, 0) {}

    void DrawFunctionPatterns() {
        DrawFinder(0, 0);
        DrawFinder(n_ - 7, 0);
        DrawFinder(0, n_ - 7);
        // Format information areas, reserved light; (8, 6) and (6, 8) belong to the timing patterns.
        for (int i = 0; i <= 8; ++i) {
            if (i != 6) {
                Function(8, i) = 2;
                Function(i, 8) = 2;
            }
        }
        for (int i = 0; i < 8; ++i) {
            Function(n_ - 1 - i, 8) = 2;
            Function(8, n_ - 1 - i) = 2;
        }
        Function(8, n_ - 8) = 1;
        DrawVersionInformation();
        for (int i = 8; i <= n_ - 9; ++i) {
            Function(i, 6) = i % 2 == 0 ? 1 : 2;
            Function(6, i) = i % 2 == 0 ? 1 : 2;
        }
        DrawAlignmentPatterns();
    }

    // Two-column zigzag from the right edge, skipping function modules and column 6.
    void PlaceCodewords(const QByteArray& codewords) {
        const qsizetype bitCount = codewords.size() * 8;
        qsizetype bit = 0;
        for (int right = n_ - 1; right >= 1; right -= 2) {
            if (right == 6) {
                right = 5;
            }
            const bool upward = ((right + 1) & 2) == 0;
            for (int step = 0; step < n_; ++step) {
                const int y = upward ? n_ - 1 - step : step;
                for (int column = 0; column < 2; ++column) {
                    const int x = right - column;
                    if (Function(x, y) != 0 || bit >= bitCount) {
                        continue;
                    }
                    Data(x, y) = (static_cast<unsigned char>(codewords[bit >> 3]) >> (7 - (bit & 7))) & 1;
                    ++bit;
                }
            }
        }
    }

    void ApplyMask(int mask) {
        switch (mask) {
        case 1:
            return XorWhere([](int i, int) { return i % 2 == 0; });
        case 2:
            return XorWhere([](int, int j) { return j % 3 == 0; });
        case 3:
            return XorWhere([](int i, int j) { return (i + j) % 3 == 0; });
        case 4:
            return XorWhere([](int i, int j) { return (i / 2 + j / 3) % 2 == 0; });
        case 5:
            return XorWhere([](int i, int j) { return (i * j) % 2 + (i * j) % 3 == 0; });
        case 6:
            return XorWhere([](int i, int j) { return ((i * j) % 2 + (i * j) % 3) % 2 == 0; });
        case 7:
            return XorWhere([](int i, int j) { return ((i + j) % 2 + (i * j) % 3) % 2 == 0; });
        default:
            return XorWhere([](int i, int j) { return (i + j) % 2 == 0; });
        }
    }

    void Merge() {
        for (int y = 0; y < n_; ++y) {
            std::uint8_t* const function = function_.data() + std::size_t(y) * stride_;
            const std::uint8_t* const data = data_.data() + std::size_t(y) * n_;
            for (int x = 0; x < n_; ++x) {
                // Without a branch: the function value where there is one, else the data value.
                const std::uint8_t takeData = std::uint8_t(-int(function[x] == 0));
                function[x] = std::uint8_t(((function[x] & ~takeData) | (data[x] & takeData)) & 1);
            }
        }
    }

    void DrawFormatInformation(int level, int mask) {
        const int bits = clsQRCode::FormatBits(level, mask);
        const std::array<QrMask::ModulePosition, 30> modules = QrMask::FormatModules(n_);
        for (std::size_t k = 0; k < modules.size(); ++k) {
            Function(modules[k].x, modules[k].y) = std::uint8_t((bits >> (k % 15)) & 1);
        }
    }

    // The mask of lowest penalty for the placed data, scored with the format information each mask brings.
    int LowestPenaltyMask(int level) const {
        switch (QrMask::WordsFor(n_)) {
        case 1:
            return LowestPenaltyMaskPacked<1>(level);
        case 2:
            return LowestPenaltyMaskPacked<2>(level);
        default:
            return LowestPenaltyMaskPacked<3>(level);
        }
    }

    int Size() const { return n_; }
    int Stride() const { return stride_; }
    const std::vector<std::uint8_t>& FunctionMatrix() const { return function_; }

private:
    std::uint8_t& Function(int x, int y) { return function_[std::size_t(y) * stride_ + x]; }
    std::uint8_t& Data(int x, int y) { return data_[std::size_t(y) * n_ + x]; }

    // Packs the symbol before masking: function modules as drawn (the format modules still light), data
    // modules unmasked and marked maskable.
    template <std::size_t W> int LowestPenaltyMaskPacked(int level) const {
        QrMask::PackedSymbol<W> fixed(n_);
        QrMask::PackedSymbol<W> maskable(n_);
        for (int y = 0; y < n_; ++y) {
            QrMask::PackRow(function_.data() + std::size_t(y) * stride_, data_.data() + std::size_t(y) * n_,
                            n_, fixed.Row(y), maskable.Row(y));
        }
        std::array<int, 8> formatBits{};
        for (int mask = 0; mask < 8; ++mask) {
            formatBits[std::size_t(mask)] = clsQRCode::FormatBits(level, mask);
        }
        return QrMask::ChooseMask(fixed, maskable, formatBits);
    }

    // Version information from version 7, drawn before the data are placed (1 dark, 2 light).
    void DrawVersionInformation() {
        if (version_ < 7) {
            return;
        }
        const int bits = clsQRCode::VersionBits(version_);
        for (int k = 0; k < 18; ++k) {
            const std::uint8_t value = ((bits >> k) & 1) != 0 ? 1 : 2;
            Function(n_ - 11 + k % 3, k / 3) = value;
            Function(k / 3, n_ - 11 + k % 3) = value;
        }
    }

    // XORs 1 into every data module whose row i and column j meet the mask condition. Every condition
    // depends on the row only through i mod 12, so 12 row patterns are computed once and XORed row by row.
    template <typename Condition> void XorWhere(Condition condition) {
        constexpr int kRowPeriod = 12;
        const int patternRows = std::min(n_, kRowPeriod);
        std::vector<std::uint8_t> patterns(std::size_t(patternRows) * n_);
        for (int i = 0; i < patternRows; ++i) {
            for (int j = 0; j < n_; ++j) {
                patterns[std::size_t(i) * n_ + j] = std::uint8_t(condition(i, j));
            }
        }
        for (int i = 0; i < n_; ++i) {
            const std::uint8_t* const pattern = patterns.data() + std::size_t(i % kRowPeriod) * n_;
            std::uint8_t* const row = data_.data() + std::size_t(i) * n_;
            for (int j = 0; j < n_; ++j) {
                row[j] ^= pattern[j];
            }
        }
    }

    // Finder pattern with its light separator, clipped to the symbol.
    void DrawFinder(int left, int top) {
        for (int dy = -1; dy <= 7; ++dy) {
            for (int dx = -1; dx <= 7; ++dx) {
                const int x = left + dx;
                const int y = top + dy;
                if (x < 0 || y < 0 || x >= n_ || y >= n_) {
                    continue;
                }
                const int ring = std::max(std::abs(dx - 3), std::abs(dy - 3));
                Function(x, y) = (ring == 2 || ring == 4) ? 2 : 1;
            }
        }
    }

    void DrawAlignmentPatterns() {
        if (version_ < 2) {
            return;
        }
        std::vector<int> centres{6};
        const int spacing = clsQRCode::AlignmentSpacing(version_);
        std::vector<int> far;
        if (spacing == 0) {
            far.push_back(n_ - 7);
        } else {
            for (int c = n_ - 7; c >= 18; c -= spacing) {
                far.push_back(c);
            }
        }
        centres.insert(centres.end(), far.rbegin(), far.rend());
        for (const int cy : centres) {
            for (const int cx : centres) {
                const bool nearFinder =
                    (cx == 6 && cy == 6) || (cx == 6 && cy == n_ - 7) || (cx == n_ - 7 && cy == 6);
                if (nearFinder) {
                    continue;
                }
                for (int dy = -2; dy <= 2; ++dy) {
                    for (int dx = -2; dx <= 2; ++dx) {
                        Function(cx + dx, cy + dy) = std::max(std::abs(dx), std::abs(dy)) == 1 ? 2 : 1;
                    }
                }
            }
        }
    }

    int version_;
    int n_;
    int stride_;
    std::vector<std::uint8_t> function_;
    std::vector<std::uint8_t> data_;
};

int NormalLevel(int level) {
    return level >= 1 && level <= 4 ? level : clsQRCode::kLevelM;
}

int NormalMask(int mask) {
    return mask >= 0 && mask <= 7 ? mask : 0;
}

template <std::size_t W> int PackedPenalty(std::span<const std::uint8_t> modules, int n) {
    QrMask::PackedSymbol<W> symbol(n);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            if (modules[std::size_t(y) * std::size_t(n) + std::size_t(x)] != 0) {
                symbol.Set(x, y);
            }
        }
    }
    return QrMask::Score(symbol);
}

} // namespace

clsQRCode::clsQRCode() : field_(std::make_unique<clsFiniteField>()) {
    field_->InitField(256, 285, 2);
}
clsQRCode::~clsQRCode() = default;
clsQRCode::clsQRCode(clsQRCode&&) noexcept = default;
clsQRCode& clsQRCode::operator=(clsQRCode&&) noexcept = default;

int clsQRCode::RawModuleCount(int version) {
    const int n = SymbolSize(version);
    int count = n * (n - 2) - 191;
    if (version >= 2) {
        const int a = version / 7 + 2;
        count += 55 + 10 * a - 25 * a * a;
        if (version >= 7) {
            count -= 36;
        }
    }
    return count;
}

int clsQRCode::AlignmentCount(int version) {
    if (version <= 1) {
        return 0;
    }
    const int perSide = AlignmentPerSide(version);
    return perSide * perSide - 3;
}

int clsQRCode::AlignmentSpacing(int version) {
    if (version <= 6) {
        return 0;
    }
    if (version <= 13) {
        return 2 * version + 2;
    }
    if (version <= 20) {
        return ((2 * version + 4) / 3) * 2;
    }
    if (version <= 27) {
        return (version + 2) / 2 * 2;
    }
    if (version <= 34) {
        return (version / 3) * 2 + 6;
    }
    return (version / 3) * 2 + 2;
}

int clsQRCode::EccBlockCount(int version, int level) {
    if (version < 1 || version > 40) {
        return 0;
    }
    return kEccBlocks[std::size_t(NormalLevel(level) - 1)][std::size_t(version)];
}

int clsQRCode::EccCodewordsPerBlock(int version, int level) {
    if (version < 1 || version > 40) {
        return 0;
    }
    return kEccPerBlock[std::size_t(NormalLevel(level) - 1)][std::size_t(version)];
}

int clsQRCode::DataCodewordCount(int version, int level) {
    if (version < 1 || version > 40) {
        return 0;
    }
    return CodewordCount(version) - EccBlockCount(version, level) * EccCodewordsPerBlock(version, level);
}

int clsQRCode::BchRemainder(int value, int generator, int top, int n) {
    for (int i = 0; i < n; ++i) {
        value <<= 1;
        if (value & top) {
            value = (value ^ generator) & (top - 1);
        }
    }
    return value;
}

int clsQRCode::FormatBits(int level, int mask) {
    const int data =
        kLevelIndicator[std::size_t(NormalLevel(level) - 1)] * 8 + (mask >= 0 && mask <= 7 ? mask : 0);
    return (data * 1024 + BchRemainder(data, 1335, 1024, 10)) ^ 0x5412;
}

int clsQRCode::VersionBits(int version) {
    return version * 4096 + BchRemainder(version, 7973, 4096, 12);
}

int clsQRCode::AlphanumericValue(unsigned char byte) {
    return kByteTables.alphanumeric[byte];
}

int clsQRCode::CharClass(unsigned char byte) {
    return kByteTables.charClass[byte];
}

bool clsQRCode::IsKanjiPair(unsigned char first, unsigned char second) {
    if (second < 0x40) {
        return false;
    }
    return (first >= 0x81 && first <= 0x9F) || (first >= 0xE0 && first <= 0xEA) ||
           (first == 0xEB && second < 0xC0);
}

std::vector<clsQRCode::Segment> clsQRCode::Segmentation(const QByteArray& bytes, int version) {
    return TraceSegments(BuildSegmentTable(bytes, VersionGroup(version)));
}

int clsQRCode::EncodeSegments(const QByteArray& bytes, int version) {
    return BuildSegmentTable(bytes, VersionGroup(version)).bits + 4;
}

namespace {

struct VersionChoice {
    int version = 0; // 0: the data do not fit
    SegmentTable table;
};

// A version fits when its data codewords hold the segments; the terminator may be cut short.
VersionChoice SelectVersion(const QByteArray& bytes, int version, int level) {
    VersionChoice choice;
    if (version < 0 || bytes.size() > clsQRCode::kMaxInputBytes) {
        return choice;
    }
    const auto fits = [level](int v, int bits) { return clsQRCode::DataCodewordCount(v, level) * 8 >= bits; };
    if (version >= 1 && version <= 40) {
        choice.table = BuildSegmentTable(bytes, VersionGroup(version));
        choice.version = fits(version, choice.table.bits) ? version : 0;
        return choice;
    }
    for (int group = 0; group < 3; ++group) {
        // No byte costs less than 10/3 bits (a digit), so a group whose largest version cannot hold that
        // many bits is passed over without building its table.
        const int largestBits = clsQRCode::DataCodewordCount(LastVersionOfGroup(group), level) * 8;
        if (group < 2 && bytes.size() * 10 > qsizetype(largestBits) * 3) {
            continue;
        }
        choice.table = BuildSegmentTable(bytes, group);
        for (int v = FirstVersionOfGroup(group); v <= LastVersionOfGroup(group); ++v) {
            if (fits(v, choice.table.bits)) {
                choice.version = v;
                return choice;
            }
        }
    }
    return choice;
}

// Segments, terminator, zero bits to the codeword boundary and the alternating pad codewords.
QByteArray WriteDataCodewords(const QByteArray& bytes, const SegmentTable& table, int version, int level) {
    const int capacity = clsQRCode::DataCodewordCount(version, level) * 8;
    BitBuffer buffer(capacity);
    for (const clsQRCode::Segment& segment : TraceSegments(table)) {
        WriteSegment(buffer, bytes, segment, table.group);
    }
    buffer.Append(0, 4);
    buffer.Append(0, (8 - buffer.Length() % 8) % 8);
    for (int pad = 0xEC; buffer.Length() < capacity; pad ^= 0xEC ^ 0x11) {
        buffer.Append(pad, 8);
    }
    return buffer.Bytes();
}

} // namespace

int clsQRCode::ChooseVersion(const QByteArray& bytes, int version, int level) {
    return SelectVersion(bytes, version, NormalLevel(level)).version;
}

QByteArray clsQRCode::DataCodewords(const QByteArray& bytes, int version, int level) {
    if (version < 1 || version > 40) {
        return {};
    }
    level = NormalLevel(level);
    const VersionChoice choice = SelectVersion(bytes, version, level);
    return choice.version == 0 ? QByteArray() : WriteDataCodewords(bytes, choice.table, version, level);
}

QByteArray clsQRCode::AddErrorCorrection(const QByteArray& data, int version, int level) {
    const int blocks = EccBlockCount(version, level);
    const int ecc = EccCodewordsPerBlock(version, level);
    const int total = int(data.size());
    const int longLength = (total + blocks - 1) / blocks;
    const int longBlocks = total % blocks == 0 ? blocks : total % blocks;
    const int shortBlocks = blocks - longBlocks;
    if (!coder_) {
        coder_ = std::make_unique<clsReedSolomon>();
    }
    coder_->InitCode(longLength, ecc, field_.get(), 0, 0);

    QByteArray result(CodewordCount(version), '\0');
    char* const out = result.data();
    const char* const in = data.constData();
    std::vector<int> symbols(std::size_t(longLength + ecc));
    int offset = 0;
    for (int b = 0; b < blocks; ++b) {
        const int length = b < shortBlocks ? longLength - 1 : longLength;
        std::fill(symbols.begin(), symbols.end(), 0);
        // First codeword highest; a short block leaves its highest data position 0.
        for (int i = 0; i < length; ++i) {
            symbols[std::size_t(ecc + length - 1 - i)] = static_cast<unsigned char>(in[offset + i]);
        }
        coder_->EncodeBlock(symbols);
        // Interleaving: codeword i of block b goes to pass i; short blocks are missing from the last pass.
        for (int i = 0; i < length; ++i) {
            const int position =
                i < longLength - 1 ? i * blocks + b : (longLength - 1) * blocks + (b - shortBlocks);
            out[position] = in[offset + i];
        }
        for (int i = 0; i < ecc; ++i) {
            out[total + i * blocks + b] = char(symbols[std::size_t(ecc - 1 - i)]);
        }
        offset += length;
    }
    return result;
}

clsQRCode::Matrix clsQRCode::EncodeMatrix(const QByteArray& bytes, int version, int level,
                                          std::optional<int> mask) {
    level = NormalLevel(level);
    const VersionChoice choice = SelectVersion(bytes, version, level);
    const int chosen = choice.version;
    if (chosen == 0) {
        return {};
    }
    const QByteArray codewords =
        AddErrorCorrection(WriteDataCodewords(bytes, choice.table, chosen, level), chosen, level);
    SymbolBuilder symbol(chosen);
    symbol.DrawFunctionPatterns();
    symbol.PlaceCodewords(codewords);
    const int applied = mask ? *mask : symbol.LowestPenaltyMask(level);
    symbol.ApplyMask(applied);
    symbol.Merge();
    symbol.DrawFormatInformation(level, applied);
    return {symbol.Stride(), applied, symbol.FunctionMatrix()};
}

std::vector<std::uint8_t> clsQRCode::MatrixModules(const Matrix& matrix) {
    if (matrix.side == 0) {
        return {};
    }
    const int n = matrix.side - 3;
    std::vector<std::uint8_t> modules(std::size_t(n) * n);
    for (int y = 0; y < n; ++y) {
        std::copy_n(matrix.modules.begin() + std::ptrdiff_t(y) * matrix.side, n,
                    modules.begin() + std::ptrdiff_t(y) * n);
    }
    return modules;
}

QImage clsQRCode::MatrixPicture(const Matrix& matrix) {
    if (matrix.side == 0) {
        return {};
    }
    return MatrixToPicture(matrix.modules, matrix.side, matrix.side, 4, 4, 1, 1);
}

std::vector<std::uint8_t> clsQRCode::EncodeModules(const QByteArray& bytes, int version, int level,
                                                   int mask) {
    return MatrixModules(EncodeMatrix(bytes, version, level, NormalMask(mask)));
}

QImage clsQRCode::EncodeText(const QByteArray& bytes, int version, int level, int mask) {
    return MatrixPicture(EncodeMatrix(bytes, version, level, NormalMask(mask)));
}

std::vector<std::uint8_t> clsQRCode::EncodeModulesBestMask(const QByteArray& bytes, int version, int level,
                                                           int* chosenMask) {
    const Matrix matrix = EncodeMatrix(bytes, version, level, std::nullopt);
    if (chosenMask != nullptr) {
        *chosenMask = matrix.mask;
    }
    return MatrixModules(matrix);
}

QImage clsQRCode::EncodeTextBestMask(const QByteArray& bytes, int version, int level, int* chosenMask) {
    const Matrix matrix = EncodeMatrix(bytes, version, level, std::nullopt);
    if (chosenMask != nullptr) {
        *chosenMask = matrix.mask;
    }
    return MatrixPicture(matrix);
}

int clsQRCode::Penalty(std::span<const std::uint8_t> modules, int n) {
    if (n < 1 || n > QrMask::kLargestSide || modules.size() < std::size_t(n) * std::size_t(n)) {
        return -1;
    }
    switch (QrMask::WordsFor(n)) {
    case 1:
        return PackedPenalty<1>(modules, n);
    case 2:
        return PackedPenalty<2>(modules, n);
    default:
        return PackedPenalty<3>(modules, n);
    }
}
