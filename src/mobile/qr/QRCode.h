#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class clsFiniteField;
class clsReedSolomon;

// QR Code encoder (ISO/IEC 18004 Model 2, versions 1 to 40, levels L M Q H). It segments the input into
// numeric, alphanumeric, byte and kanji (Shift-JIS pair) segments at the least bit cost, picks the smallest
// version that holds them (or the one asked for) and applies the mask it is given, or the one of lowest
// penalty score.
class clsQRCode {
public:
    // Mode numbers.
    static constexpr int kByte = 0;
    static constexpr int kNumeric = 1;
    static constexpr int kAlphanumeric = 2;
    static constexpr int kKanji = 3;
    // Levels.
    static constexpr int kLevelL = 1;
    static constexpr int kLevelM = 2;
    static constexpr int kLevelQ = 3;
    static constexpr int kLevelH = 4;
    // The most input bytes any symbol can hold (7089 digits in version 40 at L): longer input is refused
    // before any work.
    static constexpr int kMaxInputBytes = 7089;

    struct Segment {
        int mode = kByte;
        int start = 0;  // first byte
        int length = 0; // bytes covered
        int count = 0;  // characters (kanji pairs count once)
        bool operator==(const Segment&) const = default;
    };

    clsQRCode();
    ~clsQRCode();
    clsQRCode(clsQRCode&&) noexcept;
    clsQRCode& operator=(clsQRCode&&) noexcept;

    // The symbol as a picture with a 4-module light border, one pixel per module. Bytes are taken
    // unchanged (no ECI). version 1 .. 40 fixed, 0 or above 40 automatic, negative refused; level 1 .. 4
    // (anything else M); mask 0 .. 7 (anything else 0). A null image when the data do not fit.
    QImage EncodeText(const QByteArray& bytes, int version, int level, int mask);

    // The finished symbol: n x n module values (0 light, 1 dark), row by row; empty when refused.
    std::vector<std::uint8_t> EncodeModules(const QByteArray& bytes, int version, int level, int mask);

    // As EncodeText and EncodeModules with the mask of lowest Penalty, the lower number on a tie: the data
    // are encoded and placed once and only the eight masks are scored. The mask used goes to `chosenMask`
    // when given (-1 when refused).
    QImage EncodeTextBestMask(const QByteArray& bytes, int version, int level, int* chosenMask = nullptr);
    std::vector<std::uint8_t> EncodeModulesBestMask(const QByteArray& bytes, int version, int level,
                                                    int* chosenMask = nullptr);

    // Penalty score of a finished symbol of n x n module values (0 light, 1 dark), row by row: 3 + (L - 5)
    // for every run of L >= 5 alike modules in a row or column, 3 for every 2 x 2 block of one colour, 40
    // for every 1:1:3:1:1 dark-light pattern in a row or column with four light modules before or after it
    // (the edge counts as light), and 10 for every whole 5 % the dark share lies away from 50 %.
    // -1 when n is outside 1 .. 177 or there are fewer than n x n values.
    static int Penalty(std::span<const std::uint8_t> modules, int n);

    static int SymbolSize(int version) { return 4 * version + 17; }
    static int RawModuleCount(int version);
    static int CodewordCount(int version) { return RawModuleCount(version) / 8; }
    static int AlignmentPerSide(int version) { return version > 1 ? version / 7 + 2 : 1; }
    static int AlignmentCount(int version);
    static int AlignmentSpacing(int version);
    static int EccBlockCount(int version, int level);
    static int EccCodewordsPerBlock(int version, int level);
    static int DataCodewordCount(int version, int level);

    static int BchRemainder(int value, int generator, int top, int n);
    // The 15 format bits (mask pattern XOR applied) and the 18 version bits.
    static int FormatBits(int level, int mask);
    static int VersionBits(int version);

    static int AlphanumericValue(unsigned char byte);
    static int CharClass(unsigned char byte);
    static bool IsKanjiPair(unsigned char first, unsigned char second);

    // Cheapest segmentation with the count widths of the version's group, and its cost in bits including
    // the 4-bit terminator.
    static std::vector<Segment> Segmentation(const QByteArray& bytes, int version);
    static int EncodeSegments(const QByteArray& bytes, int version);
    // The version that will be used (see EncodeText), 0 when none.
    static int ChooseVersion(const QByteArray& bytes, int version, int level);
    // Data codewords with terminator and padding for a version 1 .. 40 that holds the data; empty otherwise.
    static QByteArray DataCodewords(const QByteArray& bytes, int version, int level);

private:
    // The finished symbol in a square of n + 3 modules per side (the spare columns and rows stay light).
    struct Matrix {
        int side = 0;
        int mask = -1;
        std::vector<std::uint8_t> modules;
    };
    // No mask: the one of lowest penalty.
    Matrix EncodeMatrix(const QByteArray& bytes, int version, int level, std::optional<int> mask);
    static std::vector<std::uint8_t> MatrixModules(const Matrix& matrix);
    static QImage MatrixPicture(const Matrix& matrix);
    QByteArray AddErrorCorrection(const QByteArray& data, int version, int level);

    std::unique_ptr<clsFiniteField> field_;
    std::unique_ptr<clsReedSolomon> coder_;
};
