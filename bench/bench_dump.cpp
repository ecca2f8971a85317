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

#include "bench/benchsupport.h"
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

struct Timing {
    double seconds = 0;
    double peakMb = 0; // peak memory above what the process held at the start
};

// One dump through the dialog, end to end: conversions, reading, decoding,
// writing, from the folder's choice to the dialog's end.
Timing dump(const QStringList &files, DumpLayout layout, int workers)
{
    const QString out = bench::newOutputFolder();
    bench::resetPeak();
    const long before = bench::statusKb("VmRSS:");
    QPointer<DumpDialog> dialog = new DumpDialog(nullptr, files, layout, DumpLimits{workers});
    auto *chooser = dialog->findChild<QFileDialog *>();
    chooser->hide();
    QElapsedTimer t;
    t.start();
    emit chooser->fileSelected(out);
    while (dialog)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return {t.nsecsElapsed() / 1e9, (bench::statusKb("VmHWM:") - before) / 1024.0};
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
        limit.append(bench::encodingSeconds(images));
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
    const double l = bench::median(limit), o = bench::median(one), e = bench::median(every);
    line("PNG encoding alone, one thread:", l);
    line("dump, one worker:", o);
    line(qPrintable(QStringLiteral("dump, %1 workers:").arg(cores)), e);
    line("own PNG encoder alone, one thread:", bench::ownEncodingSeconds(images));
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
    QList<QImage> images;
    const QByteArray swf = bench::pictureFile(painted, count, &images);
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
    constexpr int kFiles = 200;
    QTemporaryDir work;
    bench::generateAssets(work.path(), kFiles, false);
    QStringList files;
    QList<QImage> images;
    for (int i = 0; i < kFiles; ++i) {
        files << bench::assetName(i);
        images += bench::assetImages(i);
    }
    QDir::setCurrent(work.path());
    std::printf("\nDump All Resources over %d asset files: %lld bitmaps of 16 x 16 to "
                "128 x 128\n",
                kFiles, qint64(images.size()));
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
