#pragma once

#include <QByteArray>
#include <QDomNode>
#include <QImage>

#include <optional>

struct PreviewSource;

// Largest bitmap the decoder builds: 8191 x 8191 pixels (the Flash player's
// own limit on each side). Larger ones are refused as undecodable.
constexpr qint64 kMaxBitmapPixels = qint64(8191) * 8191;

// Base64 text of a zlib stream -> inflated bytes. Blanks, line breaks and
// "=" padding in the text are skipped. Empty when the data can't be inflated:
// a corrupt stream, one that ends before `maxBytes` bytes and before its own
// end, an empty stream or text, or `maxBytes` of 0 or less. At most `maxBytes`
// bytes are produced: once they are out the rest of the stream is ignored, so
// a small stream that unpacks to gigabytes costs no more than `maxBytes`.
QByteArray inflateBitmapData(const QByteArray &base64, qint64 maxBytes = 4 * kMaxBitmapPixels);

// A, R, G, B bytes per pixel (colour premultiplied by alpha), rows from the
// top -> image in QImage::Format_ARGB32_Premultiplied. Pixels the data does
// not reach are transparent black. A null image when width or height is 0 or
// less, above kMaxBitmapPixels, or when the image can't be allocated.
QImage imageFromARGB(const QByteArray &pixels, int width, int height);

// The preview's way from a DefineBitsLossless2 element to an image: nothing
// on failure (no attributes, height 0 or less, width below 0, more than
// kMaxBitmapPixels, no data/data child, data that can't be inflated or an
// image that can't be allocated); a null image for a bitmap of width 0 whose
// data inflates. `width` and `height` read as 0 when missing or not numeric.
std::optional<QImage> previewImage(const PreviewSource &source);
std::optional<QImage> previewImage(const QDomNode &element);

// The dump's way from a bitmap's base64 text and its size, as recorded at
// catalogue time, to an image: a null image on any failure, and for a width
// or height of 0 or less (nothing is inflated then).
QImage dumpImage(const QByteArray &base64, int width, int height);

// dumpImage in its two stages, so that the first can run ahead on another
// thread: the zlib stream that base64 text stands for (empty when there is
// none, or no memory for it), then the image from that stream.
QByteArray compressedBitmapData(const QByteArray &base64);
QImage dumpImageFromCompressed(const QByteArray &compressed, int width, int height);

// Base64 text of a bitmap element the way the dump reads it: the first
// child's first child's first child, names unchecked.
QByteArray dumpBitmapText(const QDomNode &element);
