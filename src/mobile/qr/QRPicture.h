#pragma once

#include <QImage>

#include <cstdint>
#include <span>

// Turns a matrix of module values (one byte per module, rows of `width` bytes from the top, no gaps) into a
// picture: white background of (width + x0 + extraWidth) x (height + y0 + extraHeight) pixels with the matrix
// copied one pixel per module at (x0, y0). Palette: 0 white, 1 black, 2 grey (128, 128, 128), 3 .. 255 black.
// The image is 8-bit indexed with that palette. A null image when the sizes are not positive, an offset is
// negative or the matrix holds fewer than width x height bytes.
QImage MatrixToPicture(std::span<const std::uint8_t> matrix, int width, int height, int x0, int y0,
                       int extraWidth, int extraHeight);

// The palette colour of one module value.
QRgb ModuleColour(std::uint8_t value);
