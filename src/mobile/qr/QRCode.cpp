// Hand-written on purpose: the program carries its own QR encoder and links no QR library.
#include "mobile/qr/QRCode.h"

#include "mobile/qr/FiniteField.h"
#include "mobile/qr/QRPicture.h"
#include "mobile/qr/ReedSolomon.h"

#include <array>
#include <climits>

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

struct SegmentPlan {
    int bits = 0; // without terminator
    std::vector<clsQRCode::Segment> segments;
};

bool ModePossible(const QByteArray& bytes, qsizetype t, int mode) {
    const auto byte = static_cast<unsigned char>(bytes[t]);
    switch (mode) {
    case clsQRCode::kNumeric:
        return clsQRCode::CharClass(byte) == 1;
    case clsQRCode::kAlphanumeric:
        return clsQRCode::CharClass(byte) != 0;
    case clsQRCode::kKanji:
        return t >= 1 && clsQRCode::IsKanjiPair(static_cast<unsigned char>(bytes[t - 1]), byte);
    default:
        return true;
    }
}

// Dynamic programming over positions and modes; the table has one record per input byte and mode.
SegmentPlan PlanSegments(const QByteArray& bytes, int group, bool trace) {
    SegmentPlan plan;
    const qsizetype length = bytes.size();
    if (length == 0) {
        return plan;
    }
    const auto& widths = kCountWidth[group];
    std::vector<SegmentState> table(static_cast<std::size_t>(length) * 4);
    auto at = [&table](qsizetype t, int mode) -> SegmentState& { return table[std::size_t(t) * 4 + mode]; };

    for (qsizetype t = 0; t < length; ++t) {
        for (int mode = 0; mode < 4; ++mode) {
            if (!ModePossible(bytes, t, mode)) {
                continue;
            }
            SegmentState& state = at(t, mode);
            const int startBits = 4 + widths[mode] + kFirstCharBits[mode];
            const qsizetype from = t - (mode == clsQRCode::kKanji ? 2 : 1);
            if (from < 0) {
                state.cost = startBits;
                state.count = 1;
                state.previous = -1;
                continue;
            }
            const int largest = (1 << widths[mode]) - 1;
            for (int previous = 0; previous < 4; ++previous) {
                const SegmentState& before = at(from, previous);
                if (before.cost >= kInfinite) {
                    continue;
                }
                const bool continues = previous == mode && before.count < largest;
                const int cost = before.cost + (continues ? ContinueBits(mode, before.count) : startBits);
                if (cost < state.cost) {
                    state.cost = cost;
                    state.count = continues ? before.count + 1 : 1;
                    state.previous = static_cast<std::int8_t>(previous);
                }
            }
        }
    }
    int best = 0;
    for (int mode = 1; mode < 4; ++mode) {
        if (at(length - 1, mode).cost < at(length - 1, best).cost) {
            best = mode;
        }
    }
    plan.bits = at(length - 1, best).cost;
    if (!trace) {
        return plan;
    }

    // Trace the modes back from the end, then cut runs of one mode at the largest count.
    std::vector<std::int8_t> modeAt(static_cast<std::size_t>(length), 0);
    int mode = best;
    for (qsizetype t = length - 1; t >= 0 && mode >= 0;) {
        const int previous = at(t, mode).previous;
        const qsizetype width = mode == clsQRCode::kKanji ? 2 : 1;
        for (qsizetype i = 0; i < width; ++i) {
            modeAt[std::size_t(t - i)] = static_cast<std::int8_t>(mode);
        }
        t -= width;
        mode = previous;
    }
    for (qsizetype t = 0; t < length;) {
        const int runMode = modeAt[std::size_t(t)];
        const int largest = (1 << widths[runMode]) - 1;
        const qsizetype step = runMode == clsQRCode::kKanji ? 2 : 1;
        clsQRCode::Segment segment{runMode, int(t), 0, 0};
        while (t < length && modeAt[std::size_t(t)] == runMode && segment.count < largest) {
            segment.length += int(step);
            segment.count += 1;
            t += step;
        }
        plan.segments.push_back(segment);
    }
    return plan;
}

// Appends bits most significant first into whole codewords; bits past the capacity are dropped.
class BitBuffer {
public:
    explicit BitBuffer(int capacityBits) : capacity_(capacityBits), bytes_((capacityBits + 7) / 8, '\0') {}

