// Speed of the bulk dump, beside the limit measured in the same run on the
// same images: Qt alone encoding them as PNG files on one thread, with the
// same quality setting. Each run times the limit, the dump on one worker and
// the dump on every core (parallelJobs()), in turn, so that a machine
// slowing down or speeding up weighs on all three alike.
//
// Two kinds of picture in one generated CWS file of a few hundred format-5
// bitmaps (mixed sizes up to 1024 x 1024): "art" (smooth shading with grain
// and soft transparent edges, like painted game art) and "flat" (the
// writer's banded test pattern, which PNG and zlib squeeze far better, so
// decoding weighs more against encoding). Then "assets": "Dump All
// Resources" over 200 asset-sized files (each its own label, 5 to 40 named
// bitmaps of 16 x 16 to 128 x 128, a few KB of other tags), where what
// happens between files must hide behind the encoding.
//
// Prints its figures; never fails on timing.
//
// Usage: bench_dump [art|flat|assets|all, default all] [bitmaps, default 240] [runs, default 1]

#include "dump/dumpdialog.h"
#include "swf/bitmap.h"
#include "swf/converter.h"
#include "swf/parallelism.h"
#include "tests/support/swfwriter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{

// Sizes cycle from icons to full 1024 x 1024 pictures.
QSize sizeOf(int i)
{
    static const QSize sizes[] = {{32, 32},   {64, 48},     {128, 128}, {200, 150},
                                  {256, 256}, {320, 240},   {512, 384}, {640, 480},
                                  {48, 300},  {1024, 1024}, {96, 96},   {512, 512}};
    return sizes[i % (sizeof(sizes) / sizeof(sizes[0]))];
}

// Premultiplied A,R,G,B bytes of a painted-looking picture: shading, grain
// and an oval with soft transparent edges.
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

QByteArray pixelsOf(bool painted, int i)
{
    const QSize s = sizeOf(i);
    return painted ? art(s.width(), s.height(), i) : swfw::testPattern(s.width(), s.height(), i);
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

// A figure of /proc/self/status, in kB ("VmRSS", "VmHWM").
long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field)) + 1).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Starts counting the process's peak memory afresh from what it holds now.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// A new, empty folder for one run's output. Every run's output stays until
// the program ends: files deleted between runs would make the file system
// slower at creating the next ones (it passes over recently freed inodes),
// which weighs on small files far more than their encoding does.
QString newOutputFolder()
{
    static QTemporaryDir outputs;
    static int count = 0;
    const QString folder = outputs.filePath(QString::number(++count));
    QDir().mkpath(folder);
    return folder;
}

struct Timing {
    double seconds = 0;
    double peakMb = 0; // peak memory above what the process held at the start
};

// One dump through the dialog, end to end: conversions, reading, decoding,
// writing, from the folder's choice to the dialog's end.
Timing dump(const QStringList &files, DumpLayout layout, int workers)
{
    const QString out = newOutputFolder();
    resetPeak();
    const long before = statusKb("VmRSS:");
    QPointer<DumpDialog> dialog = new DumpDialog(nullptr, files, layout, DumpLimits{workers});
    auto *chooser = dialog->findChild<QFileDialog *>();
    chooser->hide();
    QElapsedTimer t;
    t.start();
    emit chooser->fileSelected(out);
    while (dialog)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return {t.nsecsElapsed() / 1e9, (statusKb("VmHWM:") - before) / 1024.0};
}

// The limit: the images, already decoded, written as PNG files on one thread.
double encode(const QList<QImage> &images)
{
    const QDir out(newOutputFolder());
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < images.size(); ++i)
        images.at(i).save(out.filePath(QStringLiteral("bitmap_%1.png").arg(i)), "png", -1);
    return t.nsecsElapsed() / 1e9;
}

// The converter alone over `files`, one after another, its XML thrown away.
double convert(const QStringList &files)
{
    QElapsedTimer t;
    t.start();
    for (const QString &file : files) {
        QProcess converter;
        converter.setStandardOutputFile(QProcess::nullDevice());
        converter.start(Converter::program(), Converter::arguments(file));
        converter.waitForFinished(-1);
    }
    return t.nsecsElapsed() / 1e9;
}

