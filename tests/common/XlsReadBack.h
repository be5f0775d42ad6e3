#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QtDebug>

// Reading written .xls files back with xlrd (the Debian package python3-xlrd, run by /usr/bin/python3).
// Reads the first sheet with xlrd and prints values, types, bold flags, font sizes, row heights and column
// widths as JSON.
inline const char* const kReader = R"PY(
import io, json, sys, xlrd
log = io.StringIO()
book = xlrd.open_workbook(sys.argv[1], formatting_info=True, logfile=log)
sheet = book.sheet_by_index(0)
def font(r, c):
    return book.font_list[book.xf_list[sheet.cell_xf_index(r, c)].font_index]
out = {
    "sheets": book.nsheets,
    "values": [[sheet.cell_value(r, c) for c in range(sheet.ncols)] for r in range(sheet.nrows)],
    "types": [[sheet.cell_type(r, c) for c in range(sheet.ncols)] for r in range(sheet.nrows)],
    "bold": [[font(r, c).bold for c in range(sheet.ncols)] for r in range(sheet.nrows)],
    "sizes": [[font(r, c).height for c in range(sheet.ncols)] for r in range(sheet.nrows)],
    "heights": [sheet.rowinfo_map[r].height if r in sheet.rowinfo_map else -1 for r in range(sheet.nrows + 1)],
    "widths": [sheet.colinfo_map[c].width if c in sheet.colinfo_map else -1 for c in range(sheet.ncols)],
    "log": log.getvalue(),
}
print(json.dumps(out))
)PY";

inline constexpr int kText = 1;
inline constexpr int kNumber = 2;

inline QJsonObject readBack(const QString& path) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromUtf8(kReader), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning().noquote() << python.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

inline bool xlrdAvailable() {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import xlrd")});
    return python.waitForFinished(30000) && python.exitStatus() == QProcess::NormalExit &&
           python.exitCode() == 0;
}
