#pragma once

#include <QImage>
#include <QString>

class QIODevice;

// PNG encoding of straight-alpha ARGB32 images that gives the very bytes
// Qt's PNG writer gives at its default quality, in less time.
//
// Qt's writer hands the rows to libpng, which tries all five filters on
// every row in plain byte loops and keeps the one whose residuals have the
// smallest sum of absolute values (the earlier filter on a tie): on images
// that compress well that costs about as much as the compression. Here the
// same sums are taken in one vectorised pass, the winner is applied, and
// the rows go to zlib with the settings, the 8 KiB IDAT chunks and the
// zlib header libpng gives them.
namespace png
{

// Whether encode() writes this image (else Qt's writer must): Format_ARGB32
// with no text and no colour space, the images the dump makes.
bool handles(const QImage &image);

// Writes `image` (handles() must hold) as PNG to `device`. Returns an empty
// string when done, else why not (the device's error on a failed write).
QString encode(const QImage &image, QIODevice &device);

} // namespace png
