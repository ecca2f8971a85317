#include "swf/bitmap.h"

#include "swf/catalogue.h"
#include "swfxml/codec.h"

#include <QtGlobal>

#include <algorithm>
#include <climits>
#include <new>
#include <zlib.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// One zlib stream being inflated into buffers the caller provides.
class Inflater
{
public:
    enum Status { Room, End, Failed };

    explicit Inflater(const QByteArray &compressed)
        : in(reinterpret_cast<const Bytef *>(compressed.constData())), inLeft(compressed.size())
    {
        ready = inflateInit(&stream) == Z_OK;
    }
    ~Inflater()
    {
        if (ready)
            inflateEnd(&stream);
    }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    // Inflates into `out` until its `room` bytes are full (Room) or the
    // stream ends (End); `produced` grows by the bytes written. Failed for
    // corrupt data (a wrong checksum included), a stream cut short, or no
    // memory.
    Status fill(char *out, qint64 room, qint64 &produced)
    {
        if (!ready)
            return Failed;
        while (room > 0) {
            if (stream.avail_in == 0 && inLeft > 0) {
                const uInt chunk = uInt(std::min<qint64>(inLeft, UINT_MAX));
                stream.next_in = const_cast<Bytef *>(in);
                stream.avail_in = chunk;
                in += chunk;
                inLeft -= chunk;
            }
            const uInt step = uInt(std::min<qint64>(room, UINT_MAX));
            stream.next_out = reinterpret_cast<Bytef *>(out);
            stream.avail_out = step;
            const int status = inflate(&stream, Z_NO_FLUSH);
            const qint64 written = step - stream.avail_out;
            out += written;
            room -= written;
            produced += written;
            if (status == Z_STREAM_END)
                return End;
            if (status == Z_BUF_ERROR && stream.avail_in == 0 && inLeft == 0)
                return Failed;
            if (status != Z_OK && status != Z_BUF_ERROR)
                return Failed;
        }
        return Room;
    }

private:
    z_stream stream{};
    bool ready = false;
    const Bytef *in;
    qint64 inLeft;
};

// Inflates the zlib stream `compressed` into at most `maxBytes` bytes (see
// inflateBitmapData). Growing the output may throw std::bad_alloc.
QByteArray inflateBounded(const QByteArray &compressed, qint64 maxBytes)
{
    Inflater inflater(compressed);
    QByteArray out;
    qint64 produced = 0;
    // Room for a typical ratio at once, grown by doubling from there rather
    // than trusting the bound, which a hostile size can make huge.
    qint64 capacity =
        std::min(maxBytes, std::max(kInitialInflateBytes, qint64(compressed.size()) * 4));
    for (;;) {
        out.resize(qsizetype(capacity));
        const Inflater::Status status =
            inflater.fill(out.data() + produced, capacity - produced, produced);
        if (status == Inflater::Failed)
            return {};
        // Once everything wanted is out, the rest of the stream is ignored.
        if (status == Inflater::End || capacity == maxBytes)
            break;
        capacity = std::min(maxBytes, capacity * 2);
    }
    if (produced == 0)
        return {};
    out.truncate(qsizetype(produced));
    return out;
}

// Turns the first `bytes` bytes at `pixels` (A, R, G, B per pixel, colour
// premultiplied) into `count` QRgb values in place; pixels the bytes don't
// reach become transparent black.
void toPremultipliedRgb(uchar *pixels, qint64 bytes, qint64 count)
{
    auto *out = reinterpret_cast<QRgb *>(pixels);
    const qint64 reached = std::min(bytes / 4, count);
    qint64 i = 0;
#ifdef __SSE2__
    // Four pixels at a time: the same clamping and byte order as below.
    const __m128i lowByte = _mm_set1_epi32(0xff);
    for (; i + 4 <= reached; i += 4) {
        auto *at = reinterpret_cast<__m128i *>(pixels + i * 4);
        const __m128i argb = _mm_loadu_si128(at);
        __m128i alpha = _mm_and_si128(argb, lowByte);
        alpha = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 8));
        alpha = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 16));
        const __m128i clamped = _mm_min_epu8(argb, alpha);
        // Reverse the bytes of each pixel: A R G B in memory -> 0xAARRGGBB.
        const __m128i halves = _mm_shufflehi_epi16(_mm_shufflelo_epi16(clamped, 0xb1), 0xb1);
        _mm_storeu_si128(at, _mm_or_si128(_mm_slli_epi16(halves, 8), _mm_srli_epi16(halves, 8)));
    }