    void Append(int value, int bitCount) {
        for (int i = bitCount - 1; i >= 0; --i) {
            if (length_ >= capacity_) {
                return;
            }
            if ((value >> i) & 1) {
                bytes_[length_ >> 3] = char(bytes_[length_ >> 3] | (0x80 >> (length_ & 7)));
            }
            ++length_;
        }
    }
    int Length() const { return length_; }
    int Capacity() const { return capacity_; }
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
        if (version_ >= 7) {
            for (int k = 0; k < 18; ++k) {
                Function(n_ - 11 + k % 3, k / 3) = 2;
                Function(k / 3, n_ - 11 + k % 3) = 2;
            }
        }
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
        for (int y = 0; y < n_; ++y) {
            for (int x = 0; x < n_; ++x) {
                if (MaskCondition(mask, y, x)) {
                    Data(x, y) ^= 1;
                }
            }
        }
    }

    void Merge() {
        for (int y = 0; y < n_; ++y) {
            for (int x = 0; x < n_; ++x) {
                std::uint8_t& module = Function(x, y);
                module = (module != 0 ? module : Data(x, y)) & 1;
            }
        }
    }

    void DrawVersionInformation() {
        if (version_ < 7) {
            return;
        }
        const int bits = clsQRCode::VersionBits(version_);
        for (int k = 0; k < 18; ++k) {
            const std::uint8_t value = (bits >> k) & 1;
            Function(n_ - 11 + k % 3, k / 3) = value;
            Function(k / 3, n_ - 11 + k % 3) = value;
        }
    }

    void DrawFormatInformation(int level, int mask) {
        const int bits = clsQRCode::FormatBits(level, mask);
        const auto bitAt = [bits](int i) { return std::uint8_t((bits >> i) & 1); };
        for (int i = 0; i <= 5; ++i) {
            Function(8, i) = bitAt(i);
        }
        Function(8, 7) = bitAt(6);
        Function(8, 8) = bitAt(7);
        Function(7, 8) = bitAt(8);
        for (int i = 9; i < 15; ++i) {
            Function(14 - i, 8) = bitAt(i);
        }
        for (int i = 0; i < 8; ++i) {
            Function(n_ - 1 - i, 8) = bitAt(i);
        }
        for (int i = 8; i < 15; ++i) {
            Function(8, n_ - 15 + i) = bitAt(i);
        }
    }

    int Size() const { return n_; }
    int Stride() const { return stride_; }
    const std::vector<std::uint8_t>& FunctionMatrix() const { return function_; }

private:
    std::uint8_t& Function(int x, int y) { return function_[std::size_t(y) * stride_ + x]; }
    std::uint8_t& Data(int x, int y) { return data_[std::size_t(y) * n_ + x]; }

    static bool MaskCondition(int mask, int i, int j) {
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
    if (byte >= '0' && byte <= '9') {
        return byte - '0';
    }
    if (byte >= 'A' && byte <= 'Z') {
        return byte - 'A' + 10;
    }
    switch (byte) {
    case ' ':
        return 36;
    case '$':
        return 37;
    case '%':
        return 38;
    case '*':
        return 39;
    case '+':
        return 40;
    case '-':
        return 41;
    case '.':
        return 42;
    case '/':
        return 43;
    case ':':
        return 44;
    default:
        return 0;
    }
}

int clsQRCode::CharClass(unsigned char byte) {
    if (byte >= '0' && byte <= '9') {
        return 1;
    }
    if ((byte >= 'A' && byte <= 'Z') || AlphanumericValue(byte) != 0) {
        return 2;
    }
    return 0;
}

bool clsQRCode::IsKanjiPair(unsigned char first, unsigned char second) {
    if (second < 0x40) {
        return false;
    }
    return (first >= 0x81 && first <= 0x9F) || (first >= 0xE0 && first <= 0xEA) ||
           (first == 0xEB && second < 0xC0);
}

std::vector<clsQRCode::Segment> clsQRCode::Segmentation(const QByteArray& bytes, int version) {
    return PlanSegments(bytes, VersionGroup(version), true).segments;
}

