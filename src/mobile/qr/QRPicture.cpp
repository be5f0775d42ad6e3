#include "mobile/qr/QRPicture.h"

#include <cstring>
#include <limits>

QRgb ModuleColour(std::uint8_t value) {
    switch (value) {
    case 0:
        return qRgb(255, 255, 255);
    case 2:
        return qRgb(128, 128, 128);
    default:
        return qRgb(0, 0, 0);
    }
}

QImage MatrixToPicture(std::span<const std::uint8_t> matrix, int width, int height, int x0, int y0,
                       int extraWidth, int extraHeight) {
    if (width <= 0 || height <= 0 || x0 < 0 || y0 < 0 || extraWidth < 0 || extraHeight < 0) {
        return {};
    }
    const qint64 pictureWidth = qint64(width) + x0 + extraWidth;
    const qint64 pictureHeight = qint64(height) + y0 + extraHeight;
    constexpr qint64 kLargest = 32767;
    if (pictureWidth > kLargest || pictureHeight > kLargest ||
        qint64(matrix.size()) < qint64(width) * height) {
        return {};
    }
    QImage picture(int(pictureWidth), int(pictureHeight), QImage::Format_Indexed8);
    if (picture.isNull()) {
        return {};
    }
    QList<QRgb> palette(256);
    for (int i = 0; i < 256; ++i) {
        palette[i] = ModuleColour(std::uint8_t(i));
    }
    picture.setColorTable(palette);
    picture.fill(0);
    for (int y = 0; y < height; ++y) {
        std::memcpy(picture.scanLine(y0 + y) + x0, matrix.data() + qsizetype(y) * width, size_t(width));
    }
    return picture;
}