#endif
    for (; i < reached; ++i) {
        const uchar *src = pixels + i * 4;
        const uint a = src[0];
        // Colour bytes are premultiplied, so none may exceed alpha; a larger
        // one is clamped rather than overflowing on conversion.
        const uint r = std::min<uint>(src[1], a);
        const uint g = std::min<uint>(src[2], a);
        const uint b = std::min<uint>(src[3], a);
        out[i] = (a << 24) | (r << 16) | (g << 8) | b;
    }
    std::fill(out + reached, out + count, QRgb(0));
}

// 72 dots per inch.
constexpr int kDotsPerMeter = 2835;

// An image of `width` x `height` pixels whose rows lie back to back (true of
// any 32-bit QImage), or a null image.
QImage newImage(int width, int height)
{
    if (pixelBytes(width, height) < 0)
        return {};
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    // A new QImage takes the resolution of the screen, or a default without
    // one; PNG files record it. SWF pixels are 1/72 inch (20 twips of 1/1440
    // inch), so that is what every image says, whatever the machine.
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    return image;
}

// Pixel data of `width` x `height` from the zlib stream: what the preview
// and the dump share once each has checked the size its own way. The stream
// is inflated straight into the image. A null image when the data can't be
// inflated or the image can't be built.
QImage decode(const QByteArray &compressed, int width, int height)
{
    if (compressed.isEmpty())
        return {};
    QImage image = newImage(width, height);
    if (image.isNull())
        return {};
    const qint64 bytes = image.sizeInBytes();
    auto *out = reinterpret_cast<char *>(image.bits());
    // A sound stream that fits is inflated in one call; anything else
    // (corrupt data, a stream cut short or longer than the image) is left to
    // zlib, so that every such case ends exactly as the streaming inflater
    // has it.
    qint64 produced =
        swfxml::inflateWhole(compressed.constData(), size_t(compressed.size()), out, size_t(bytes));
    if (produced < 0) {
        produced = 0;
        Inflater inflater(compressed);
        if (inflater.fill(out, bytes, produced) == Inflater::Failed)
            return {};
    }
    if (produced == 0)
        return {};
    toPremultipliedRgb(image.bits(), produced, qint64(width) * height);
    return image;
}

// QByteArray::fromBase64 with its default options, several times faster (see
// swfxml::decodeBase64).
QByteArray decodeBase64(const QByteArray &text)
{
    QByteArray out(qsizetype(swfxml::base64DecodedRoom(size_t(text.size()))), Qt::Uninitialized);
    out.truncate(qsizetype(swfxml::decodeBase64(text.constData(), size_t(text.size()),
                                                reinterpret_cast<uchar *>(out.data()))));
    return out;
}

} // namespace

QByteArray compressedBitmapData(const QByteArray &base64)
{
    try {
        return decodeBase64(base64);
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
    QImage image = newImage(width, height);
    if (image.isNull())
        return {};
    const qint64 bytes = std::min<qint64>(pixels.size(), image.sizeInBytes());
    std::copy_n(pixels.constData(), bytes, reinterpret_cast<char *>(image.bits()));
    toPremultipliedRgb(image.bits(), bytes, qint64(width) * height);
    return image;
}

std::optional<QImage> previewImage(const PreviewSource &source)
{
    if (!source.found)
        return std::nullopt;
    const int width = source.width.toInt(nullptr, 10);
    const int height = source.height.toInt(nullptr, 10);
    if (height <= 0 || width < 0)
        return std::nullopt;
    if (qint64(width) * height > kMaxBitmapPixels)
        return std::nullopt;

    const QByteArray &base64 = source.text;
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

std::optional<QImage> previewImage(const QDomNode &element)
{
    return previewImage(previewSource(element));
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