int clsQRCode::EncodeSegments(const QByteArray& bytes, int version) {
    return PlanSegments(bytes, VersionGroup(version), false).bits + 4;
}

int clsQRCode::ChooseVersion(const QByteArray& bytes, int version, int level) {
    if (version < 0 || bytes.size() > kMaxInputBytes) {
        return 0;
    }
    level = NormalLevel(level);
    const auto fits = [level](int v, int bits) { return DataCodewordCount(v, level) * 8 >= bits; };
    if (version >= 1 && version <= 40) {
        const int bits = PlanSegments(bytes, VersionGroup(version), false).bits;
        return fits(version, bits) ? version : 0;
    }
    for (int group = 0; group < 3; ++group) {
        const int bits = PlanSegments(bytes, group, false).bits;
        for (int v = FirstVersionOfGroup(group); v <= LastVersionOfGroup(group); ++v) {
            if (fits(v, bits)) {
                return v;
            }
        }
    }
    return 0;
}

QByteArray clsQRCode::DataCodewords(const QByteArray& bytes, int version, int level) {
    if (version < 1 || version > 40 || bytes.size() > kMaxInputBytes) {
        return {};
    }
    const int group = VersionGroup(version);
    const SegmentPlan plan = PlanSegments(bytes, group, true);
    const int capacity = DataCodewordCount(version, level) * 8;
    if (plan.bits > capacity) {
        return {};
    }
    BitBuffer buffer(capacity);
    for (const Segment& segment : plan.segments) {
        WriteSegment(buffer, bytes, segment, group);
    }
    buffer.Append(0, 4);
    buffer.Append(0, (8 - buffer.Length() % 8) % 8);
    for (int pad = 0xEC; buffer.Length() < capacity; pad ^= 0xEC ^ 0x11) {
        buffer.Append(pad, 8);
    }
    return buffer.Bytes();
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
    std::vector<int> symbols(std::size_t(longLength + ecc));
    int offset = 0;
    for (int b = 0; b < blocks; ++b) {
        const int length = b < shortBlocks ? longLength - 1 : longLength;
        std::fill(symbols.begin(), symbols.end(), 0);
        // First codeword highest; a short block leaves its highest data position 0.
        for (int i = 0; i < length; ++i) {
            symbols[std::size_t(ecc + length - 1 - i)] = static_cast<unsigned char>(data[offset + i]);
        }
        coder_->EncodeBlock(symbols);
        // Interleaving: codeword i of block b goes to pass i; short blocks are missing from the last pass.
        for (int i = 0; i < length; ++i) {
            const int position =
                i < longLength - 1 ? i * blocks + b : (longLength - 1) * blocks + (b - shortBlocks);
            result[position] = data[offset + i];
        }
        for (int i = 0; i < ecc; ++i) {
            result[total + i * blocks + b] = char(symbols[std::size_t(ecc - 1 - i)]);
        }
        offset += length;
    }
    return result;
}

clsQRCode::Matrix clsQRCode::EncodeMatrix(const QByteArray& bytes, int version, int level, int mask) {
    level = NormalLevel(level);
    if (mask < 0 || mask > 7) {
        mask = 0;
    }
    const int chosen = ChooseVersion(bytes, version, level);
    if (chosen == 0) {
        return {};
    }
    const QByteArray codewords = AddErrorCorrection(DataCodewords(bytes, chosen, level), chosen, level);
    SymbolBuilder symbol(chosen);
    symbol.DrawFunctionPatterns();
    symbol.PlaceCodewords(codewords);
    symbol.ApplyMask(mask);
    symbol.Merge();
    symbol.DrawVersionInformation();
    symbol.DrawFormatInformation(level, mask);
    return {symbol.Stride(), symbol.FunctionMatrix()};
}

std::vector<std::uint8_t> clsQRCode::EncodeModules(const QByteArray& bytes, int version, int level,
                                                   int mask) {
    const Matrix matrix = EncodeMatrix(bytes, version, level, mask);
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

QImage clsQRCode::EncodeText(const QByteArray& bytes, int version, int level, int mask) {
    const Matrix matrix = EncodeMatrix(bytes, version, level, mask);
    if (matrix.side == 0) {
        return {};
    }
    return MatrixToPicture(matrix.modules, matrix.side, matrix.side, 4, 4, 1, 1);
}
