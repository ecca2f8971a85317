// Lossless bitmap decoding: inflation, pixels, and the preview's and the
// dump's ways from an element to an image.

#include "swf/bitmap.h"
#include "swf/pngencoder.h"
#include "tests/support/swfwriter.h"

#include <QBuffer>
#include <QColor>
#include <QDomDocument>
#include <QFile>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTest>

#include <cerrno>

#include <sys/resource.h>
#include <zlib.h>

namespace
{

QByteArray base64Zlib(const QByteArray &bytes)
{
    return swfw::zlib(bytes).toBase64();
}

// Base64 of a zlib stream of `size` zero bytes, made without holding them.
QByteArray zeroBomb(qint64 size)
{
    z_stream s{};
    deflateInit(&s, 9);
    static const QByteArray zeros(1 << 20, '\0');
    QByteArray out;
    char buf[1 << 16];
    qint64 left = size;
    int flush = Z_NO_FLUSH;
    do {
        if (s.avail_in == 0 && flush == Z_NO_FLUSH) {
            const qint64 n = std::min<qint64>(left, zeros.size());
            s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
            s.avail_in = uInt(n);
            left -= n;
            if (left == 0)
                flush = Z_FINISH;
        }
        s.next_out = reinterpret_cast<Bytef *>(buf);
        s.avail_out = sizeof buf;
        deflate(&s, flush);
        out.append(buf, int(sizeof buf - s.avail_out));
    } while (!(flush == Z_FINISH && s.avail_out != 0));
    deflateEnd(&s);
    return out.toBase64();
}

// The first DefineBitsLossless2 element of `xml`, kept alive with its
// document.
struct Element {
    explicit Element(const QByteArray &xml)
    {
        doc.setContent(xml);
        node = doc.documentElement();
    }
    QDomDocument doc;
    QDomNode node;
};

QByteArray bitmapXml(const QByteArray &attributes, const QByteArray &text)
{
    return "<DefineBitsLossless2 " + attributes + ">\n  <data>\n    <data>" + text +
           "</data>\n  </data>\n</DefineBitsLossless2>\n";
}

QByteArray sized(int width, int height)
{
    return QStringLiteral("objectID=\"1\" format=\"5\" width=\"%1\" height=\"%2\"")
        .arg(width)
        .arg(height)
        .toLatin1();
}

QRgb rawPixel(const QImage &image, int x, int y)
{
    return reinterpret_cast<const QRgb *>(image.constScanLine(y))[x];
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerShadow = true;
#elif defined(__has_feature)
constexpr bool kSanitizerShadow =
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitizerShadow = false;
#endif

// Runs `work` with the address space capped at what the process uses now
// plus `extra` bytes, so a large allocation inside it fails. Not available
// (false, `work` not run) under Address- or ThreadSanitizer, whose shadow
// memory and allocator can't live under such a cap.
template <typename Work> bool withAddressSpaceCap(qint64 extra, Work work)
{
    if (kSanitizerShadow)
        return false;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    qint64 vmSize = -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:"))
            vmSize = line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    rlimit old{};
    if (vmSize <= 0 || getrlimit(RLIMIT_AS, &old) != 0)
        return false;
    rlimit capped = old;
    capped.rlim_cur = rlim_t(vmSize + extra);
    if (old.rlim_max != RLIM_INFINITY && capped.rlim_cur > old.rlim_max)
        return false;
    setrlimit(RLIMIT_AS, &capped);
    work();
    setrlimit(RLIMIT_AS, &old);
    return true;
}

} // namespace

class TestBitmap : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void base64Forms();
    void longOutput();
    void pixelBytes();
    void previewRules_data();
    void previewRules();
    void dumpPath();
    void shortData();
    void undecodable_data();
    void undecodable();
    void hugeDimensions();
    void bombBounded();
    void outOfMemory();
    void premultipliedRoundTrip();
    void pixelOrderAndClamping();
    void decodersAgree_data();
    void decodersAgree();
    void pngBytesAsQtWrites_data();
    void pngBytesAsQtWrites();
    void pngWriteFailureSaysWhy();

private:
    QByteArray bomb;
};

