#include "swf/bitmap.h"

#include "swf/catalogue.h"

#include <QtGlobal>

#include <algorithm>
#include <climits>
#include <new>
#include <zlib.h>

namespace
{

// First guess of the inflated size: enough for most bitmaps at once, grown
// by doubling from there.
constexpr qint64 kInitialInflateBytes = 64 * 1024;

// Bytes of a `width` x `height` ARGB image, or -1 when the size is outside
// what the decoder builds (no pixels, or above the pixel cap).
qint64 pixelBytes(int width, int height)
{
    if (width <= 0 || height <= 0)
        return -1;
    const qint64 pixels = qint64(width) * height;
    if (pixels > kMaxBitmapPixels)
        return -1;
    return pixels * 4;
}

// Inflates the zlib stream `compressed` into at most `maxBytes` bytes (see
// inflateBitmapData). Growing the output may throw std::bad_alloc.
QByteArray inflateBounded(const QByteArray &compressed, qint64 maxBytes)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return {};
    struct End {
        z_stream *s;
        ~End() { inflateEnd(s); }
    } end{&stream};

    QByteArray out;
    qint64 produced = 0;
    // Room for a typical ratio at once, grown by doubling from there rather
    // than trusting the bound, which a hostile size can make huge.
    qint64 capacity =
        std::min(maxBytes, std::max(kInitialInflateBytes, qint64(compressed.size()) * 4));
    out.resize(qsizetype(capacity));

    const auto *in = reinterpret_cast<const Bytef *>(compressed.constData());
    qint64 inLeft = compressed.size();
    for (;;) {
        if (stream.avail_in == 0 && inLeft > 0) {
            const uInt chunk = uInt(std::min<qint64>(inLeft, UINT_MAX));
            stream.next_in = const_cast<Bytef *>(in);
            stream.avail_in = chunk;
            in += chunk;
            inLeft -= chunk;
        }
        if (produced == capacity) {
            // Everything wanted is out; the rest of the stream is ignored.
            if (capacity == maxBytes)
                break;
            capacity = std::min(maxBytes, capacity * 2);
            out.resize(qsizetype(capacity));
        }
        const uInt room = uInt(std::min<qint64>(capacity - produced, UINT_MAX));
        stream.next_out = reinterpret_cast<Bytef *>(out.data() + produced);
        stream.avail_out = room;
        const int status = inflate(&stream, Z_NO_FLUSH);
        produced += room - stream.avail_out;
        if (status == Z_STREAM_END)
            break;
        if (status == Z_BUF_ERROR && stream.avail_in == 0 && inLeft == 0)
            return {}; // the stream is cut short
        if (status != Z_OK && status != Z_BUF_ERROR)
            return {}; // corrupt data (a wrong checksum included), or no memory
    }

    if (produced == 0)
        return {};
    out.truncate(qsizetype(produced));
    return out;
}

// Pixel data of `width` x `height` from the zlib stream: what the preview
// and the dump share once each has checked the size its own way. A null
// image when the data can't be inflated or the image can't be built.
QImage decode(const QByteArray &compressed, int width, int height)
{
    const qint64 bytes = pixelBytes(width, height);
    if (bytes < 0 || compressed.isEmpty())
        return {};
    try {
        const QByteArray pixels = inflateBounded(compressed, bytes);
        if (pixels.isEmpty())
            return {};
        return imageFromARGB(pixels, width, height);
    } catch (const std::bad_alloc &) {
        return {};
    }
}

} // namespace

QByteArray compressedBitmapData(const QByteArray &base64)
{
    try {
        return QByteArray::fromBase64(base64);
    } catch (const std::bad_alloc &) {
        // No memory for the data: as undecodable as a corrupt stream.
        return {};
    }
}

QByteArray inflateBitmapData(const QByteArray &base64, qint64 maxBytes)
{
    if (maxBytes <= 0)
        return {};
    const QByteArray compressed = compressedBitmapData(base64);
    if (compressed.isEmpty())
        return {};
    try {
        return inflateBounded(compressed, maxBytes);
    } catch (const std::bad_alloc &) {
        return {};
    }
}

QImage imageFromARGB(const QByteArray &pixels, int width, int height)
{
    if (pixelBytes(width, height) < 0)
        return {};
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};

    const auto *data = reinterpret_cast<const uchar *>(pixels.constData());
    const qint64 available = pixels.size();
    const qint64 rowBytes = qint64(width) * 4;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const qint64 rowStart = y * rowBytes;
        // Whole pixels of this row that the data reaches; the rest stays
        // transparent black.
        const qint64 reached = std::clamp<qint64>((available - rowStart) / 4, 0, qint64(width));
        const uchar *src = data + (reached > 0 ? rowStart : 0);
        for (qint64 x = 0; x < reached; ++x, src += 4) {
            const uint a = src[0];
            // Colour bytes are premultiplied, so none may exceed alpha; a
            // larger one is clamped rather than overflowing on conversion.
            const uint r = std::min<uint>(src[1], a);
            const uint g = std::min<uint>(src[2], a);
            const uint b = std::min<uint>(src[3], a);
            line[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
        std::fill(line + reached, line + width, QRgb(0));
    }
    return image;
}

std::optional<QImage> previewImage(const QDomNode &element)
{
    if (!element.hasAttributes())
        return std::nullopt;
    const int width = attributeValue(element, QStringLiteral("width")).toInt(nullptr, 10);
    const int height = attributeValue(element, QStringLiteral("height")).toInt(nullptr, 10);
    if (height <= 0 || width < 0)
        return std::nullopt;
    if (qint64(width) * height > kMaxBitmapPixels)
        return std::nullopt;

    const QDomNode inner =
        childElement(childElement(element, QStringLiteral("data")), QStringLiteral("data"));
    if (inner.isNull())
        return std::nullopt;
    const QByteArray base64 = inner.firstChild().nodeValue().toLocal8Bit();

    if (width == 0) {
        // Nothing to show, but the data must still inflate; one byte proves
        // it without unpacking the rest.
        if (inflateBitmapData(base64, 1).isEmpty())
            return std::nullopt;
        return QImage();
    }
    QImage image = decode(compressedBitmapData(base64), width, height);
    if (image.isNull())
        return std::nullopt;
    return image;
}

QImage dumpImage(const QByteArray &base64, int width, int height)
{
    // Nothing is decoded for a size the decoder doesn't build.
    if (pixelBytes(width, height) < 0)
        return {};
    return decode(compressedBitmapData(base64), width, height);
}

QImage dumpImageFromCompressed(const QByteArray &compressed, int width, int height)
{
    return decode(compressed, width, height);
}

QByteArray dumpBitmapText(const QDomNode &element)
{
    return element.firstChild().firstChild().firstChild().nodeValue().toLocal8Bit();
}
