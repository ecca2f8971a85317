// Bitmap decoding from raw bytes: inflateBitmapData, imageFromARGB and the
// dump's decoding path; then the dump's PNG encoding of what it decoded,
// which must give the bytes Qt's PNG writer gives.
//
// Input: width (4 bytes, little-endian, signed), height (the same), one mode
// byte, then the data. With mode bit 0 set the data is base64-encoded before
// decoding, so the fuzzer reaches the zlib stream itself; otherwise it is
// handed over as base64 text as it stands.

#include "fuzz/fuzzsupport.h"
#include "swf/bitmap.h"
#include "swf/pngencoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace
{

constexpr qint64 kMaxBuiltPixels = qint64(4) << 20;
// Encoding twice is slow: only images up to this size are encoded.
constexpr qint64 kMaxEncodedPixels = qint64(1) << 16;

qint32 readInt(const uint8_t *p)
{
    const quint32 v =
        quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
    qint32 out;
    std::memcpy(&out, &v, sizeof out);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietDebugOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 9)
        return 0;
    const int width = readInt(data);
    const int height = readInt(data + 4);
    const uint8_t mode = data[8];
    const QByteArray rest(reinterpret_cast<const char *>(data + 9), qsizetype(size - 9));
    const QByteArray text = (mode & 1) ? rest.toBase64() : rest;
    // Base64 text is read exactly as QByteArray::fromBase64 reads it.
    FUZZ_CHECK(compressedBitmapData(text) == QByteArray::fromBase64(text));

    const bool sizeOk = width > 0 && height > 0 && qint64(width) * height <= kMaxBitmapPixels;
    const qint64 wanted = sizeOk ? qint64(width) * height * 4 : 0;

    // The inflater never produces more than asked for.
    const qint64 cap = sizeOk ? wanted : qint64(1) << 16;
    const QByteArray pixels = inflateBitmapData(text, cap);
    FUZZ_CHECK(pixels.size() <= cap);

    // Images above 4 megapixels take the same way as smaller ones, only
    // longer: building them would slow the fuzzer down to a few runs a
    // second, so only their inflation is run.
    if (sizeOk && qint64(width) * height > kMaxBuiltPixels)
        return 0;

    // Any bytes, even too few or too many, make an image of the given size,
    // or none when the size is refused.
    const QImage image = imageFromARGB(sizeOk ? pixels : rest, width, height);
    FUZZ_CHECK(image.isNull() || (sizeOk && image.width() == width && image.height() == height));
    if (!image.isNull())
        FUZZ_CHECK(image.format() == QImage::Format_ARGB32_Premultiplied);

    // The dump inflates whole streams its own faster way, handing anything
    // unusual back to the streaming inflater: the image must be exactly the
    // one the streaming inflation gives.
    const QImage dumped = dumpImage(text, width, height);
    FUZZ_CHECK(dumped.isNull() || (sizeOk && dumped.size() == QSize(width, height)));
    if (sizeOk && !image.isNull())
        FUZZ_CHECK(dumped.isNull() == pixels.isEmpty());
    if (!dumped.isNull())
        FUZZ_CHECK(!pixels.isEmpty() && dumped == image);

    if (!dumped.isNull() && qint64(width) * height <= kMaxEncodedPixels) {
        const QImage straight = dumped.convertToFormat(QImage::Format_ARGB32);
        FUZZ_CHECK(png::handles(straight));
        QByteArray ours;
        QBuffer ourBuffer(&ours);
        ourBuffer.open(QIODevice::WriteOnly);
        FUZZ_CHECK(png::encode(straight, ourBuffer).isEmpty());
        QByteArray qt;
        QBuffer qtBuffer(&qt);
        qtBuffer.open(QIODevice::WriteOnly);
        FUZZ_CHECK(QImageWriter(&qtBuffer, "png").write(straight));
        FUZZ_CHECK(ours == qt);
    }
    return 0;
}
