#include "print/EscPos.h"

#include <algorithm>
#include <initializer_list>

namespace {

bool IsAsciiWordChar(QChar c) {
    return c.unicode() < 0x80 && c.isLetterOrNumber();
}

bool IsAsciiText(QChar c) {
    return c.unicode() >= 0x20 && c.unicode() < 0x7f;
}

// The receipt printers' fonts hold ASCII and GBK: in GB18030 the characters of one or two bytes. Four
// bytes (characters outside GBK, such as ☕, 𠮷 or 😀) would print as two wrong characters, private-use
// characters as whatever the printer keeps there, and controls would be taken for commands.
QString Printable(const QString& text) {
    if (std::all_of(text.begin(), text.end(), IsAsciiText))
        return text;
    thread_local QStringEncoder encoder("GB18030");
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (pair) {
            out.append(kUnprintableMark); // outside the basic plane: never in GBK
            ++i;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t')) {
            out.append(QLatin1Char(' '));
        } else if (IsAsciiText(c) || (c.unicode() >= 0x4e00 && c.unicode() <= 0x9fa5)) {
            // ASCII, and the unified ideographs of Unicode 1.1, every one of which GBK holds.
            out.append(c);
        } else if (c.unicode() < 0x80 || c.isSurrogate() || c.category() == QChar::Other_Control ||
                   c.category() == QChar::Other_PrivateUse ||
                   QByteArray(encoder.encode(QStringView(&c, 1))).size() != 2) {
            out.append(kUnprintableMark);
        } else {
            out.append(c);
        }
    }
    return out;
}

QByteArray Bytes(std::initializer_list<char> bytes) {
    return QByteArray(bytes.begin(), static_cast<qsizetype>(bytes.size()));
}

int CharColumns(QChar c) {
    return c.unicode() < 0x80 ? 1 : 2;
}

} // namespace

int TextColumns(const QString& text) {
    int columns = 0;
    for (const QChar c : Printable(text))
        columns += CharColumns(c);
    return columns;
}

QStringList WrapColumns(const QString& text, int columns) {
    const QString printable = Printable(text);
    columns = std::max(columns, 2);
    QStringList lines;
    QString current;
    int used = 0;
    for (const QChar c : printable) {
        const int width = CharColumns(c);
        if (used + width > columns) {
            // A blank at the break is the break itself: it starts no line.
            if (c == QLatin1Char(' ')) {
                lines.append(current);
                current.clear();
                used = 0;
                continue;
            }
            QString carried;
            // Inside a word of letters or digits, go back to the line's last blank, if any.
            if (IsAsciiWordChar(c) && !current.isEmpty() && IsAsciiWordChar(current.back())) {
                const qsizetype blank = current.lastIndexOf(QLatin1Char(' '));
                if (blank > 0) {
                    carried = current.mid(blank + 1);
                    current.truncate(blank);
                }
            }
            // Blanks at the end of a broken line would only push the next column's text out of place.
            while (current.endsWith(QLatin1Char(' ')))
                current.chop(1);
            lines.append(current);
            current = carried;
            used = TextColumns(current);
        }
        current.append(c);
        used += width;
    }
    lines.append(current);
    return lines;
}

QString PadColumns(const QString& text, int columns) {
    const int used = TextColumns(text);
    return used >= columns ? text : text + QString(columns - used, QLatin1Char(' '));
}

EscPosWriter::EscPosWriter() : encoder_("GB18030") {}

EscPosWriter& EscPosWriter::initialize() {
    bytes_.append(Bytes({EscPos::kEsc, '@', EscPos::kFs, '&'}));
    return *this;
}

EscPosWriter& EscPosWriter::align(Align align) {
    bytes_.append(Bytes({EscPos::kEsc, 'a', static_cast<char>(align)}));
    return *this;
}

EscPosWriter& EscPosWriter::size(bool doubleWidth, bool doubleHeight) {
    const char gs = static_cast<char>((doubleWidth ? 0x10 : 0) | (doubleHeight ? 0x01 : 0));
    const char fs = static_cast<char>((doubleWidth ? 0x04 : 0) | (doubleHeight ? 0x08 : 0));
    bytes_.append(Bytes({EscPos::kGs, '!', gs, EscPos::kFs, '!', fs}));
    return *this;
}

EscPosWriter& EscPosWriter::bold(bool on) {
    bytes_.append(Bytes({EscPos::kEsc, 'E', static_cast<char>(on ? 1 : 0)}));
    return *this;
}

EscPosWriter& EscPosWriter::line(const QString& text) {
    bytes_.append(encoder_.encode(Printable(text)));
    bytes_.append('\n');
    return *this;
}

EscPosWriter& EscPosWriter::feed(int lines) {
    bytes_.append(Bytes({EscPos::kEsc, 'd', static_cast<char>(std::clamp(lines, 0, 255))}));
    return *this;
}

EscPosWriter& EscPosWriter::cut() {
    bytes_.append(Bytes({EscPos::kGs, 'V', 66, 0}));
    return *this;
}

EscPosWriter& EscPosWriter::pulseDrawer() {
    bytes_.append(Bytes({EscPos::kEsc, 'p', 0, 25, static_cast<char>(250)}));
    return *this;
}

QByteArray EscPos::StatusRequest(int n) {
    const char request[] = {kDle, kEot, static_cast<char>(n)};
    return QByteArray(request, sizeof request);
}