void TestBitmap::initTestCase()
{
    // 256 MiB of zeros in about a quarter of a megabyte.
    bomb = zeroBomb(qint64(256) << 20);
    QVERIFY(bomb.size() < (2 << 20));
}

void TestBitmap::base64Forms()
{
    const QByteArray pixels = swfw::testPattern(5, 3); // 60 bytes: the text ends in padding
    const QByteArray text = base64Zlib(pixels);
    QVERIFY(text.endsWith('='));
    QCOMPARE(inflateBitmapData(text), pixels);

    QByteArray broken;
    for (int i = 0; i < text.size(); i += 7)
        broken += text.mid(i, 7) + (i % 2 ? "\r\n" : "\n ");
    QCOMPARE(inflateBitmapData(broken), pixels);
    QByteArray unpadded = text;
    unpadded.replace('=', "");
    QCOMPARE(inflateBitmapData(unpadded), pixels);

    // The text is decoded as QByteArray::fromBase64 decodes it, whatever it
    // holds: padding in the middle, characters outside the alphabet (the
    // URL-safe ones among them), stray bits at the end.
    const QList<QByteArray> texts = {"",           "Q",
                                     "QU",         "QUI",
                                     "QUJD",       "QUJDRA",
                                     "QUJDRA=",    "QUJDRA==",
                                     "QU=JD",      "=QUJD",
                                     "QUJD\nRA==", " Q U J D ",
                                     "QUJD-_RA",   "QUJD\xffRA\x80",
                                     "Q\0UJDRA",   "QUJDQUJDQUJDQUJD=QUJDQUJDQUJD",
                                     text,         broken,
                                     unpadded,     QByteArray("\x01\x7f+/9azAZ").repeated(37)};
    for (const QByteArray &t : texts)
        QCOMPARE(compressedBitmapData(t), QByteArray::fromBase64(t));
}

void TestBitmap::longOutput()
{
    // Far beyond 65,535 bytes, with the stream's own size as the only limit.
    const QByteArray pixels = swfw::testPattern(300, 200, 3);
    const QByteArray text = base64Zlib(pixels);
    QCOMPARE(inflateBitmapData(text), pixels);
    const QImage image = dumpImage(text, 300, 200);
    QCOMPARE(image.size(), QSize(300, 200));
    QCOMPARE(rawPixel(image, 299, 199), qRgba(uchar(pixels[239996 + 1]), uchar(pixels[239996 + 2]),
                                              uchar(pixels[239996 + 3]), uchar(pixels[239996])));
}

void TestBitmap::pixelBytes()
{
    // A, R, G, B bytes go in as they are (valid premultiplied data).
    QByteArray pixels("\x80\x40\x20\x10\xff\x01\x02\x03\x00\x00\x00\x00\x40\x40\x00\x3f", 16);
    const QImage image = imageFromARGB(pixels, 2, 2);
    QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(image.size(), QSize(2, 2));
    QCOMPARE(rawPixel(image, 0, 0), QRgb(0x80402010));
    QCOMPARE(image.pixel(0, 0), QRgb(0x80402010));
    QCOMPARE(rawPixel(image, 1, 0), QRgb(0xff010203));
    QCOMPARE(rawPixel(image, 0, 1), QRgb(0x00000000));
    QCOMPARE(rawPixel(image, 1, 1), QRgb(0x4040003f));

    // The whole test pattern, row-major from the top; surplus ignored.
    const QByteArray pattern = swfw::testPattern(7, 5, 1);
    const QImage big = imageFromARGB(pattern + QByteArray(40, '\xff'), 7, 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            const auto *p = reinterpret_cast<const uchar *>(pattern.constData()) + 4 * (y * 7 + x);
            QCOMPARE(rawPixel(big, x, y), qRgba(p[1], p[2], p[3], p[0]));
        }
    }
}

