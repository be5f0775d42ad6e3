#pragma once

#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <QStringList>

// ESC/POS as the common 58 and 80 mm thermal printers take it: text in GB18030 (FS & selects the Chinese
// characters), where an ASCII character takes one column and a Chinese character two. Their fonts hold
// only GBK (GB18030's one- and two-byte characters): any other character prints as kUnprintableMark.

inline const QString kUnprintableMark = QStringLiteral("□");

// Columns the text takes on the paper in the normal font.
int TextColumns(const QString& text);
// The text broken into lines of at most `columns`, never inside a character; a break that would split a
// run of ASCII letters or digits moves back to the last blank of the line when there is one. Empty text
// gives one empty line.
QStringList WrapColumns(const QString& text, int columns);
// The text followed by blanks up to `columns` (no cut when it is already wider).
QString PadColumns(const QString& text, int columns);

// Builds the bytes of one print: each call appends a command or a line of text.
class EscPosWriter {
public:
    enum class Align { Left = 0, Center = 1, Right = 2 };

    EscPosWriter();
    // ESC @ (back to the printer's defaults) and FS & (Chinese characters).
    EscPosWriter& initialize();
    EscPosWriter& align(Align align);
    // GS ! and FS ! for the ASCII and the Chinese font alike.
    EscPosWriter& size(bool doubleWidth, bool doubleHeight);
    EscPosWriter& bold(bool on);
    // The text and a line feed. Characters the printer cannot show (controls, those outside GBK) become
    // "□", so nothing goes missing unseen.
    EscPosWriter& line(const QString& text);
    EscPosWriter& feed(int lines);
    // GS V 66 0: feeds the paper to the cutter and cuts it, leaving a hinge.
    EscPosWriter& cut();
    // ESC p 0: a 50 ms pulse on the drawer connector's pin 2, then 500 ms rest.
    EscPosWriter& pulseDrawer();

    const QByteArray& bytes() const { return bytes_; }

private:
    QStringEncoder encoder_;
    QByteArray bytes_;
};

// Control bytes, for the printers' own replies and the tests.
namespace EscPos {
constexpr char kEsc = 0x1b;
constexpr char kGs = 0x1d;
constexpr char kFs = 0x1c;
constexpr char kDle = 0x10;
constexpr char kEot = 0x04;
// DLE EOT n: the printer answers one status byte at once. n = 1 printer, n = 4 paper roll.
QByteArray StatusRequest(int n);
// Bits of the paper roll status (n = 4) that say the paper has run out.
constexpr unsigned char kPaperOutBits = 0x60;
// Bit of the printer status (n = 1) that says the printer is off line.
constexpr unsigned char kOfflineBit = 0x08;
// A status byte always has bit 4 set and bits 0 and 7 clear.
inline bool IsStatusByte(unsigned char byte) {
    return (byte & 0x93) == 0x12;
}
} // namespace EscPos
