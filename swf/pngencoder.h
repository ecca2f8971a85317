#pragma once

#include <QImage>
#include <QString>

class QIODevice;

// PNG encoding of straight-alpha ARGB32 images that gives the very bytes
// Qt's PNG writer gives at its default quality, in less time.
//
// Both drive the same libpng the same way; the difference is the choice of
// each row's filter. libpng tries all five filters on every row in plain
// byte loops and keeps the one whose residuals have the smallest sum of
// absolute values (the earlier filter on a tie), which costs about as much
// as the compression on images that compress well. Here the same sums are
// taken in one vectorised pass, and libpng is told the winner, so it only
// applies that one filter.
namespace png
{

// Whether encode() writes this image (else Qt's writer must): Format_ARGB32
// with no text and no colour space, the images the dump makes.
bool handles(const QImage &image);

// Writes `image` (handles() must hold) as PNG to `device`. Returns an empty
// string when done, else why not (the device's error on a failed write).
QString encode(const QImage &image, QIODevice &device);

// The filter libpng's heuristic picks for a row of `bytes` bytes of 4-byte
// pixels, given the row above (nullptr for the first row): 0 none, 1 sub,
// 2 up, 3 average, 4 Paeth.
int chooseFilter(const uchar *row, const uchar *above, qsizetype bytes);

} // namespace png