void TestBitmap::previewRules_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<int>("result"); // 0 failure, 1 null image, 2 image
    QTest::addColumn<QSize>("size");

    const QByteArray text = base64Zlib(swfw::testPattern(3, 2));
    QTest::newRow("image") << bitmapXml(sized(3, 2), text) << 2 << QSize(3, 2);
    // The format is not the preview's concern.
    QTest::newRow("format unread")
        << bitmapXml("objectID=\"1\" format=\"3\" width=\"3\" height=\"2\"", text) << 2
        << QSize(3, 2);
    QTest::newRow("height 0") << bitmapXml(sized(3, 0), text) << 0 << QSize();
    QTest::newRow("height -1") << bitmapXml(sized(3, -1), text) << 0 << QSize();
    QTest::newRow("height missing") << bitmapXml("width=\"3\"", text) << 0 << QSize();
    QTest::newRow("width -1") << bitmapXml(sized(-1, 2), text) << 0 << QSize();
    QTest::newRow("width 0") << bitmapXml(sized(0, 2), text) << 1 << QSize(0, 0);
    QTest::newRow("width not numeric")
        << bitmapXml("width=\"3px\" height=\"2\"", text) << 1 << QSize(0, 0);
    QTest::newRow("width 0, data corrupt") << bitmapXml(sized(0, 2), "AAAAAAAA") << 0 << QSize();
    QTest::newRow("no attributes") << bitmapXml("", text) << 0 << QSize();
    QTest::newRow("no inner data")
        << QByteArray("<DefineBitsLossless2 width=\"3\" height=\"2\"><data>" + text +
                      "</data></DefineBitsLossless2>")
        << 0 << QSize();
    QTest::newRow("names checked")
        << QByteArray("<DefineBitsLossless2 width=\"3\" height=\"2\"><Data><data>" + text +
                      "</data></Data></DefineBitsLossless2>")
        << 0 << QSize();
    QTest::newRow("inner data found by name")
        << QByteArray("<DefineBitsLossless2 width=\"3\" height=\"2\"><data><x/><data>" + text +
                      "</data></data></DefineBitsLossless2>")
        << 2 << QSize(3, 2);
    QTest::newRow("inner data without text") << bitmapXml(sized(3, 2), "") << 0 << QSize();
}

void TestBitmap::previewRules()
{
    QFETCH(QByteArray, xml);
    QFETCH(int, result);
    QFETCH(QSize, size);

    const Element e(xml);
    const std::optional<QImage> image = previewImage(e.node);
    QCOMPARE(image.has_value(), result != 0);
    if (image) {
        QCOMPARE(image->isNull(), result == 1);
        QCOMPARE(image->size(), size);
    }
}

void TestBitmap::dumpPath()
{
    // The dump takes the first child three times, whatever the names, and
    // decodes like the preview.
    const QByteArray text = base64Zlib(swfw::testPattern(4, 4, 2));
    const Element plain(bitmapXml(sized(4, 4), text));
    QCOMPARE(dumpBitmapText(plain.node), text);
    const QImage dumped = dumpImage(dumpBitmapText(plain.node), 4, 4);
    QCOMPARE(dumped, *previewImage(plain.node));
    QCOMPARE(dumped.format(), QImage::Format_ARGB32_Premultiplied);

    const Element renamed("<DefineBitsLossless2><x><y>" + text +
                          "</y><data/></x><data/>"
                          "</DefineBitsLossless2>");
    QCOMPARE(dumpBitmapText(renamed.node), text);
    const Element other("<DefineBitsLossless2><data><x/><data>" + text +
                        "</data></data></DefineBitsLossless2>");
    QVERIFY(dumpBitmapText(other.node).isEmpty());
    QVERIFY(dumpBitmapText(QDomNode()).isEmpty());

    // No range check at catalogue time: the decoder gives a null image.
    QVERIFY(dumpImage(text, 0, 4).isNull());
    QVERIFY(dumpImage(text, 4, -4).isNull());
    QVERIFY(dumpImage(text, -4, -4).isNull());
    QVERIFY(imageFromARGB(swfw::testPattern(4, 4), -4, -4).isNull());
}

