#include "swf/pngencoder.h"

#include <QColorSpace>
#include <QIODevice>
#include <QSysInfo>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace png
{

namespace
{

constexpr int kBytesPerPixel = 4;

enum Filter { None, Sub, Up, Average, Paeth };

// A residual byte as libpng weighs it: its distance from zero, read as a
// signed byte.
inline unsigned weight(unsigned residual)
{
    residual &= 0xff;
    return residual < 128 ? residual : 256 - residual;
}

// What a filter predicts a byte from the byte to its left (a), above (b)
// and above left (c).
template <int filter> inline unsigned predict(unsigned a, unsigned b, unsigned c)
{
    if constexpr (filter == None)
        return 0;
    else if constexpr (filter == Sub)
        return a;
    else if constexpr (filter == Up)
        return b;
    else if constexpr (filter == Average)
        return (a + b) >> 1;
    const int p = int(b) - int(c);
    const int q = int(a) - int(c);
    const int pa = p < 0 ? -p : p;
    const int pb = q < 0 ? -q : q;
    const int pc = p + q < 0 ? -(p + q) : p + q;
    return (pa <= pb && pa <= pc) ? a : (pb <= pc) ? b : c;
}

#ifdef __SSE2__
inline __m128i load(const uchar *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// Which of a, b, c the Paeth predictor takes, for 8 bytes widened to 16
// bits: masks for a and for b (c where neither is set).
inline void paethMasks(__m128i a, __m128i b, __m128i c, __m128i &takeA, __m128i &takeB)
{
    const auto abs16 = [](__m128i v) {
        return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
    };
    const __m128i p = _mm_sub_epi16(b, c);
    const __m128i q = _mm_sub_epi16(a, c);
    const __m128i pa = abs16(p);
    const __m128i pb = abs16(q);
    const __m128i pc = abs16(_mm_add_epi16(p, q));
    takeA = _mm_andnot_si128(_mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc)),
                             _mm_set1_epi16(-1));
    takeB = _mm_andnot_si128(_mm_or_si128(takeA, _mm_cmpgt_epi16(pb, pc)), _mm_set1_epi16(-1));
}

// predict() for 16 bytes at once.
template <int filter> inline __m128i predict(__m128i a, __m128i b, __m128i c)
{
    const __m128i zero = _mm_setzero_si128();
    if constexpr (filter == None)
        return zero;
    else if constexpr (filter == Sub)
        return a;
    else if constexpr (filter == Up)
        return b;
    else if constexpr (filter == Average) // the rounded-up mean less the odd bit
        return _mm_sub_epi8(_mm_avg_epu8(a, b),
                            _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
    __m128i lowA, lowB, highA, highB;
    paethMasks(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(c, zero),
               lowA, lowB);
    paethMasks(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(c, zero),
               highA, highB);
    const __m128i takeA = _mm_packs_epi16(lowA, highA);
    const __m128i takeB = _mm_packs_epi16(lowB, highB);
    const __m128i takeC = _mm_andnot_si128(_mm_or_si128(takeA, takeB), _mm_set1_epi8(-1));
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(takeA, a), _mm_and_si128(takeB, b)),
                        _mm_and_si128(takeC, c));
}

// The weights of 16 residual bytes, summed into the two 64-bit halves.
inline __m128i weigh(__m128i residuals)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i magnitude = _mm_min_epu8(residuals, _mm_sub_epi8(zero, residuals));
    return _mm_sad_epu8(magnitude, zero);
}
#endif

// Calls `f(i, a, b, c)` for every byte i of a row (a, b, c as predict()
// takes them; they are zero left of the first pixel), and `block(i, a, b,
// c)` instead for runs of 16 bytes where vectors can take them (never
// without SSE2, where `block` is nullptr).
template <typename Byte, typename Block>
void forEachByte(const uchar *row, const uchar *above, qsizetype bytes, Byte f,
                 [[maybe_unused]] Block block)
{
    qsizetype i = 0;
    for (; i < kBytesPerPixel && i < bytes; ++i)
        f(i, 0u, unsigned(above[i]), 0u);
#ifdef __SSE2__
    for (; i + 16 <= bytes; i += 16)
        block(i, load(row + i - kBytesPerPixel), load(above + i), load(above + i - kBytesPerPixel));
#endif
    for (; i < bytes; ++i)
        f(i, unsigned(row[i - kBytesPerPixel]), unsigned(above[i]),
          unsigned(above[i - kBytesPerPixel]));
}

