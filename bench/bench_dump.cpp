// Speed of the bulk dump: a generated CWS file with a few hundred format-5
// bitmaps (mixed sizes up to 1024 x 1024) dumped through the dump dialog,
// beside the limit measured in the same run on the same images: Qt alone
// encoding them as PNG files with the same quality setting. Prints its
// figures; never fails on timing.
//
// Usage: bench_dump [bitmaps, default 240] [runs, default 3]

#include "dump/dumpdialog.h"
#include "swf/bitmap.h"
#include "tests/support/swfwriter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPointer>
#include <QTemporaryDir>

#include <algorithm>
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

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 240;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });

    QTemporaryDir work;
    swfw::Tags tags;
    QList<QPair<int, QByteArray>> symbols;
    qint64 pixels = 0;
    for (int i = 0; i < count; ++i) {
        const QSize s = sizeOf(i);
        tags.bitmap(i + 1, s.width(), s.height(), swfw::testPattern(s.width(), s.height(), i));
        symbols.append({i + 1, "bitmap_" + QByteArray::number(i)});
        pixels += qint64(s.width()) * s.height();
    }
    tags.symbolClass(symbols).frameLabel("bench").showFrame().end();
    const QByteArray swf = swfw::file(swfw::Header(), tags, swfw::Compression::Zlib);
    swfw::save(work.filePath("bench.swf"), swf);
    QDir::setCurrent(work.path());
    const double mp = pixels / 1e6;
    std::printf("file: %d bitmaps, %.1f megapixels, %.1f MB CWS\n", count, mp, swf.size() / 1e6);

    // The limit: the same images, already decoded, written as PNG files.
    QList<double> limitTimes;
    {
        QList<QImage> images;
        for (int i = 0; i < count; ++i) {
            const QSize s = sizeOf(i);
            images.append(
                imageFromARGB(swfw::testPattern(s.width(), s.height(), i), s.width(), s.height()));
        }
        for (int r = 0; r < runs; ++r) {
            QTemporaryDir out;
            QElapsedTimer t;
            t.start();
            for (int i = 0; i < count; ++i)
                images.at(i).save(out.filePath(QStringLiteral("bitmap_%1.png").arg(i)), "png", -1);
            limitTimes.append(t.nsecsElapsed() / 1e9);
        }
    }
    const long peakBeforeDump = peakKb();

    // The dump: converter run, reading, decoding and writing, end to end.
    QList<double> dumpTimes;
    for (int r = 0; r < runs; ++r) {
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

    const double limit = median(limitTimes);
    const double dump = median(dumpTimes);
    std::printf("PNG encoding alone (limit): %.2f s  %.1f images/s  %.1f megapixels/s\n", limit,
                count / limit, mp / limit);
    std::printf("dump (convert+read+decode+write): %.2f s  %.1f images/s  %.1f megapixels/s\n",
                dump, count / dump, mp / dump);
    std::printf("dump / limit: %.2f (target <= 1.25)\n", dump / limit);
    std::printf("peak memory: %.0f MB before the dumps (the limit's decoded images held), "
                "%.0f MB after\n",
                peakBeforeDump / 1024.0, peakKb() / 1024.0);
    return 0;
}
