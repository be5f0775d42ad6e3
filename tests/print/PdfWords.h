#pragma once

// Words of a PDF with their boxes in millimetres, read by poppler's pdftotext so positions are checked by a
// reader that is not Qt.

#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QString>

struct PdfWord {
    int page = 0;
    QString text;
    double left = 0, top = 0, right = 0, bottom = 0;
};

struct PdfContent {
    QList<QSizeF> pages;
    QList<PdfWord> words;

    QList<PdfWord> find(const QString& text) const {
        QList<PdfWord> found;
        for (const PdfWord& word : words)
            if (word.text == text)
                found.append(word);
        return found;
    }
};

// Some ideographs come back as the Kangxi radicals that share their glyph (金 as U+2F26); fold them back.
inline QString FoldRadicals(const QString& text) {
    QString folded;
    for (const QChar c : text)
        folded += c.unicode() >= 0x2F00 && c.unicode() <= 0x2FDF
                      ? QString(c).normalized(QString::NormalizationForm_KC)
                      : QString(c);
    return folded.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

// Empty content when pdftotext is missing or fails.
inline PdfContent ReadPdfWords(const QString& pdfPath) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdfPath, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    static const QRegularExpression pageOrWord(QStringLiteral(
        "<page width=\"([0-9.]+)\" height=\"([0-9.]+)\">|"
        "<word xMin=\"([0-9.-]+)\" yMin=\"([0-9.-]+)\" xMax=\"([0-9.-]+)\" yMax=\"([0-9.-]+)\">"
        "([^<]*)</word>"));
    const auto mm = [](const QString& points) { return points.toDouble() * 25.4 / 72.0; };
    PdfContent content;
    for (const QRegularExpressionMatch& m :
         pageOrWord.globalMatch(QString::fromUtf8(process.readAllStandardOutput()))) {
        if (!m.captured(1).isEmpty())
            content.pages.append(QSizeF(mm(m.captured(1)), mm(m.captured(2))));
        else
            content.words.append({static_cast<int>(content.pages.size()) - 1, FoldRadicals(m.captured(7)),
                                  mm(m.captured(3)), mm(m.captured(4)), mm(m.captured(5)),
                                  mm(m.captured(6))});
    }
    return content;
}