// The sums of the weights of a row's residuals under the five filters.
void sumAll(const uchar *row, const uchar *above, qsizetype bytes, quint64 sums[5])
{
#ifdef __SSE2__
    __m128i vectors[5] = {};
#endif
    forEachByte(
        row, above, bytes,
        [&](qsizetype i, unsigned a, unsigned b, unsigned c) {
            const unsigned x = row[i];
            sums[None] += weight(x - predict<None>(a, b, c));
            sums[Sub] += weight(x - predict<Sub>(a, b, c));
            sums[Up] += weight(x - predict<Up>(a, b, c));
            sums[Average] += weight(x - predict<Average>(a, b, c));
            sums[Paeth] += weight(x - predict<Paeth>(a, b, c));
        },
#ifdef __SSE2__
        [&](qsizetype i, __m128i a, __m128i b, __m128i c) {
            const __m128i x = load(row + i);
            vectors[None] = _mm_add_epi64(vectors[None], weigh(x));
            vectors[Sub] =
                _mm_add_epi64(vectors[Sub], weigh(_mm_sub_epi8(x, predict<Sub>(a, b, c))));
            vectors[Up] = _mm_add_epi64(vectors[Up], weigh(_mm_sub_epi8(x, predict<Up>(a, b, c))));
            vectors[Average] =
                _mm_add_epi64(vectors[Average], weigh(_mm_sub_epi8(x, predict<Average>(a, b, c))));
            vectors[Paeth] =
                _mm_add_epi64(vectors[Paeth], weigh(_mm_sub_epi8(x, predict<Paeth>(a, b, c))));
        }
#else
        nullptr
#endif
    );
#ifdef __SSE2__
    for (int f = 0; f < 5; ++f) {
        alignas(16) quint64 halves[2];
        _mm_store_si128(reinterpret_cast<__m128i *>(halves), vectors[f]);
        sums[f] += halves[0] + halves[1];
    }
#endif
}

// Writes the residuals of `filter` for `row` under `above`.
template <int filter>
void applyFilter(const uchar *row, const uchar *above, qsizetype bytes, uchar *out)
{
    forEachByte(
        row, above, bytes,
        [&](qsizetype i, unsigned a, unsigned b, unsigned c) {
            out[i] = uchar(row[i] - predict<filter>(a, b, c));
        },
#ifdef __SSE2__
        [&](qsizetype i, __m128i a, __m128i b, __m128i c) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i),
                             _mm_sub_epi8(load(row + i), predict<filter>(a, b, c)));
        }
#else
        nullptr
#endif
    );
}

void applyFilter(int filter, const uchar *row, const uchar *above, qsizetype bytes, uchar *out)
{
    switch (filter) {
    case None:
        std::memcpy(out, row, size_t(bytes));
        break;
    case Sub:
        applyFilter<Sub>(row, above, bytes, out);
        break;
    case Up:
        applyFilter<Up>(row, above, bytes, out);
        break;
    case Average:
        applyFilter<Average>(row, above, bytes, out);
        break;
    default:
        applyFilter<Paeth>(row, above, bytes, out);
        break;
    }
}

// `row` (B, G, R, A in memory) as PNG's R, G, B, A.
void toRgba(const uchar *row, uchar *out, int width)
{
    int x = 0;
#ifdef __SSE2__
    const __m128i greenAlpha = _mm_set1_epi32(int(0xff00ff00u));
    const __m128i low = _mm_set1_epi32(0xff);
    for (; x + 4 <= width; x += 4) {
        const __m128i v = load(row + 4 * x);
        const __m128i swapped = _mm_or_si128(
            _mm_and_si128(v, greenAlpha), _mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 16), low),
                                                       _mm_slli_epi32(_mm_and_si128(v, low), 16)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * x), swapped);
    }
