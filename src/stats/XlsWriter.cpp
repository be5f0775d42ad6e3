// BIFF8 records are written here by hand: no Debian library writes .xls; libgsf provides the OLE2 container.
#include "stats/XlsWriter.h"

#include "store/NumberText.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <mutex>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

namespace {

constexpr int kMaxRecordData = 8224;
constexpr quint16 kDefaultCellXf = 15;
constexpr quint16 kBoldCellXf = 16;

// Little-endian record data.
class Bytes {
public:
    Bytes& u8(quint8 v) {
        data_.append(static_cast<char>(v));
        return *this;
    }
    Bytes& u16(quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        data_.append(b, 2);
        return *this;
    }
    Bytes& u32(quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        data_.append(b, 4);
        return *this;
    }
    Bytes& f64(double v) {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        char b[8];
        qToLittleEndian(bits, b);
        data_.append(b, 8);
        return *this;
    }
    // UTF-16LE characters, no length.
    Bytes& utf16(const QString& text) {
        for (const QChar c : text)
            u16(c.unicode());
        return *this;
    }
    // Short string: 8-bit character count, option byte, UTF-16 characters.
    Bytes& shortString(const QString& text) {
        return u8(static_cast<quint8>(text.size())).u8(0x01).utf16(text);
    }
    const QByteArray& data() const { return data_; }
    int size() const { return static_cast<int>(data_.size()); }

private:
    QByteArray data_;
};

class Stream {
public:
    void record(quint16 type, const Bytes& body) { record(type, body.data()); }
    void record(quint16 type, const QByteArray& body) {
        Bytes header;
        header.u16(type).u16(static_cast<quint16>(body.size()));
        data_.append(header.data()).append(body);
    }
    int position() const { return static_cast<int>(data_.size()); }
    QByteArray& data() { return data_; }

private:
    QByteArray data_;
};

void bof(Stream& out, quint16 kind) {
    out.record(0x0809, Bytes().u16(0x0600).u16(kind).u16(0x0DBB).u16(0x07CC).u32(0).u32(0x00000006));
}

void font(Stream& out, const XlsSheet& sheet, bool bold) {
    Bytes body;
    // Bold is given twice: by the weight, and by the old option bit that some readers still take from here.
    body.u16(static_cast<quint16>(sheet.fontHeightTwips))
        .u16(bold ? 0x0001 : 0)
        .u16(0x7FFF)
        .u16(bold ? 700 : 400);
    body.u16(0);
    body.u8(0).u8(0).u8(0x86).u8(0); // no underline, family, GB2312 character set
    body.shortString(sheet.fontName);
    out.record(0x0031, body);
}

void xf(Stream& out, quint16 fontIndex, bool style) {
    Bytes body;
    body.u16(fontIndex).u16(0);                        // font, general number format
    body.u16(style ? 0xFFF5 : 0x0001);                 // locked; a style has no parent
    body.u8(0x20).u8(0).u8(0).u8(style ? 0xF4 : 0xF8); // bottom aligned; attributes used
    body.u32(0).u32(0).u16(0x20C0);                    // no borders, automatic pattern colours
    out.record(0x00E0, body);
}

// Shared strings with their CONTINUE records; a string that does not fit goes on in the next record after
// a repeated option byte, as the format requires.
struct SharedStrings {
    QList<QString> strings;
    QHash<QString, quint32> index;
    quint32 references = 0;

    quint32 add(const QString& text) {
        ++references;
        const auto found = index.constFind(text);
        if (found != index.constEnd())
            return *found;
        const auto at = static_cast<quint32>(strings.size());
        strings.append(text);
        index.insert(text, at);
        return at;
    }

