#pragma once

// Reads the words of a PDF with their boxes through poppler's pdftotext, so positions are checked by a reader
// that is not Qt.

#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QString>

struct PdfWord {
    int page = 0;
    QString text;
    double left = 0; // millimetres from the page's left edge
    double top = 0;  // millimetres from the page's top edge
    double right = 0;
    double bottom = 0;
};

struct PdfContent {
    QList<QSizeF> pages; // page sizes in millimetres
    QList<PdfWord> words;

    QList<PdfWord> find(const QString& text) const {
        QList<PdfWord> found;
        for (const PdfWord& word : words)
            if (word.text == text)
                found.append(word);
        return found;
    }
    QList<PdfWord> onPage(int page) const {
        QList<PdfWord> found;
        for (const PdfWord& word : words)
            if (word.page == page)
                found.append(word);
        return found;
    }
};

inline double PointsToMm(double points) {
    return points * 25.4 / 72.0;
}

inline QString XmlUnescape(QString text) {
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    text.replace(QStringLiteral("&apos;"), QStringLiteral("'"));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text;
}

// The PDF maps some ideographs to the Kangxi radicals that share their glyph (金 comes back as U+2F26);
// fold those back to the ideographs.
inline QString FoldRadicals(const QString& text) {
    QString folded;
    for (const QChar c : text) {
        const bool radical = c.unicode() >= 0x2F00 && c.unicode() <= 0x2FDF;
        folded += radical ? QString(c).normalized(QString::NormalizationForm_KC) : QString(c);
    }
    return folded;
}

// Empty content when pdftotext is missing or fails.
inline PdfContent ReadPdfWords(const QString& pdfPath) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdfPath, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    const QString html = QString::fromUtf8(process.readAllStandardOutput());

    static const QRegularExpression pageOrWord(QStringLiteral(
        "<page width=\"([0-9.]+)\" height=\"([0-9.]+)\">|"
        "<word xMin=\"([0-9.-]+)\" yMin=\"([0-9.-]+)\" xMax=\"([0-9.-]+)\" yMax=\"([0-9.-]+)\">"
        "([^<]*)</word>"));
    PdfContent content;
    for (const QRegularExpressionMatch& match : pageOrWord.globalMatch(html)) {
        if (!match.captured(1).isEmpty()) {
            content.pages.append(
                QSizeF(PointsToMm(match.captured(1).toDouble()), PointsToMm(match.captured(2).toDouble())));
            continue;
        }
        PdfWord word;
        word.page = static_cast<int>(content.pages.size()) - 1;
        word.left = PointsToMm(match.captured(3).toDouble());
        word.top = PointsToMm(match.captured(4).toDouble());
        word.right = PointsToMm(match.captured(5).toDouble());
        word.bottom = PointsToMm(match.captured(6).toDouble());
        word.text = FoldRadicals(XmlUnescape(match.captured(7)));
        content.words.append(word);
    }
    return content;
}