#endif
    for (; x < width; ++x) {
        out[4 * x] = row[4 * x + 2];
        out[4 * x + 1] = row[4 * x + 1];
        out[4 * x + 2] = row[4 * x];
        out[4 * x + 3] = row[4 * x + 3];
    }
}

// Which filters libpng lets a row use: a row of one pixel has nothing to its
// left, an image of one row nothing above.
unsigned allowedFilters(int width, int height)
{
    unsigned allowed = 1u << None | 1u << Sub | 1u << Up | 1u << Average | 1u << Paeth;
    if (height == 1)
        allowed &= ~(1u << Up | 1u << Average | 1u << Paeth);
    if (width == 1)
        allowed &= ~(1u << Sub | 1u << Average | 1u << Paeth);
    return allowed;
}

int bestFilter(const quint64 sums[5], unsigned allowed)
{
    int best = 0; // none is always allowed
    for (int f = 1; f < 5; ++f) {
        if ((allowed & (1u << f)) && sums[f] < sums[best])
            best = f;
    }
    return best;
}

// PNG chunks into a device; after a failed write, nothing more is written.
class ChunkWriter
{
public:
    explicit ChunkWriter(QIODevice &device) : device(device) {}
    bool failed = false;

    void raw(const void *data, qint64 size)
    {
        if (failed)
            return;
        errno = 0;
        if (device.write(static_cast<const char *>(data), size) != size) {
            failed = true;
            cause = errno;
        }
    }
    // Why the write failed. A file whose write stops part way (the disk
    // filling up under it) gives no reason of its own; the system's, left
    // by the write, says it.
    QString failure() const { return cause != 0 ? qt_error_string(cause) : device.errorString(); }
    void chunk(const char *type, const uchar *data, quint32 size)
    {
        uchar head[8];
        qToBigEndian<quint32>(size, head);
        std::memcpy(head + 4, type, 4);
        uLong crc = crc32(0, head + 4, 4);
        if (size > 0) // crc32() of no data starts over
            crc = crc32(crc, data, size);
        uchar tail[4];
        qToBigEndian<quint32>(quint32(crc), tail);
        raw(head, 8);
        raw(data, size);
        raw(tail, 4);
    }

private:
    QIODevice &device;
    int cause = 0; // errno after the failed write
};

// libpng's zlib stream for image data of `dataSize` bytes: a window no
// larger than the data needs, and a header that claims no more than it.
int windowBits(quint64 dataSize)
{
    int bits = 15;
    if (dataSize <= 16384) {
        quint64 half = quint64(1) << (bits - 1);
        while (dataSize + 262 <= half) {
            half >>= 1;
            --bits;
        }
    }
    return bits;
}

void tightenHeader(uchar *data, quint64 dataSize)
{
    if (dataSize > 16384)
        return;
    unsigned cmf = data[0];
    if ((cmf & 0x0f) != 8 || (cmf & 0xf0) > 0x70)
        return;
    unsigned info = cmf >> 4;
    quint64 half = quint64(1) << (info + 7);
    if (dataSize > half)
        return;
    do {
        half >>= 1;
        --info;
    } while (info > 0 && dataSize <= half);
    cmf = (cmf & 0x0f) | info << 4;
    data[0] = uchar(cmf);
    unsigned flags = data[1] & 0xe0;
    flags += 0x1f - ((cmf << 8) + flags) % 0x1f;
    data[1] = uchar(flags);
}

// The image data: filtered rows deflated as libpng deflates them, into IDAT
// chunks of 8 KiB (libpng's buffer) and the rest in a last one.
class ImageData
{
public:
    // `filtered`: whether rows may be filtered; libpng tunes zlib for
    // filtered data then.
    ImageData(ChunkWriter &out, quint64 dataSize, bool filtered)
        : out(out), dataSize(dataSize), strategy(filtered ? Z_FILTERED : Z_DEFAULT_STRATEGY)
    {
    }
    ~ImageData()
    {
        if (ready)
            deflateEnd(&stream);
    }
    ImageData(const ImageData &) = delete;
    ImageData &operator=(const ImageData &) = delete;

