#include "swf/pngencoder.h"

#include <QColorSpace>
#include <QIODevice>
#include <QSysInfo>

#include <png.h>

#include <csetjmp>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace png
{

namespace
{

constexpr int kBytesPerPixel = 4;

// A residual byte as libpng weighs it: its distance from zero, read as a
// signed byte.
inline unsigned weight(unsigned residual)
{
    residual &= 0xff;
    return residual < 128 ? residual : 256 - residual;
}

inline unsigned paeth(unsigned a, unsigned b, unsigned c)
{
    const int p = int(b) - int(c);
    const int q = int(a) - int(c);
    const int pa = p < 0 ? -p : p;
    const int pb = q < 0 ? -q : q;
    const int pc = p + q < 0 ? -(p + q) : p + q;
    return (pa <= pb && pa <= pc) ? a : (pb <= pc) ? b : c;
}

// Adds the weights of bytes [from, to) under the five filters to `sums`.
void sumBytes(const uchar *row, const uchar *above, qsizetype from, qsizetype to, quint64 sums[5])
{
    for (qsizetype i = from; i < to; ++i) {
        const unsigned x = row[i];
        const unsigned a = i >= kBytesPerPixel ? row[i - kBytesPerPixel] : 0;
        const unsigned b = above ? above[i] : 0;
        const unsigned c = above && i >= kBytesPerPixel ? above[i - kBytesPerPixel] : 0;
        sums[0] += weight(x);
        sums[1] += weight(x - a);
        sums[2] += weight(x - b);
        sums[3] += weight(x - ((a + b) >> 1));
        sums[4] += weight(x - paeth(a, b, c));
    }
}

#ifdef __SSE2__
// The weights of 16 residual bytes, summed into the two 64-bit halves.
inline __m128i weigh(__m128i residuals)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i magnitude = _mm_min_epu8(residuals, _mm_sub_epi8(zero, residuals));
    return _mm_sad_epu8(magnitude, zero);
}

inline __m128i abs16(__m128i v)
{
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

// Which of a, b, c the Paeth predictor takes, for 8 pixels' bytes widened to
// 16 bits: masks for a and for b (c where neither is set).
inline void paethMasks(__m128i a, __m128i b, __m128i c, __m128i &takeA, __m128i &takeB)
{
    const __m128i p = _mm_sub_epi16(b, c);
    const __m128i q = _mm_sub_epi16(a, c);
    const __m128i pa = abs16(p);
    const __m128i pb = abs16(q);
    const __m128i pc = abs16(_mm_add_epi16(p, q));
    takeA = _mm_andnot_si128(_mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc)),
                             _mm_set1_epi16(-1));
    takeB = _mm_andnot_si128(_mm_or_si128(takeA, _mm_cmpgt_epi16(pb, pc)), _mm_set1_epi16(-1));
}

// Bytes [kBytesPerPixel, end) in steps of 16; returns where it stopped.
qsizetype sumVectors(const uchar *row, const uchar *above, qsizetype bytes, quint64 sums[5])
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    __m128i none = zero, sub = zero, up = zero, average = zero, predicted = zero;
    qsizetype i = kBytesPerPixel;
    for (; i + 16 <= bytes; i += 16) {
        const auto load = [](const uchar *p) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        };
        const __m128i x = load(row + i);
        const __m128i a = load(row + i - kBytesPerPixel);
        const __m128i b = load(above + i);
        const __m128i c = load(above + i - kBytesPerPixel);
        none = _mm_add_epi64(none, weigh(x));
        sub = _mm_add_epi64(sub, weigh(_mm_sub_epi8(x, a)));
        up = _mm_add_epi64(up, weigh(_mm_sub_epi8(x, b)));
        // floor((a + b) / 2): the rounded-up average less the odd bit.
        const __m128i mean =
            _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
        average = _mm_add_epi64(average, weigh(_mm_sub_epi8(x, mean)));
        __m128i lowA, lowB, highA, highB;
        paethMasks(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                   _mm_unpacklo_epi8(c, zero), lowA, lowB);
        paethMasks(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                   _mm_unpackhi_epi8(c, zero), highA, highB);
        const __m128i takeA = _mm_packs_epi16(lowA, highA);
        const __m128i takeB = _mm_packs_epi16(lowB, highB);
        const __m128i takeC = _mm_andnot_si128(_mm_or_si128(takeA, takeB), _mm_set1_epi8(-1));
        const __m128i prediction =
            _mm_or_si128(_mm_or_si128(_mm_and_si128(takeA, a), _mm_and_si128(takeB, b)),
                         _mm_and_si128(takeC, c));
        predicted = _mm_add_epi64(predicted, weigh(_mm_sub_epi8(x, prediction)));
    }
    const __m128i totals[5] = {none, sub, up, average, predicted};
    for (int f = 0; f < 5; ++f) {
        alignas(16) quint64 halves[2];
        _mm_store_si128(reinterpret_cast<__m128i *>(halves), totals[f]);
        sums[f] += halves[0] + halves[1];
    }
    return i;
}
#endif

