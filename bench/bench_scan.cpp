// Speed and memory of the window's folder scan on folders shaped like asset
// archives (bench/assetfiles.h). Each folder
// is scanned with one conversion at a time (SWF_JOBS=1) and with every core,
// each scan in a process that only hosts the window (offscreen), so that
// its peak memory is the window's alone. Prints its figures with the
// machine's core count; never fails on timing.
//
// Usage: bench_scan [small files, default 500] [large files, default 10000]
//                   [runs, default 3] [folder to keep the generated files in]
// (internal) bench_scan --host FOLDER: scans FOLDER and prints
//            "seconds peak-kB rows window-cpu-seconds converter-cpu-seconds".

#include "bench/assetfiles.h"
#include "mainwindow/mainwindow.h"
#include "swf/converter.h"
#include "swf/parallelism.h"
#include "tests/support/guitest.h"
#include "tests/support/swfwriter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace
{

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Peak resident memory of this process (VmHWM), in kB.
long peakKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Writes `count` files into `folder`, unless a previous run left them there.
void generate(const QString &folder, int count)
{
    const QString done = QDir(folder).filePath(QStringLiteral(".complete"));
    if (QFile::exists(done))
        return;
    QDir().mkpath(folder);
    const QList<bench::Bitmap> stock = bench::bitmapStock();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("asset_%1.swf").arg(i, 5, 10, QLatin1Char('0'));
        if (!swfw::save(QDir(folder).filePath(name), bench::assetFile(i, stock)))
            qFatal("can't write %s", qPrintable(name));
    }
    swfw::save(done, "");
    std::printf("generated %d files in %.1f s\n", count, t.nsecsElapsed() / 1e9);
}

// Processor time of this process, or of its children waited for, in s.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Hosts the window and scans `folder`; prints "seconds peak-kB rows
// window-cpu converter-cpu".
int host(const QString &folder)
{
    // The box naming the unreadable files opens once the scan has ended;
    // quitting closes it.
    MainWindow window;
    auto *changeDirectory = window.findChild<QPushButton *>(QStringLiteral("cmdSetDir"));
    auto *rows = window.findChild<QListWidget *>(QStringLiteral("listWidget"));
    QElapsedTimer t;
    double seconds = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (seconds == 0 && changeDirectory->isEnabled()) {
            seconds = t.nsecsElapsed() / 1e9;
            QCoreApplication::quit();
        }
    });
    watch.start(2);
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    t.start();
    chooseFolder(&window, folder);
    QCoreApplication::exec();
    std::printf("%.3f %ld %d %.3f %.3f\n", seconds, peakKb(), rows->count(),
                cpuSeconds(RUSAGE_SELF) - cpuBefore, cpuSeconds(RUSAGE_CHILDREN));
    return 0;
}

struct Scan {
    double seconds = 0;
    double peakMb = 0;
    int rows = 0;
    double windowCpu = 0;    // the window's process
    double converterCpu = 0; // the converter's processes
};

// Scans `folder` in a process of its own with `jobs` conversions at once
// (0: every core), `runs` times; the median time, the largest peak.
Scan scan(const QString &folder, int jobs, int runs)
{
    QList<double> times;
    QList<double> windowCpu;
    QList<double> converterCpu;
    Scan result;
    for (int r = 0; r < runs; ++r) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        if (jobs > 0)
            environment.insert(QStringLiteral("SWF_JOBS"), QString::number(jobs));
        else
            environment.remove(QStringLiteral("SWF_JOBS"));
        process.setProcessEnvironment(environment);
        // The diagnostic lines are written, as by the tool, and dropped.
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QCoreApplication::applicationFilePath(), {"--host", folder});
        process.waitForFinished(-1);
        const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
        if (fields.size() != 5)
            qFatal("the scanning process failed");
        times.append(fields.at(0).toDouble());
        windowCpu.append(fields.at(3).toDouble());
        converterCpu.append(fields.at(4).toDouble());
        result.peakMb = std::max(result.peakMb, fields.at(1).toDouble() / 1024);
        result.rows = fields.at(2).toInt();
    }
    result.seconds = median(times);
    result.windowCpu = median(windowCpu);
    result.converterCpu = median(converterCpu);
    return result;
}

// Whole process of the converter, as the scan starts it once per file.
double converterStartMs(int runs)
{
    const QByteArray program = QFile::encodeName(Converter::program());
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>("--version"),
                    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QList<double> times;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) != 0)
            qFatal("can't start %s", argv[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        times.append(t.nsecsElapsed() / 1e6);
    }
    posix_spawn_file_actions_destroy(&actions);
    return median(times);
}

void report(int files, const char *how, const Scan &s)
{
    std::printf("  %-14s %6.2f s  %6.1f files/s  %5.2f ms/file  peak memory %5.1f MB  "
                "processor ms/file: window %.2f, converter %.2f  (%d rows)\n",
                how, s.seconds, files / s.seconds, s.seconds * 1000 / files, s.peakMb,
                s.windowCpu * 1000 / files, s.converterCpu * 1000 / files, s.rows);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--host")
        return host(QString::fromLocal8Bit(argv[2]));

    const int small = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    const int large = argc > 2 ? std::max(1, atoi(argv[2])) : 10000;
    const int runs = argc > 3 ? std::max(1, atoi(argv[3])) : 3;
    QTemporaryDir temporary;
    const QString root = argc > 4 ? QString::fromLocal8Bit(argv[4]) : temporary.path();

    const int cores = QThread::idealThreadCount();
    std::printf("machine: %d cores; every core = %d conversions at once\n", cores, parallelJobs());
    std::printf("converter start-up (%s --version, whole process, median of 300): %.2f ms\n",
                qPrintable(QFileInfo(Converter::program()).fileName()), converterStartMs(300));

    QList<double> msPerFile;
    for (const int files : {small, large}) {
        const QString folder = QDir(root).filePath(QStringLiteral("files-%1").arg(files));
        generate(folder, files);
        std::printf("%d files (median of %d runs):\n", files, runs);
        const Scan one = scan(folder, 1, runs);
        report(files, "one at a time:", one);
        const Scan every = scan(folder, 0, runs);
        report(files, "every core:", every);
        std::printf("  every core / one at a time: %.2f x faster (target >= 1.6)\n",
                    one.seconds / every.seconds);
        msPerFile.append(every.seconds * 1000 / files);
    }
    std::printf("ms per file with every core, %d files / %d files: %.2f (target <= 1.2)\n", large,
                small, msPerFile.at(1) / msPerFile.at(0));
    std::printf("targets for %d files on 2 cores: at most 15 s with every core, "
                "peak memory under 150 MB\n",
                large);
    return 0;
}
