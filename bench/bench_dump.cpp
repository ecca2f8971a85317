// Speed of the bulk dump: a generated CWS file with a few hundred format-5
// bitmaps (mixed sizes up to 1024 x 1024) dumped through the dump dialog,
// beside the limit measured in the same run on the same images: Qt alone
// encoding them as PNG files with the same quality setting. Two kinds of
// picture: "art" (smooth shading with grain and soft transparent edges, like
// painted game art) and "flat" (the writer's banded test pattern, which PNG
// and zlib squeeze far better, so decoding weighs more against encoding).
// Prints its figures; never fails on timing.
//
// Usage: bench_dump [art|flat|both, default both] [bitmaps, default 240] [runs, default 1]

#include "dump/dumpdialog.h"
#include "swf/bitmap.h"
#include "swf/converter.h"
#include "tests/support/swfwriter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>

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

long peakKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void run(bool painted, int count, int runs)
{
    QTemporaryDir work;
    swfw::Tags tags;
    QList<QPair<int, QByteArray>> symbols;
    qint64 pixels = 0;
    for (int i = 0; i < count; ++i) {
        const QSize s = sizeOf(i);
        tags.bitmap(i + 1, s.width(), s.height(), pixelsOf(painted, i));
        symbols.append({i + 1, "bitmap_" + QByteArray::number(i)});
        pixels += qint64(s.width()) * s.height();
    }
    tags.symbolClass(symbols).frameLabel("bench").showFrame().end();
    const QByteArray swf = swfw::file(swfw::Header(), tags, swfw::Compression::Zlib);
    swfw::save(work.filePath("bench.swf"), swf);
    QDir::setCurrent(work.path());
    const double mp = pixels / 1e6;
    std::printf("\n%s pictures: %d bitmaps, %.1f megapixels, %.1f MB CWS\n",
                painted ? "art" : "flat", count, mp, swf.size() / 1e6);

    // The limit: the same images, already decoded, written as PNG files.
    // Its runs take turns with the dump's, so that a machine slowing down or
    // speeding up during the benchmark weighs on both alike.
    QList<QImage> images;
    for (int i = 0; i < count; ++i) {
        const QSize s = sizeOf(i);
        images.append(imageFromARGB(pixelsOf(painted, i), s.width(), s.height()));
    }
    QList<double> limitTimes;
    QList<double> dumpTimes;
    for (int r = 0; r < runs; ++r) {
        {
            QTemporaryDir out;
            QElapsedTimer t;
            t.start();
            for (int i = 0; i < count; ++i)
                images.at(i).save(out.filePath(QStringLiteral("bitmap_%1.png").arg(i)), "png", -1);
            limitTimes.append(t.nsecsElapsed() / 1e9);
        }

        // The dump: converter run, reading, decoding and writing, end to end.
        QTemporaryDir out;
        QPointer<DumpDialog> dialog = new DumpDialog(nullptr, {QStringLiteral("bench.swf")});
        auto *chooser = dialog->findChild<QFileDialog *>();
        chooser->hide();
        QElapsedTimer t;
        t.start();
        emit chooser->fileSelected(out.path());
        while (dialog)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        dumpTimes.append(t.nsecsElapsed() / 1e9);
        const int written = int(QDir(out.path()).entryList(QDir::Files).size());
        if (written != count)
            std::printf("warning: %d of %d files written\n", written, count);
    }
    images.clear();

    // The converter alone, its XML thrown away: the part of the dump that
    // runs before the first image can be written.
    QList<double> converterTimes;
    for (int r = 0; r < runs; ++r) {
        QProcess converter;
        converter.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        converter.start(
            Converter::program(),
            {QStringLiteral("swf2xml"), QStringLiteral("bench.swf"), QStringLiteral("stdout")});
        converter.waitForFinished(-1);
        converterTimes.append(t.nsecsElapsed() / 1e9);
    }

    // Each dump ran right after its limit, so their own ratio is the least
    // touched by the machine speeding up or slowing down between runs.
    QList<double> ratios;
    std::printf("runs (limit / dump, s):");
    for (int r = 0; r < runs; ++r) {
        std::printf(" %.2f/%.2f", limitTimes.at(r), dumpTimes.at(r));
        ratios.append(dumpTimes.at(r) / limitTimes.at(r));
    }
    std::printf("\n");
    const double limit = median(limitTimes);
    const double dump = median(dumpTimes);
    std::printf("PNG encoding alone (limit): %.2f s  %.1f images/s  %.1f megapixels/s\n", limit,
                count / limit, mp / limit);
    std::printf("dump (convert+read+decode+write): %.2f s  %.1f images/s  %.1f megapixels/s\n",
                dump, count / dump, mp / dump);
    std::printf("dump / limit: %.2f (target <= 1.25); median of each run's own ratio: %.2f\n",
                dump / limit, median(ratios));
    std::printf("of the dump, the converter run alone: %.2f s (%.2f x the limit)\n",
                median(converterTimes), median(converterTimes) / limit);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray kind = argc > 1 ? QByteArray(argv[1]) : QByteArray("both");
    const int count = argc > 2 ? std::max(1, atoi(argv[2])) : 240;
    const int runs = argc > 3 ? std::max(1, atoi(argv[3])) : 1;
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });
    if (kind == "art" || kind == "both")
        run(true, count, runs);
    if (kind == "flat" || kind == "both")
        run(false, count, runs);
    std::printf("\npeak memory of the whole run: %.0f MB (the limit holds all decoded images "
                "at once; the dump holds one)\n",
                peakKb() / 1024.0);
    return 0;
}
