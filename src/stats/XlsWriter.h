#pragma once

#include <QList>
#include <QString>

// One cell of a written sheet: empty, a text or a number.
struct XlsCell {
    enum class Kind { Empty, Label, Number };
    Kind kind = Kind::Empty;
    QString content;
    double value = 0;

    // Empty text gives an empty cell.
    static XlsCell label(const QString& text) {
        return text.isEmpty() ? XlsCell{} : XlsCell{Kind::Label, text, 0};
    }
    static XlsCell number(double value) { return {Kind::Number, QString(), value}; }
};

// A one-sheet workbook: every row has the same height and font size, the first row is bold, and the columns
// are as wide as their contents.
struct XlsSheet {
    QString name = QStringLiteral("Sheet1");
    QList<QList<XlsCell>> rows;
    int rowHeightTwips = 400;  // 20 points
    int fontHeightTwips = 200; // 10 points
    QString fontName = QStringLiteral("宋体");
};

// The BIFF8 "Workbook" stream of the sheet.
QByteArray XlsWorkbookStream(const XlsSheet& sheet);

// Writes an Excel 97-2003 workbook (.xls). Returns an empty text on success, else the reason it failed;
// a failed write leaves no partial file under the name.
QString WriteXls(const QString& path, const XlsSheet& sheet);