    bool start()
    {
        ready = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits(dataSize), 8,
                             strategy) == Z_OK;
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        return ready;
    }
    bool add(const uchar *data, qsizetype size)
    {
        stream.next_in = const_cast<uchar *>(data);
        stream.avail_in = uInt(size);
        while (stream.avail_in > 0) {
            if (deflate(&stream, Z_NO_FLUSH) == Z_STREAM_ERROR)
                return false;
            if (stream.avail_out == 0)
                flushBuffer(sizeof buffer);
        }
        return true;
    }
    bool finish()
    {
        for (;;) {
            const int status = deflate(&stream, Z_FINISH);
            if (status != Z_OK && status != Z_STREAM_END)
                return false;
            if (stream.avail_out == 0)
                flushBuffer(sizeof buffer);
            if (status == Z_STREAM_END)
                break;
        }
        if (stream.avail_out < sizeof buffer)
            flushBuffer(sizeof buffer - stream.avail_out);
        return true;
    }

private:
    void flushBuffer(quint32 size)
    {
        if (first)
            tightenHeader(buffer, dataSize);
        first = false;
        out.chunk("IDAT", buffer, size);
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
    }

    ChunkWriter &out;
    const quint64 dataSize;
    const int strategy;
    z_stream stream{};
    bool ready = false;
    bool first = true;
    uchar buffer[8192];
};

} // namespace

bool handles(const QImage &image)
{
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian &&
           image.format() == QImage::Format_ARGB32 && !image.isNull() &&
           image.textKeys().isEmpty() && !image.colorSpace().isValid();
}

QString encode(const QImage &image, QIODevice &device)
{
    const int width = image.width();
    const int height = image.height();
    const qsizetype rowBytes = qsizetype(width) * kBytesPerPixel;
    ChunkWriter out(device);
    static const uchar signature[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
    out.raw(signature, 8);
    uchar header[13];
    qToBigEndian<quint32>(quint32(width), header);
    qToBigEndian<quint32>(quint32(height), header + 4);
    const uchar depthAndKind[5] = {8, 6, 0, 0, 0}; // 8 bits, RGBA, no interlace
    std::memcpy(header + 8, depthAndKind, 5);
    out.chunk("IHDR", header, 13);
    if (image.dotsPerMeterX() > 0 || image.dotsPerMeterY() > 0) {
        uchar resolution[9];
        qToBigEndian<quint32>(quint32(image.dotsPerMeterX()), resolution);
        qToBigEndian<quint32>(quint32(image.dotsPerMeterY()), resolution + 4);
        resolution[8] = 1; // per metre
        out.chunk("pHYs", resolution, 9);
    }

    // Two rows in PNG's byte order and a filtered row with its filter byte.
    // The row above the first is zeros, as libpng's filters see it.
    std::vector<uchar> rows(size_t(3 * rowBytes + 1));
    uchar *current = rows.data();
    uchar *above = current + rowBytes;
    uchar *filtered = above + rowBytes;
    const unsigned allowed = allowedFilters(width, height);
    ImageData data(out, quint64(rowBytes + 1) * quint64(height), allowed != 1u << None);
    if (!data.start())
        return QStringLiteral("out of memory");
    for (int y = 0; y < height; ++y) {
        toRgba(image.constScanLine(y), current, width);
        quint64 sums[5] = {};
        sumAll(current, above, rowBytes, sums);
        const int filter = bestFilter(sums, allowed);
        filtered[0] = uchar(filter);
        applyFilter(filter, current, above, rowBytes, filtered + 1);
        if (!data.add(filtered, rowBytes + 1))
            return QStringLiteral("can't compress the image");
        std::swap(current, above);
    }
    if (!data.finish())
        return QStringLiteral("can't compress the image");
    out.chunk("IEND", nullptr, 0);
    if (out.failed)
        return out.failure();
    return {};
}

} // namespace png
