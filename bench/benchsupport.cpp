#include "bench/benchsupport.h"

#include "swf/pngencoder.h"

#include "swf/bitmap.h"
#include "tests/support/swfwriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace bench
{

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

long statusKb(const char *field, qint64 pid)
{
    QFile status(pid == 0 ? QStringLiteral("/proc/self/status")
                          : QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toLong();
    }
    return 0;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QByteArray art(int width, int height, int seed)
{
    QRandomGenerator grain(quint32(seed + 1));
    QByteArray out;
    out.reserve(qsizetype(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dx = (x - width / 2.0) / (width / 2.0);
            const double dy = (y - height / 2.0) / (height / 2.0);
            const double d = dx * dx + dy * dy;
            const int a = d > 1 ? 0 : d > 0.8 ? int(255 * (1 - d) / 0.2) : 255;
            const int n = int(grain.bounded(12)) - 6;
            const int r = std::clamp(255 * x / width + n, 0, 255);
            const int g = std::clamp(255 * y / height + n, 0, 255);
            const int b = std::clamp(128 + int(60 * std::sin(x * 0.05 + seed)) + n, 0, 255);
            out.append(char(a));
            out.append(char(r * a / 255));
            out.append(char(g * a / 255));
            out.append(char(b * a / 255));
        }
    }
    return out;
}

QSize pictureSize(int i)
{
    static const QSize sizes[] = {{32, 32},   {64, 48},     {128, 128}, {200, 150},
                                  {256, 256}, {320, 240},   {512, 384}, {640, 480},
                                  {48, 300},  {1024, 1024}, {96, 96},   {512, 512}};
    return sizes[i % (sizeof(sizes) / sizeof(sizes[0]))];
}

QByteArray picture(bool painted, int i)
{
    const QSize s = pictureSize(i);
    return painted ? art(s.width(), s.height(), i) : swfw::testPattern(s.width(), s.height(), i);
}

QByteArray pictureFile(bool painted, int count, QList<QImage> *images)
{
    swfw::Tags tags;
    QList<QPair<int, QByteArray>> symbols;
    for (int i = 0; i < count; ++i) {
        const QSize s = pictureSize(i);
        const QByteArray argb = picture(painted, i);
        tags.bitmap(i + 1, s.width(), s.height(), argb);
        symbols.append({i + 1, "bitmap_" + QByteArray::number(i)});
        if (images)
            images->append(imageFromARGB(argb, s.width(), s.height()));
    }
    tags.symbolClass(symbols).frameLabel("bench").showFrame().end();
    return swfw::file(swfw::Header(), tags, swfw::Compression::Zlib);
}

namespace
{

// A few dozen bitmaps of the sizes asset files use, compressed once: every
// file picks its own mix of them.
struct Bitmap {
    int width;
    int height;
    QByteArray argb;
    QByteArray zlib;
};

const QList<Bitmap> &bitmapStock()
{
    static const QList<Bitmap> stock = [] {
        QList<Bitmap> bitmaps;
        const int sides[] = {16, 24, 32, 48, 64, 96, 128};
        int seed = 0;
        for (const int w : sides) {
            for (const int h : sides) {
                if ((w + h) % 3 == 0)
                    continue;
                QByteArray argb = swfw::testPattern(w, h, ++seed);
                bitmaps.append({w, h, argb, swfw::zlib(argb)});
            }
        }
        return bitmaps;
    }();
    return stock;
}

int bitmapsOf(int i)
{
    return 5 + (i * 7) % 36;
}

const Bitmap &bitmapOf(int i, int b)
{
    const QList<Bitmap> &stock = bitmapStock();
    return stock.at((i * 13 + b * 5) % stock.size());
}

bool brokenFile(int i, bool broken)
{
    return broken && i % 1000 == 500;
}

} // namespace

QByteArray assetFile(int i, bool broken)
{
    if (brokenFile(i, broken) && (i / 1000) % 2 == 0)
        return "This is not an SWF file.\n";
    swfw::Tags tags;
    QList<QPair<int, QByteArray>> symbols;
    const int bitmaps = bitmapsOf(i);
    for (int b = 0; b < bitmaps; ++b) {
        const Bitmap &bitmap = bitmapOf(i, b);
        tags.lossless(36, b + 1, 5, bitmap.width, bitmap.height, bitmap.zlib);
        symbols.append(
            {b + 1, "asset_" + QByteArray::number(i) + "_bitmap_" + QByteArray::number(b)});
    }
    // Other tags: binary data, and a tag of a kind the tool doesn't know.
    QByteArray other(2048 + (i % 7) * 512, '\0');
    for (int k = 0; k < other.size(); ++k)
        other[k] = char((k * 31 + i) & 0xFF);
    tags.binaryData(bitmaps + 1, other);
    tags.tag(777, other.left(1024));
    tags.symbolClass(symbols)
        .frameLabel("asset_" + QByteArray::number(i).rightJustified(5, '0'))
        .showFrame()
        .end();
    QByteArray file = swfw::file(swfw::Header(), tags, swfw::Compression::Zlib);
    if (brokenFile(i, broken))
        file.truncate(file.size() / 2);
    return file;
}

QList<QImage> assetImages(int i)
{
    QList<QImage> images;
    for (int b = 0; b < bitmapsOf(i); ++b) {
        const Bitmap &bitmap = bitmapOf(i, b);
        images.append(imageFromARGB(bitmap.argb, bitmap.width, bitmap.height));
    }
    return images;
}

QString assetName(int i)
{
    return QStringLiteral("asset_%1.swf").arg(i, 5, 10, QLatin1Char('0'));
}

void generateAssets(const QString &folder, int count, bool broken)
{
    const QString done = QDir(folder).filePath(QStringLiteral(".complete"));
    if (QFile::exists(done))
        return;
    QDir().mkpath(folder);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        if (!swfw::save(QDir(folder).filePath(assetName(i)), assetFile(i, broken)))
            qFatal("can't write %s", qPrintable(assetName(i)));
    }
    swfw::save(done, "");
    std::printf("generated %d files in %.1f s\n", count, double(t.nsecsElapsed()) / 1e9);
}

QString newOutputFolder()
{
    static QTemporaryDir outputs;
    static int count = 0;
    const QString folder = outputs.filePath(QString::number(++count));
    QDir().mkpath(folder);
    return folder;
}

double encodingSeconds(const QList<QImage> &images)
{
    const QDir out(newOutputFolder());
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < images.size(); ++i)
        images.at(i).save(out.filePath(QStringLiteral("bitmap_%1.png").arg(i)), "png", -1);
    return double(t.nsecsElapsed()) / 1e9;
}

double ownEncodingSeconds(const QList<QImage> &images)
{
    const QDir out(newOutputFolder());
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < images.size(); ++i) {
        QFile file(out.filePath(QStringLiteral("bitmap_%1.png").arg(i)));
        if (!file.open(QIODevice::WriteOnly) || !png::encode(images.at(i), file).isEmpty())
            qFatal("can't write %s", qPrintable(file.fileName()));
    }
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace bench