// Times the limit and the dump on one worker and on every core, `runs`
// times in turn, and prints the figures.
void measure(const QList<QImage> &images, const QStringList &files, DumpLayout layout, int runs,
             double targetEveryCore)
{
    qint64 pixels = 0;
    for (const QImage &image : images)
        pixels += qint64(image.width()) * image.height();
    const double mp = pixels / 1e6;
    const int cores = parallelJobs();
    QList<double> limit, one, every;
    double peakMb = 0;
    std::printf("runs (limit / one worker / %d workers, s):", cores);
    for (int r = 0; r < runs; ++r) {
        limit.append(encode(images));
        one.append(dump(files, layout, 1).seconds);
        const Timing all = dump(files, layout, cores);
        every.append(all.seconds);
        peakMb = std::max(peakMb, all.peakMb);
        std::printf(" %.2f/%.2f/%.2f", limit.last(), one.last(), every.last());
        std::fflush(stdout);
    }
    std::printf("\n");
    const auto line = [&](const char *what, double s) {
        std::printf("  %-34s %6.2f s  %7.1f images/s  %6.1f megapixels/s\n", what, s,
                    images.size() / s, mp / s);
    };
    const double l = median(limit), o = median(one), e = median(every);
    line("PNG encoding alone, one thread:", l);
    line("dump, one worker:", o);
    line(qPrintable(QStringLiteral("dump, %1 workers:").arg(cores)), e);
    std::printf("  every core / limit: %.2f (target <= %.2f); one worker / limit: %.2f; "
                "speed-up of every core over one worker: %.2f\n",
                e / l, targetEveryCore, o / l, o / e);
    std::printf("  peak memory of the dump on every core: %.0f MB above the start (cap on "
                "decoded pixels in flight: %lld MiB)\n",
                peakMb, kMaxPixelBytesInFlight >> 20);
}

void runOneFile(bool painted, int count, int runs)
{
    QTemporaryDir work;
    swfw::Tags tags;
    QList<QPair<int, QByteArray>> symbols;
    QList<QImage> images;
    for (int i = 0; i < count; ++i) {
        const QSize s = sizeOf(i);
        const QByteArray argb = pixelsOf(painted, i);
        tags.bitmap(i + 1, s.width(), s.height(), argb);
        symbols.append({i + 1, "bitmap_" + QByteArray::number(i)});
        images.append(imageFromARGB(argb, s.width(), s.height()));
    }
    tags.symbolClass(symbols).frameLabel("bench").showFrame().end();
    const QByteArray swf = swfw::file(swfw::Header(), tags, swfw::Compression::Zlib);
    swfw::save(work.filePath("bench.swf"), swf);
    QDir::setCurrent(work.path());
    std::printf("\n%s pictures, one file: %d bitmaps, %.1f MB CWS\n", painted ? "art" : "flat",
                count, swf.size() / 1e6);
    measure(images, {QStringLiteral("bench.swf")}, DumpLayout::Flat, runs, 0.65);
    std::printf("  of the dump, the converter run alone: %.2f s\n",
                convert({QStringLiteral("bench.swf")}));
}

void runAssets(int runs)
{
    QTemporaryDir work;
    QStringList files;
    QList<QImage> images;
    QRandomGenerator sizes(7);
    for (int f = 0; f < 200; ++f) {
        swfw::Tags tags;
        QList<QPair<int, QByteArray>> symbols;
        const int count = 5 + int(sizes.bounded(36));
        for (int i = 0; i < count; ++i) {
            const int w = 16 + int(sizes.bounded(113));
            const int h = 16 + int(sizes.bounded(113));
            const QByteArray argb = i % 2 ? swfw::testPattern(w, h, f + i) : art(w, h, f + i);
            tags.bitmap(i + 1, w, h, argb);
            symbols.append({i + 1, "asset_" + QByteArray::number(i)});
            images.append(imageFromARGB(argb, w, h));
        }
        // A few KB of what asset files also hold: data, shapes, sounds.
        tags.binaryData(900, QByteArray(2000, char(f)));
        tags.tag(2, QByteArray(1500, char(f + 1)));
        tags.symbolClass(symbols).frameLabel("asset_" + QByteArray::number(f)).showFrame().end();
        const QString name = QStringLiteral("asset_%1.swf").arg(f, 3, 10, QLatin1Char('0'));
        swfw::save(work.filePath(name), swfw::file(swfw::Header(), tags, swfw::Compression::Zlib));
        files << name;
    }
    QDir::setCurrent(work.path());
    std::printf("\nDump All Resources over 200 asset files: %lld bitmaps of 16 x 16 to "
                "128 x 128, half art, half flat\n",
                qint64(images.size()));
    measure(images, files, DumpLayout::FolderPerLabel, runs, 1.2);
    const double converter = convert(files);
    std::printf("  of the dump, the converter runs alone: %.2f s (%.1f ms a file)\n", converter,
                converter / files.size() * 1000);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray kind = argc > 1 ? QByteArray(argv[1]) : QByteArray("all");
    const int count = argc > 2 ? std::max(1, atoi(argv[2])) : 240;
    const int runs = argc > 3 ? std::max(1, atoi(argv[3])) : 1;
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });
    std::printf("%d cores (QThread::idealThreadCount), %d workers (parallelJobs)\n",
                QThread::idealThreadCount(), parallelJobs());
    if (kind == "art" || kind == "all")
        runOneFile(true, count, runs);
    if (kind == "flat" || kind == "all")
        runOneFile(false, count, runs);
    if (kind == "assets" || kind == "all")
        runAssets(runs);
    return 0;
}
