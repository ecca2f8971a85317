// Whole-process start of the converter, the way the application starts it
// for every file it lists: `swfxml --version` and the conversion of a
// typical small asset file (about 55 KB, CWS, 20 small bitmaps) to standard
// output, next to /bin/true. Each is started RUNS times in a row, in SERIES
// series; the median time of each series is printed, then the median of
// those medians.
//
//   bench_startup [--runs N] [--series N]
//
// Prints its figures; it never fails on timing.

#include "tests/support/swfwriter.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace
{

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Median wall time of `runs` starts of `args` (standard output to
// /dev/null), or -1 when one fails.
double series(const std::vector<QByteArray> &args, int runs)
{
    std::vector<char *> argv;
    for (const QByteArray &a : args)
        argv.push_back(const_cast<char *>(a.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = nowMs();
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return -1;
        }
        times.push_back(nowMs() - start);
    }
    posix_spawn_file_actions_destroy(&actions);
    return median(times);
}

// Twenty bitmaps of 21 to 44 pixels a side, noisy enough that their zlib
// data (like that of real art) does not shrink again in the CWS body.
QByteArray smallAssetFile()
{
    QRandomGenerator random(55);
    swfw::Tags tags;
    QList<QPair<int, QByteArray>> symbols;
    tags.tag(69, QByteArray("\x08\0\0\0", 4)).frameLabel("assets");
    for (int id = 1; id <= 20; ++id) {
        const int width = 21 + int(random.bounded(24));
        const int height = 21 + int(random.bounded(24));
        QByteArray pixels(width * height * 4, Qt::Uninitialized);
        for (int k = 0; k < pixels.size(); k += 4) {
            pixels[k] = char(255);
            for (int c = 1; c < 4; ++c)
                pixels[k + c] = char((k / 4 % width) * 4 + int(random.generate() & 3));
        }
        tags.bitmap(id, width, height, pixels);
        symbols.append({id, "assets.Icon" + QByteArray::number(id)});
    }
    tags.symbolClass(symbols).showFrame().end();
    return swfw::file({}, tags, swfw::Compression::Zlib);
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 500;
    int count = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray option = argv[i];
        if (option == "--runs")
            runs = std::max(1, atoi(argv[i + 1]));
        else if (option == "--series")
            count = std::max(1, atoi(argv[i + 1]));
    }
    const QString binDir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QByteArray converter = QFile::encodeName(binDir + "/swfxml");
    QTemporaryDir dir;
    const QString swfPath = dir.filePath("assets.swf");
    const QByteArray swf = smallAssetFile();
    if (!swfw::save(swfPath, swf)) {
        std::fprintf(stderr, "bench_startup: can't write %s\n", qPrintable(swfPath));
        return 1;
    }
    std::printf("file: %lld bytes, CWS, 20 bitmaps; %d runs a series, median of each\n",
                static_cast<long long>(swf.size()), runs);

    const std::vector<std::vector<QByteArray>> commands = {
        {"/bin/true"},
        {converter, "--version"},
        {converter, "swf2xml", QFile::encodeName(swfPath), "stdout"}};
    const char *names[] = {"/bin/true", "swfxml --version", "swfxml swf2xml FILE stdout"};
    std::vector<std::vector<double>> medians(commands.size());
    for (int s = 0; s < count; ++s) {
        std::printf("series %d:", s + 1);
        for (std::size_t c = 0; c < commands.size(); ++c) {
            const double ms = series(commands[c], runs);
            if (ms < 0) {
                std::fprintf(stderr, "\nbench_startup: %s failed\n", names[c]);
                return 1;
            }
            medians[c].push_back(ms);
            std::printf("  %.3f ms", ms);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    for (std::size_t c = 0; c < commands.size(); ++c)
        std::printf("%-28s %.3f ms (median of %d series)\n", names[c], median(medians[c]), count);
    return 0;
}