void TestBitmap::shortData()
{
    // 3 x 3 pixels, but the data ends inside the second pixel of row 1: the
    // pixels it reaches whole are kept, the rest is transparent black.
    const QByteArray pixels = QByteArray(16, '\xff') + QByteArray("\x80\x40\x20", 3);
    const QImage image = imageFromARGB(pixels, 3, 3);
    QCOMPARE(image.size(), QSize(3, 3));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x)
            QCOMPARE(rawPixel(image, x, y), QRgb(y * 3 + x < 4 ? 0xffffffff : 0));
    }

    const QByteArray text = base64Zlib(pixels);
    QCOMPARE(dumpImage(text, 3, 3), image);
    QCOMPARE(*previewImage(Element(bitmapXml(sized(3, 3), text)).node), image);
}

void TestBitmap::undecodable_data()
{
    QTest::addColumn<QByteArray>("text");

    const QByteArray stream = swfw::zlib(swfw::testPattern(16, 16));
    QByteArray corrupt = stream;
    for (int i = 2; i < corrupt.size(); i += 3)
        corrupt[i] = char(corrupt[i] ^ 0x5a);

    QTest::newRow("empty text") << QByteArray();
    QTest::newRow("padding only") << QByteArray("====\n");
    QTest::newRow("not zlib") << QByteArray("SGVsbG8sIHdvcmxkIQ==");
    QTest::newRow("corrupt") << corrupt.toBase64();
    QTest::newRow("truncated") << stream.left(stream.size() / 2).toBase64();
    QTest::newRow("empty stream") << swfw::zlib(QByteArray()).toBase64();
}

void TestBitmap::undecodable()
{
    QFETCH(QByteArray, text);
    QVERIFY(inflateBitmapData(text).isEmpty());
    QVERIFY(dumpImage(text, 16, 16).isNull());
    QVERIFY(!previewImage(Element(bitmapXml(sized(16, 16), text)).node));
}

void TestBitmap::hugeDimensions()
{
    // Above the pixel cap, and sizes whose byte count overflows int: refused
    // before anything is inflated or allocated. The bomb would unpack to
    // 256 MiB, so an attempt shows as a failed allocation under the cap.
    // Without the cap (under AddressSanitizer) the refusals are checked all
    // the same, only an attempt to allocate no longer shows.
    bool refused = false;
    const auto refusals = [&] {
        refused = dumpImage(bomb, 65535, 65535).isNull() &&
                  !previewImage(Element(bitmapXml(sized(65535, 65535), bomb)).node) &&
                  imageFromARGB(QByteArray(64, '\xff'), 65535, 65535).isNull() &&
                  dumpImage(bomb, 46341, 46341).isNull() && dumpImage(bomb, INT_MAX, 2).isNull() &&
                  imageFromARGB(QByteArray(64, '\xff'), INT_MAX, INT_MAX).isNull();
    };
    if (!withAddressSpaceCap(qint64(64) << 20, refusals))
        refusals();
    QVERIFY(refused);

    // Just past the cap on either side.
    QVERIFY(imageFromARGB(QByteArray(64, '\xff'), 8192, 8191).isNull());
    QVERIFY(imageFromARGB(QByteArray(64, '\xff'), int(kMaxBitmapPixels + 1), 1).isNull());
    QVERIFY(!previewImage(Element(bitmapXml(sized(8191, 8192), bomb)).node));
    // At the cap in one dimension, the image is built.
    QCOMPARE(imageFromARGB(QByteArray(64, '\xff'), 8191, 1).size(), QSize(8191, 1));
}

