// Time to lay out a 120-line bill, to paint it on a screen-resolution image (the whole paper, and one
// screenful as the preview repaints it while scrolling) and to write it as a PDF at printer resolution.
// Prints medians over several rounds.

#include "print/BillLayout.h"

#include "common/Median.h"
#include <QBuffer>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    BillData bill{QStringLiteral("澄槿小馆"),
                  QStringLiteral("河西路8号"),
                  QStringLiteral("12345678"),
                  QStringLiteral("3号桌"),
                  {},
                  QStringLiteral("1200"),
                  QStringLiteral("1200"),
                  10,
                  10,
                  QDateTime::currentDateTime()};
    for (int i = 0; i < 120; ++i)
        bill.lines.append(
            {kDishes, QStringLiteral("宫保鸡丁%1").arg(i), "1", "份", "10", "10", {}, kMark, {}, {}, {}});

    constexpr int kRounds = 21;
    const ReceiptDocument document = BillReceiptDocument(bill);
    const double layoutMs = MedianMs(kRounds, [&] { BillReceiptDocument(bill); });

    QImage screen(qCeil(84 * 96 / 25.4), qCeil(document.endMm() * 96 / 25.4),
                  QImage::Format_ARGB32_Premultiplied);
    screen.setDotsPerMeterX(qRound(96 / 0.0254));
    screen.setDotsPerMeterY(qRound(96 / 0.0254));
    const double previewMs = MedianMs(kRounds, [&] {
        screen.fill(Qt::white);
        QPainter painter(&screen);
        PaintReceipt(painter, document);
    });

    // One screenful of the preview (600 px) in the middle of the bill, as a scroll repaints it.
    const double bandTopMm = document.endMm() / 2;
    const double bandBottomMm = bandTopMm + 600 * 25.4 / 96;
    const qsizetype bandItems = ItemsBetween(document, bandTopMm, bandBottomMm).size();
    const double screenfulMs = MedianMs(kRounds, [&] {
        QPainter painter(&screen);
        PaintReceiptItems(painter, ItemsBetween(document, bandTopMm, bandBottomMm));
    });

    const double pdfMs = MedianMs(kRounds, [&] {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QPdfWriter writer(&out);
        writer.setPageSize(QPageSize(QSizeF(80, 297), QPageSize::Millimeter));
        QPainter painter(&writer);
        PaintReceiptPaged(painter, writer, document);
    });

    std::printf("120-line bill (%lld items, %.0f mm long), medians of %d rounds:\n",
                static_cast<long long>(document.items().size()), document.endMm(), kRounds);
    std::printf("  layout:                    %.2f ms\n", layoutMs);
    std::printf("  paint at 96 dpi (preview): %.2f ms\n", previewMs);
    std::printf("  paint one 600 px screenful (%lld items): %.2f ms\n", static_cast<long long>(bandItems),
                screenfulMs);
    std::printf("  PDF at 1200 dpi, A4-long:  %.2f ms\n", pdfMs);
    return 0;
}