    void write(Stream& out) const {
        struct Position {
            int streamOffset;
            int recordOffset;
        };
        QList<Position> positions;
        QList<QByteArray> records{Bytes().u32(references).u32(static_cast<quint32>(strings.size())).data()};
        int recordStart = out.position();
        for (const QString& text : strings) {
            QByteArray* current = &records.last();
            // The length and option byte and at least one character stay together.
            if (current->size() + 5 > kMaxRecordData) {
                recordStart += 4 + static_cast<int>(current->size());
                records.append(QByteArray());
                current = &records.last();
            }
            positions.append(
                {recordStart + 4 + static_cast<int>(current->size()), 4 + static_cast<int>(current->size())});
            current->append(Bytes().u16(static_cast<quint16>(text.size())).u8(0x01).data());
            int next = 0;
            while (next < text.size()) {
                const int room = (kMaxRecordData - static_cast<int>(current->size())) / 2;
                if (room == 0) {
                    recordStart += 4 + static_cast<int>(current->size());
                    records.append(Bytes().u8(0x01).data());
                    current = &records.last();
                    continue;
                }
                const int take = std::min(room, static_cast<int>(text.size()) - next);
                current->append(Bytes().utf16(text.mid(next, take)).data());
                next += take;
            }
        }
        for (int i = 0; i < records.size(); ++i)
            out.record(i == 0 ? 0x00FC : 0x003C, records.at(i));

        // EXTSST: where every dsst-th string starts, so a reader can find strings quickly.
        const int perBucket = std::max<int>(8, (static_cast<int>(strings.size()) + 127) / 128);
        Bytes ext;
        ext.u16(static_cast<quint16>(perBucket));
        for (int i = 0; i < positions.size(); i += perBucket)
            ext.u32(static_cast<quint32>(positions.at(i).streamOffset))
                .u16(static_cast<quint16>(positions.at(i).recordOffset))
                .u16(0);
        out.record(0x00FF, ext);
    }
};

// Width of a text in character cells: wide (CJK) characters take two.
int displayWidth(const QString& text) {
    int width = 0;
    for (const uint c : text.toUcs4())
        width +=
            (c >= 0x1100 && (c <= 0x115F || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                             (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
                             (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000))
                ? 2
                : 1;
    return width;
}

QString cellText(const XlsCell& cell) {
    switch (cell.kind) {
    case XlsCell::Kind::Label:
        return cell.content;
    case XlsCell::Kind::Number:
        return NumberText(cell.value);
    case XlsCell::Kind::Empty:
        break;
    }
    return QString();
}

int columnCount(const XlsSheet& sheet) {
    int columns = 0;
    for (const QList<XlsCell>& row : sheet.rows)
        columns = std::max(columns, static_cast<int>(row.size()));
    return columns;
}

void writeColumns(Stream& out, const XlsSheet& sheet, int columns) {
    out.record(0x0055, Bytes().u16(8)); // DEFCOLWIDTH
    for (int column = 0; column < columns; ++column) {
        int widest = 0;
        for (const QList<XlsCell>& row : sheet.rows)
            if (column < row.size())
                widest = std::max(widest, displayWidth(cellText(row.at(column))));
        // Fitted: the contents plus a margin of two character cells, at most 255 characters.
        const int width = std::min(255, std::max(4, widest + 2)) * 256;
        out.record(0x007D, Bytes()
                               .u16(static_cast<quint16>(column))
                               .u16(static_cast<quint16>(column))
                               .u16(static_cast<quint16>(width))
                               .u16(kDefaultCellXf)
                               .u16(0x0002) // width set by the user (fitted), not the default
                               .u16(0));
    }
}

QByteArray worksheet(const XlsSheet& sheet, SharedStrings& strings) {
    Stream out;
    bof(out, 0x0010);
    out.record(0x0225,
               Bytes().u16(0x0001).u16(static_cast<quint16>(sheet.rowHeightTwips))); // DEFAULTROWHEIGHT
    out.record(0x0081, Bytes().u16(0x04C1));                                         // WSBOOL
    const int columns = columnCount(sheet);
    writeColumns(out, sheet, columns);
    out.record(0x0200, Bytes()
                           .u32(0)
                           .u32(static_cast<quint32>(sheet.rows.size()))
                           .u16(0)
                           .u16(static_cast<quint16>(columns))
                           .u16(0)); // DIMENSIONS

    for (int r = 0; r < sheet.rows.size(); ++r) {
        const quint16 rowXf = r == 0 ? kBoldCellXf : kDefaultCellXf;
        // Custom height (0x40), formatted row (0x80), the reserved bit 0x100.
        out.record(0x0208, Bytes()
                               .u16(static_cast<quint16>(r))
                               .u16(0)
                               .u16(static_cast<quint16>(sheet.rows.at(r).size()))
                               .u16(static_cast<quint16>(sheet.rowHeightTwips))
                               .u16(0)
                               .u16(0)
                               .u16(0x01C0)
                               .u16(rowXf));
    }
    for (int r = 0; r < sheet.rows.size(); ++r) {
        const quint16 rowXf = r == 0 ? kBoldCellXf : kDefaultCellXf;
        const QList<XlsCell>& row = sheet.rows.at(r);
        for (int c = 0; c < row.size(); ++c) {
            const XlsCell& cell = row.at(c);
            Bytes body;
            body.u16(static_cast<quint16>(r)).u16(static_cast<quint16>(c)).u16(rowXf);
            if (cell.kind == XlsCell::Kind::Label)
                out.record(0x00FD, body.u32(strings.add(cell.content))); // LABELSST
            else if (cell.kind == XlsCell::Kind::Number)
                out.record(0x0203, body.f64(cell.value)); // NUMBER
        }
    }
    // WINDOW2: grid lines, headers, zeros shown, selected and active sheet.
    out.record(0x023E, Bytes().u16(0x06B6).u16(0).u16(0).u32(0x00000040).u16(0).u16(0).u32(0));
    out.record(0x000A, QByteArray()); // EOF
    return out.data();
}

void initialiseGsf() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

// libgsf names the temporary file it writes beside the chosen one ("…/.gsf-save-XXXXXX: reason"); the
// user chose another name, so only the reason is kept and the chosen file is named.
QString FailureFor(const QString& path, const QString& gsfMessage) {
    const qsizetype colon = gsfMessage.lastIndexOf(QStringLiteral(": "));
    QString reason = colon < 0 ? gsfMessage : gsfMessage.mid(colon + 2);
    if (reason.isEmpty())
        reason = QStringLiteral("写入文件失败");
    return QStringLiteral("无法写入“%1”：%2").arg(QDir::toNativeSeparators(path), reason);
}

QString gErrorText(const QString& path, GError* error) {
    const QString text = error && error->message ? QString::fromUtf8(error->message) : QString();
    if (error)
        g_error_free(error);
    return FailureFor(path, text);
}

} // namespace

QByteArray XlsWorkbookStream(const XlsSheet& sheet) {
    // The sheet goes first so the shared strings are known when the globals are written.
    SharedStrings strings;
    const QByteArray sheetStream = worksheet(sheet, strings);

    Stream globals;
    bof(globals, 0x0005);
    globals.record(0x00E1, Bytes().u16(0x04B0)); // INTERFACEHDR
    globals.record(0x0042, Bytes().u16(0x04B0)); // CODEPAGE: UTF-16
    globals.record(
        0x003D, Bytes().u16(0).u16(0).u16(0x3000).u16(0x2000).u16(0x0038).u16(0).u16(0).u16(1).u16(0x0258));
    globals.record(0x0022, Bytes().u16(0)); // DATEMODE 1900
    globals.record(0x000E, Bytes().u16(1)); // PRECISION as displayed: off
    globals.record(0x00DA, Bytes().u16(0)); // BOOKBOOL
    // Fonts 0, 2 and 3 plain, 1 bold (font index 4 does not exist in the format).
    font(globals, sheet, false);
    font(globals, sheet, true);
    font(globals, sheet, false);
    font(globals, sheet, false);
    for (int i = 0; i < 15; ++i)
        xf(globals, 0, true);
    xf(globals, 0, false);                                      // 15: default cell format
    xf(globals, 1, false);                                      // 16: bold cells
    globals.record(0x0293, Bytes().u16(0x8000).u8(0).u8(0xFF)); // STYLE "Normal"

    const int sheetEntry = globals.position();
    globals.record(0x0085,
                   Bytes().u32(0).u8(0).u8(0).shortString(sheet.name)); // BOUNDSHEET, position patched
    globals.record(0x008C, Bytes().u16(86).u16(86));                    // COUNTRY: China
    strings.write(globals);
    globals.record(0x000A, QByteArray());

    QByteArray stream = globals.data();
    qToLittleEndian(static_cast<quint32>(stream.size()), stream.data() + sheetEntry + 4);
    stream.append(sheetStream);
    // Streams under 4096 bytes would go to the container's small-block area, which some readers dislike.
    if (stream.size() < 4096)
        stream.append(QByteArray(4096 - stream.size(), '\0'));
    return stream;
}

QString WriteXls(const QString& path, const XlsSheet& sheet) {
    initialiseGsf();
    const QByteArray stream = XlsWorkbookStream(sheet);
    GError* error = nullptr;
    // The stdio output writes a temporary file and renames it on a successful close.
    GsfOutput* file = gsf_output_stdio_new(QFile::encodeName(path).constData(), &error);
    if (!file)
        return gErrorText(path, error);
    GsfOutfile* container = gsf_outfile_msole_new(file);
    GsfOutput* workbook = gsf_outfile_new_child(container, "Workbook", FALSE);
    bool ok = gsf_output_write(workbook, static_cast<size_t>(stream.size()),
                               reinterpret_cast<const guint8*>(stream.constData()));
    ok = gsf_output_close(workbook) && ok;
    g_object_unref(workbook);
    // Closing the container writes its directory and closes the file under it.
    ok = gsf_output_close(GSF_OUTPUT(container)) && ok;
    g_object_unref(container);
    if (!gsf_output_is_closed(file))
        ok = gsf_output_close(file) && ok;
    QString failure;
    if (const GError* fileError = gsf_output_error(file))
        failure = QString::fromUtf8(fileError->message);
    g_object_unref(file);
    return ok ? QString() : FailureFor(path, failure);
}
