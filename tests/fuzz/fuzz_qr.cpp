// QR encoder: no crash or overflow for any bytes, version, level and mask; the picture has the size of the
// version that was chosen, carries the modules of EncodeModules inside a 4-module light border, and
// out-of-range levels and masks behave as M and 0. The function patterns (finders, timing) and the format
// and version information are checked against the standard's layout, computed here independently.
// Input: byte 0 picks the version (-3 .. 44), byte 1 the level (-1 .. 5), byte 2 the mask (-1 .. 9);
// the rest is the text to encode.

#include "mobile/qr/QRCode.h"

#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, int version, int level, int mask, const QByteArray& bytes) {
    std::fprintf(stderr, "fuzz_qr: %s (version %d, level %d, mask %d, %lld bytes)\n", what, version, level,
                 mask, static_cast<long long>(bytes.size()));
    std::abort();
}

int formatBitsFromStandard(int level, int mask) {
    static constexpr int kIndicator[] = {0, 1, 0, 3, 2}; // L M Q H
    const int data = kIndicator[level] << 3 | mask;
    int remainder = data;
    for (int i = 0; i < 10; ++i)
        remainder = (remainder << 1) ^ ((remainder >> 9) * 0x537);
    return (data << 10 | remainder) ^ 0x5412;
}

int versionBitsFromStandard(int version) {
    int remainder = version;
    for (int i = 0; i < 12; ++i)
        remainder = (remainder << 1) ^ ((remainder >> 11) * 0x1F25);
    return version << 12 | remainder;
}

// The reason the symbol breaks the standard's fixed layout, or nullptr. module(x, y): column x, row y.
const char* layoutFault(const std::vector<std::uint8_t>& modules, int n, int version, int level, int mask) {
    const auto dark = [&](int x, int y) { return modules[static_cast<std::size_t>(y) * n + x] != 0; };
    // Finder patterns with their light separators.
    const int corners[3][2] = {{0, 0}, {n - 7, 0}, {0, n - 7}};
    for (const auto& corner : corners)
        for (int dy = -1; dy <= 7; ++dy)
            for (int dx = -1; dx <= 7; ++dx) {
                const int x = corner[0] + dx;
                const int y = corner[1] + dy;
                if (x < 0 || y < 0 || x >= n || y >= n)
                    continue;
                const int ring = std::max(std::abs(dx - 3), std::abs(dy - 3));
                if (dark(x, y) != (ring != 2 && ring != 4))
                    return "a finder pattern or its separator is wrong";
            }
    for (int i = 8; i < n - 8; ++i)
        if (dark(i, 6) != (i % 2 == 0) || dark(6, i) != (i % 2 == 0))
            return "a timing pattern is wrong";
    const int format = formatBitsFromStandard(level, mask);
    const auto bit = [](int bits, int i) { return ((bits >> i) & 1) != 0; };
    for (int i = 0; i <= 5; ++i)
        if (dark(8, i) != bit(format, i))
            return "the format information beside the top-left finder is wrong";
    if (dark(8, 7) != bit(format, 6) || dark(8, 8) != bit(format, 7) || dark(7, 8) != bit(format, 8))
        return "the format information beside the top-left finder is wrong";
    for (int i = 9; i < 15; ++i)
        if (dark(14 - i, 8) != bit(format, i))
            return "the format information beside the top-left finder is wrong";
    for (int i = 0; i < 8; ++i)
        if (dark(n - 1 - i, 8) != bit(format, i))
            return "the format information beside the top-right finder is wrong";
    for (int i = 8; i < 15; ++i)
        if (dark(8, n - 15 + i) != bit(format, i))
            return "the format information beside the bottom-left finder is wrong";
    if (!dark(8, n - 8))
        return "the dark module is light";
    if (version >= 7) {
        const int bits = versionBitsFromStandard(version);
        for (int i = 0; i < 18; ++i) {
            const int a = n - 11 + i % 3;
            const int b = i / 3;
            if (dark(a, b) != bit(bits, i) || dark(b, a) != bit(bits, i))
                return "the version information is wrong";
        }
    }
    return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3 || size > clsQRCode::kMaxInputBytes + 200)
        return 0;
    const int version = data[0] % 48 - 3;
    const int level = data[1] % 7 - 1;
    const int mask = data[2] % 11 - 1;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 3), static_cast<qsizetype>(size - 3));

    clsQRCode coder;
    const QImage picture = coder.EncodeText(bytes, version, level, mask);
    const int chosen = clsQRCode::ChooseVersion(bytes, version, level);
    if (picture.isNull()) {
        if (chosen != 0 && version >= 0)
            fail("no picture although a version was chosen", version, level, mask, bytes);
        return 0;
    }
    if (version < 0)
        fail("a picture for a negative version", version, level, mask, bytes);
    if (bytes.size() > clsQRCode::kMaxInputBytes)
        fail("a picture for input longer than any symbol holds", version, level, mask, bytes);
    if (chosen < 1 || chosen > 40 || (version >= 1 && version <= 40 && chosen != version))
        fail("the chosen version is not the one asked for", version, level, mask, bytes);
    const int n = clsQRCode::SymbolSize(chosen);
    if (picture.width() != n + 8 || picture.height() != n + 8)
        fail("the picture does not have the symbol's size plus the border", version, level, mask, bytes);

    const std::vector<std::uint8_t> modules = coder.EncodeModules(bytes, version, level, mask);
    if (modules.size() != static_cast<std::size_t>(n) * n)
        fail("EncodeModules gave the wrong number of modules", version, level, mask, bytes);
    for (int x = 0; x < picture.width(); ++x)
        for (int y = 0; y < picture.height(); ++y) {
            const bool inside = x >= 4 && y >= 4 && x < n + 4 && y < n + 4;
            const int expected = inside ? modules[static_cast<std::size_t>(y - 4) * n + (x - 4)] : 0;
            if ((picture.pixelIndex(x, y) != 0) != (expected != 0))
                fail("a picture pixel differs from its module", version, level, mask, bytes);
        }

    // Out-of-range levels read as M, out-of-range masks as 0.
    const int sameLevel = level >= 1 && level <= 4 ? level : clsQRCode::kLevelM;
    const int sameMask = mask >= 0 && mask <= 7 ? mask : 0;
    if (const char* fault = layoutFault(modules, n, chosen, sameLevel, sameMask))
        fail(fault, version, level, mask, bytes);
    if ((sameLevel != level || sameMask != mask) &&
        coder.EncodeModules(bytes, version, sameLevel, sameMask) != modules)
        fail("an out-of-range level or mask does not act as M or 0", version, level, mask, bytes);
    return 0;
}