void TestBitmap::bombBounded()
{
    QCOMPARE(inflateBitmapData(bomb, 1000), QByteArray(1000, '\0'));
    QCOMPARE(inflateBitmapData(bomb, 1), QByteArray(1, '\0'));
    QVERIFY(inflateBitmapData(bomb, 0).isEmpty());

    // A stream cut short still gives what was asked for if that came first.
    const QByteArray stream = swfw::zlib(swfw::testPattern(64, 64), 0);
    const QByteArray cut = stream.left(stream.size() / 2).toBase64();
    QCOMPARE(inflateBitmapData(cut, 100), swfw::testPattern(64, 64).left(100));
    QVERIFY(inflateBitmapData(cut, 64 * 64 * 4).isEmpty());
    // A wrong checksum fails even when the bound is the whole output; a
    // bound short of the end never reaches it.
    QByteArray badChecksum = swfw::zlib(swfw::testPattern(8, 8));
    badChecksum[badChecksum.size() - 1] = char(badChecksum.back() ^ 1);
    QVERIFY(inflateBitmapData(badChecksum.toBase64(), 8 * 8 * 4).isEmpty());
    QCOMPARE(inflateBitmapData(badChecksum.toBase64(), 8), swfw::testPattern(8, 8).left(8));

    // The decoders only unpack what the image needs: a 16 x 16 bitmap with
    // the bomb as its data costs no more than its own pixels.
    QImage dumped;
    std::optional<QImage> previewed;
    const auto decodeBoth = [&] {
        dumped = dumpImage(bomb, 16, 16);
        previewed = previewImage(Element(bitmapXml(sized(16, 16), bomb)).node);
    };
    if (!withAddressSpaceCap(qint64(64) << 20, decodeBoth))
        decodeBoth();
    QCOMPARE(dumped.size(), QSize(16, 16));
    QCOMPARE(rawPixel(dumped, 15, 15), QRgb(0));
    QVERIFY(previewed && *previewed == dumped);
}

void TestBitmap::outOfMemory()
{
    // A failure, not a crash: for the inflated data, and for an image within
    // the pixel cap that can't be allocated.
    const QByteArray small = base64Zlib(swfw::testPattern(4, 4));
    QByteArray unbounded("x");
    QImage dumped(1, 1, QImage::Format_ARGB32);
    std::optional<QImage> previewed = QImage();
    if (!withAddressSpaceCap(qint64(64) << 20, [&] {
            unbounded = inflateBitmapData(bomb);
            dumped = dumpImage(small, 8191, 8191);
            previewed = previewImage(Element(bitmapXml(sized(8191, 8191), small)).node);
        }))
        QSKIP("address space limit not available");
    QVERIFY(unbounded.isEmpty());
    QVERIFY(dumped.isNull());
    QVERIFY(!previewed);
}

void TestBitmap::premultipliedRoundTrip()
{
    // Half-transparent white; fully transparent (with stray colour); a colour
    // byte above its alpha, clamped to it; an opaque colour.
    const QByteArray pixels("\x80\x80\x80\x80"
                            "\x00\x10\x20\x30"
                            "\x80\xff\x40\x00"
                            "\xff\x12\x34\x56",
                            16);
    const QImage image = imageFromARGB(pixels, 4, 1);
    QCOMPARE(rawPixel(image, 2, 0), QRgb(0x80804000));
    QCOMPARE(rawPixel(image, 1, 0), QRgb(0));

    QBuffer png;
    png.open(QIODevice::WriteOnly);
    QVERIFY(image.save(&png, "png", -1));
    QImage loaded;
    QVERIFY(loaded.loadFromData(png.data(), "png"));
    loaded = loaded.convertToFormat(QImage::Format_ARGB32);

    auto rgba = [&](int x) {
        const QColor c = QColor::fromRgba(loaded.pixel(x, 0));
        return QList<int>{c.red(), c.green(), c.blue(), c.alpha()};
    };
    QCOMPARE(rgba(0), QList<int>({255, 255, 255, 128}));
    QCOMPARE(rgba(1), QList<int>({0, 0, 0, 0}));
    const QList<int> clamped = rgba(2);
    QCOMPARE(clamped.at(0), 255);
    QVERIFY(qAbs(clamped.at(1) - 128) <= 1);
    QCOMPARE(clamped.at(2), 0);
    QCOMPARE(clamped.at(3), 128);
    QCOMPARE(rgba(3), QList<int>({0x12, 0x34, 0x56, 255}));
}

