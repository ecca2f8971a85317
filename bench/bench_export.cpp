// Speed and memory of swfexport as a user runs it (a whole process, output
// to a fresh folder), beside the limit measured in the same run: Qt alone
// writing the same images as PNG files on one thread, already decoded.
//
// Two generated asset archives (every file its own label, 5 to 40 named
// bitmaps of 16 x 16 to 128 x 128, a few KB of other tags, one file in a
// thousand unreadable), with one job and with every core; then the
// one-file pictures of bench_dump (240 bitmaps up to 1024 x 1024, painted
// art and the flat test pattern). Prints its figures with the machine's core
// count; never fails on timing.
//
// Usage: bench_export [small archive, default 500] [large archive, default 5000]
//                     [runs, default 3] [folder to keep the archives in]

#include "bench/benchsupport.h"
#include "swf/parallelism.h"
#include "tests/support/swfwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace
{

struct Export {
    double seconds = 0;
    double peakMb = 0; // the process's peak resident memory
};

// One swfexport run with `jobs` jobs over `inputs` into a new folder.
Export exportOnce(const QStringList &inputs, int jobs)
{
    QList<QByteArray> arguments = {
        QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/swfexport")),
        "-q", "-j", QByteArray::number(jobs)};
    for (const QString &input : inputs)
        arguments.append(QFile::encodeName(input));
    arguments.append(QFile::encodeName(bench::newOutputFolder()));
    QList<char *> argv;
    for (QByteArray &argument : arguments)
        argv.append(argument.data());
    argv.append(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The broken files are named there; the figures go to standard output.
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv.first(), &actions, nullptr, argv.data(), environ) != 0)
        qFatal("can't start swfexport");
    // The peak is read from the process itself while it runs: the peak a
    // wait reports (ru_maxrss) counts this process's memory too, which the
    // child held before it started the program.
    long peakKb = 0;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        peakKb = std::max(peakKb, bench::statusKb("VmHWM:", pid));
        usleep(5000);
    }
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        qFatal("swfexport ended with status %d", status);
    return {seconds, double(peakKb) / 1024};
}

struct Figures {
    double seconds = 0;
    double peakMb = 0;
};

// `runs` runs with one job and with every core, in turn; medians.
QPair<Figures, Figures> measure(const QStringList &inputs, int runs)
{
    QList<double> one, every;
    Figures a, b;
    for (int r = 0; r < runs; ++r) {
        const Export x = exportOnce(inputs, 1);
        const Export y = exportOnce(inputs, parallelJobs());
        one.append(x.seconds);
        every.append(y.seconds);
        a.peakMb = std::max(a.peakMb, x.peakMb);
        b.peakMb = std::max(b.peakMb, y.peakMb);
    }
    a.seconds = bench::median(one);
    b.seconds = bench::median(every);
    return {a, b};
}

struct Work {
    int files = 0;
    qint64 images = 0;
    double megapixels = 0;
};

void line(const char *what, const Work &work, const Figures &f)
{
    std::printf("  %-22s %7.2f s  %7.1f files/s  %7.1f images/s  %6.1f megapixels/s  "
                "%6.2f ms/file  peak memory %6.1f MB\n",
                what, f.seconds, work.files / f.seconds, double(work.images) / f.seconds,
                work.megapixels / f.seconds, f.seconds * 1000 / work.files, f.peakMb);
}

double megapixels(const QList<QImage> &images)
{
    double pixels = 0;
    for (const QImage &image : images)
        pixels += double(image.width()) * image.height();
    return pixels / 1e6;
}

// An archive of `count` files: the limit, then the export. The ms per file
// with every core.
double runArchive(const QString &root, int count, int runs)
{
    const QString folder = QDir(root).filePath(QStringLiteral("archive-%1").arg(count));
    bench::generateAssets(folder, count);
    Work work{count, 0, 0};
    double limit = 0;
    for (int i = 0; i < count; ++i) {
        // The unreadable files have no images to count.
        if (bench::assetFile(i).startsWith("This is not"))
            continue;
        const QList<QImage> images = bench::assetImages(i);
        work.images += images.size();
        work.megapixels += megapixels(images);
        limit += bench::encodingSeconds(images);
    }
    std::printf("\narchive of %d files, %lld bitmaps (%.1f megapixels), median of %d runs:\n",
                count, work.images, work.megapixels, runs);
    const auto [one, every] = measure({folder}, runs);
    line("PNG encoding, 1 thread:", work, {limit, 0});
    line("swfexport -j 1:", work, one);
    line(qPrintable(QStringLiteral("swfexport -j %1:").arg(parallelJobs())), work, every);
    std::printf("  -j %d is %.2f x faster than -j 1 (target >= 1.7 on 5,000 files); "
                "every core / limit: %.2f\n",
                parallelJobs(), one.seconds / every.seconds, every.seconds / limit);
    return every.seconds * 1000 / count;
}

void runPictures(const QString &root, bool painted, int runs)
{
    QList<QImage> images;
    const QString file =
        QDir(root).filePath(painted ? QStringLiteral("art.swf") : QStringLiteral("flat.swf"));
    const QByteArray swf = bench::pictureFile(painted, 240, &images);
    swfw::save(file, swf);
    const Work w{1, images.size(), megapixels(images)};
    QList<double> limits;
    for (int r = 0; r < runs; ++r)
        limits.append(bench::encodingSeconds(images));
    const double limit = bench::median(limits);
    std::printf("\n%s pictures, one file: 240 bitmaps up to 1024 x 1024 (%.1f megapixels), "
                "%.1f MB CWS, median of %d runs:\n",
                painted ? "art" : "flat", w.megapixels, swf.size() / 1e6, runs);
    const auto [one, every] = measure({file}, runs);
    line("PNG encoding, 1 thread:", w, {limit, 0});
    line("swfexport -j 1:", w, one);
    line(qPrintable(QStringLiteral("swfexport -j %1:").arg(parallelJobs())), w, every);
    std::printf("  every core / limit: %.2f (target <= 0.6)\n", every.seconds / limit);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int small = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    const int large = argc > 2 ? std::max(1, atoi(argv[2])) : 5000;
    const int runs = argc > 3 ? std::max(1, atoi(argv[3])) : 3;
    QTemporaryDir temporary;
    const QString root = argc > 4 ? QString::fromLocal8Bit(argv[4]) : temporary.path();

    std::printf("machine: %d cores; every core = -j %d\n", QThread::idealThreadCount(),
                parallelJobs());
    const double smallMs = runArchive(root, small, runs);
    const double largeMs = runArchive(root, large, runs);
    std::printf("\nms per file with every core, %d files / %d files: %.2f (target <= 1.2)\n", large,
                small, largeMs / smallMs);
    runPictures(root, true, runs);
    runPictures(root, false, runs);
    return 0;
}