// Where libpng sends the file.
struct Output {
    QIODevice *device = nullptr;
    bool failed = false;
};

void writeData(png_structp png, png_bytep data, size_t length)
{
    auto *out = static_cast<Output *>(png_get_io_ptr(png));
    if (!out->failed &&
        out->device->write(reinterpret_cast<const char *>(data), qint64(length)) != qint64(length))
        out->failed = true;
}

void flushData(png_structp) {}

struct Failure {
    char message[160] = {};
};

[[noreturn]] void onError(png_structp png, png_const_charp message)
{
    auto *failure = static_cast<Failure *>(png_get_error_ptr(png));
    qstrncpy(failure->message, message, sizeof failure->message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

constexpr int kFilterFlags[5] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG,
                                 PNG_FILTER_PAETH};

// The calls Qt's writer makes for a straight-alpha ARGB32 image at its
// default quality, but with each row's filter chosen here. libpng reports
// errors by longjmp back to this frame: nothing here has a destructor.
bool writeImage(png_structp png, png_infop info, const QImage &image)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    const int width = image.width();
    const int height = image.height();
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    // ARGB32 lies in memory as B, G, R, A.
    png_set_bgr(png);
    if (image.dotsPerMeterX() > 0 || image.dotsPerMeterY() > 0)
        png_set_pHYs(png, info, png_uint_32(image.dotsPerMeterX()),
                     png_uint_32(image.dotsPerMeterY()), PNG_RESOLUTION_METER);
    png_write_info(png, info);
    // libpng picks the first row's filter itself: it sets up the filter
    // buffers on that row for all the filters it was given, and a row or a
    // column of one pixel leaves it fewer filters than the five.
    const bool choose = width > 1 && height > 1;
    const qsizetype rowBytes = qsizetype(width) * kBytesPerPixel;
    for (int y = 0; y < height; ++y) {
        const uchar *row = image.constScanLine(y);
        if (choose && y > 0)
            png_set_filter(png, PNG_FILTER_TYPE_BASE,
                           kFilterFlags[chooseFilter(row, image.constScanLine(y - 1), rowBytes)]);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

} // namespace

int chooseFilter(const uchar *row, const uchar *above, qsizetype bytes)
{
    quint64 sums[5] = {};
    qsizetype done = std::min<qsizetype>(bytes, kBytesPerPixel);
    sumBytes(row, above, 0, done, sums);
#ifdef __SSE2__
    if (above)
        done = sumVectors(row, above, bytes, sums);
#endif
    sumBytes(row, above, done, bytes, sums);
    int best = 0;
    for (int f = 1; f < 5; ++f) {
        if (sums[f] < sums[best])
            best = f;
    }
    return best;
}

bool handles(const QImage &image)
{
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian &&
           image.format() == QImage::Format_ARGB32 && !image.isNull() &&
           image.textKeys().isEmpty() && !image.colorSpace().isValid();
}

QString encode(const QImage &image, QIODevice &device)
{
    Failure failure;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, onError, onWarning);
    if (!png)
        return QStringLiteral("out of memory");
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return QStringLiteral("out of memory");
    }
    Output out{&device};
    png_set_write_fn(png, &out, writeData, flushData);
    const bool written = writeImage(png, info, image);
    png_destroy_write_struct(&png, &info);
    if (out.failed)
        return device.errorString();
    if (!written)
        return QString::fromUtf8(failure.message);
    return {};
}

} // namespace png