void TestBitmap::pixelOrderAndClamping()
{
    // Every byte value in every position, over widths that leave 0 to 3
    // pixels after the groups of four the conversion takes at once.
    QByteArray pixels(4 * 7 * 37, '\0');
    for (int i = 0; i < pixels.size(); ++i)
        pixels[i] = char((i * 97 + i / 4 * 31) & 0xff);
    for (int width : {1, 2, 3, 4, 5, 6, 7}) {
        const QImage image = imageFromARGB(pixels, width, 37);
        for (int y = 0; y < 37; ++y) {
            for (int x = 0; x < width; ++x) {
                const auto *p =
                    reinterpret_cast<const uchar *>(pixels.constData()) + (y * width + x) * 4;
                const uint a = p[0];
                const QRgb expected = a << 24 | std::min<uint>(p[1], a) << 16 |
                                      std::min<uint>(p[2], a) << 8 | std::min<uint>(p[3], a);
                QCOMPARE(rawPixel(image, x, y), expected);
            }
        }
    }
}

void TestBitmap::decodersAgree_data()
{
    // Streams the whole-stream inflater takes or hands back to the streaming
    // one; either way the image is what the streaming inflation gives.
    QTest::addColumn<QByteArray>("stream");
    const QByteArray pattern = swfw::testPattern(8, 8, 3);
    const QByteArray sound = swfw::zlib(pattern);
    QByteArray badChecksum = sound;
    badChecksum[badChecksum.size() - 1] = char(badChecksum.back() ^ 1);
    const QByteArray longer = swfw::zlib(swfw::testPattern(8, 9, 3));
    QByteArray longerBadChecksum = longer;
    longerBadChecksum[longerBadChecksum.size() - 1] = char(longerBadChecksum.back() ^ 1);
    QByteArray badMiddle = sound;
    badMiddle[badMiddle.size() / 2] = char(badMiddle[badMiddle.size() / 2] ^ 0x55);

    QTest::newRow("sound") << sound;
    QTest::newRow("stored blocks") << swfw::zlib(pattern, 0);
    QTest::newRow("bytes after the stream") << sound + QByteArray("trailing");
    QTest::newRow("bad checksum") << badChecksum;
    QTest::newRow("longer than the image") << longer;
    QTest::newRow("longer, bad checksum") << longerBadChecksum;
    QTest::newRow("shorter than the image") << swfw::zlib(pattern.left(100));
    QTest::newRow("cut short") << sound.left(sound.size() - 6);
    QTest::newRow("corrupt in the middle") << badMiddle;
    QTest::newRow("preset dictionary flag") << QByteArray("\x78\xbb") + sound.mid(2);
}

void TestBitmap::decodersAgree()
{
    QFETCH(QByteArray, stream);
    const QByteArray text = stream.toBase64();
    const QByteArray inflated = inflateBitmapData(text, 8 * 8 * 4);
    const QImage dumped = dumpImage(text, 8, 8);
    QCOMPARE(dumped.isNull(), inflated.isEmpty());
    if (!dumped.isNull())
        QCOMPARE(dumped, imageFromARGB(inflated, 8, 8));
    const std::optional<QImage> previewed =
        previewImage(Element(bitmapXml(sized(8, 8), text)).node);
    QCOMPARE(previewed.has_value(), !dumped.isNull());
}

void TestBitmap::pngBytesAsQtWrites_data()
{
    // Kinds of rows that make each filter win, and ties between them; sizes
    // of one pixel (fewer filters), under 16 KB of rows (a smaller zlib
    // window), rows not a multiple of 16 bytes, many IDAT chunks.
    QTest::addColumn<QImage>("image");
    const QList<QSize> sizes = {{1, 1},   {1, 40},  {40, 1},  {2, 2},     {7, 9},   {37, 61},
                                {63, 64}, {64, 64}, {129, 3}, {300, 200}, {5, 700}, {1024, 40}};
    QRandomGenerator random(7);
    for (const QSize &size : sizes) {
        const auto add = [&](const char *kind, const std::function<QRgb(int, int)> &pixel) {
            QImage image(size, QImage::Format_ARGB32);
            image.setDotsPerMeterX(2835);
            image.setDotsPerMeterY(2835);
            for (int y = 0; y < size.height(); ++y) {
                for (int x = 0; x < size.width(); ++x)
                    image.setPixel(x, y, pixel(x, y));
            }
            QTest::addRow("%s %dx%d", kind, size.width(), size.height()) << image;
        };
        add("noise", [&](int, int) { return QRgb(random.generate()); });
        add("clear", [](int, int) { return QRgb(0); });
        add("bands", [](int x, int y) { return qRgba(x / 8 * 40, y / 4 * 30, 200, 255); });
        add("gradient", [](int x, int y) { return qRgba(x * 3, y * 2, (x + y) * 5, 255 - x); });
        add("noisy gradient", [&](int x, int y) {
            const int grain = int(random.bounded(9)) - 4;
            return qRgba(qBound(0, x + grain, 255), qBound(0, y * 2 + grain, 255),
                         qBound(0, 128 + grain, 255), x % 50 < 3 ? 0 : 255 - y % 256);
        });
        add("extremes", [&](int, int) {
            const QRgb picks[] = {0x00000000, 0xffffffff, 0x80808080, 0x7f7f7f7f, 0xff000000};
            return picks[random.bounded(5)];
        });
    }
    QImage plain(90, 33, QImage::Format_ARGB32);
    plain.fill(0x80405060);
    QTest::newRow("no resolution") << plain;
}

void TestBitmap::pngBytesAsQtWrites()
{
    QFETCH(QImage, image);
    QVERIFY(png::handles(image));
    QByteArray qt;
    QBuffer qtBuffer(&qt);
    qtBuffer.open(QIODevice::WriteOnly);
    QVERIFY(QImageWriter(&qtBuffer, "png").write(image));
    QByteArray ours;
    QBuffer ourBuffer(&ours);
    ourBuffer.open(QIODevice::WriteOnly);
    QCOMPARE(png::encode(image, ourBuffer), QString());
    QCOMPARE(ours.toHex(), qt.toHex());
}

void TestBitmap::pngWriteFailureSaysWhy()
{
    // A file on a disk that fills up: a write goes part way and the system's
    // reason is only in errno, as a file's write reports it.
    class FillingDevice : public QIODevice
    {
    public:
        qint64 room = 100;

    protected:
        qint64 readData(char *, qint64) override { return -1; }
        qint64 writeData(const char *, qint64 size) override
        {
            const qint64 taken = std::min(size, room);
            room -= taken;
            errno = ENOSPC;
            return taken > 0 ? taken : -1;
        }
    } device;
    device.open(QIODevice::WriteOnly);
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(0x80405060);
    QCOMPARE(png::encode(image, device), qt_error_string(ENOSPC));
}

QTEST_GUILESS_MAIN(TestBitmap)
#include "tst_bitmap.moc"
