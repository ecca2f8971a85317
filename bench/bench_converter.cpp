// Converter throughput and memory on a large generated CWS file of bitmaps,
// next to the raw limit (swfxml_limit: read, inflate, base64, nothing else)
// measured in the same run on the same file. Both programs are timed as
// whole processes, start-up included, writing to /dev/null.
//
//   bench_converter [--bitmaps N] [--runs N] [--keep FILE.swf]
//
// Prints its figures; it never fails on timing.

#include "tests/support/swfwriter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

struct Sample {
    double seconds = 0;
    long maxRssKiB = 0;
    int status = -1;
};

// Runs `args` with standard output on `output`; wall time and peak memory
// of that one child. fork() rather than posix_spawn(): a vfork-style child
// would be charged this process's own peak memory.
Sample runOnce(const std::vector<QByteArray> &args, const char *output)
{
    std::vector<char *> argv;
    for (const QByteArray &a : args)
        argv.push_back(const_cast<char *>(a.constData()));
    argv.push_back(nullptr);
    Sample s;
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid < 0)
        return s;
    if (pid == 0) {
        const int fd = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0)
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    struct rusage usage {
    };
    int status = 0;
    wait4(pid, &status, 0, &usage);
    s.seconds = double(timer.nsecsElapsed()) / 1e9;
    s.maxRssKiB = usage.ru_maxrss;
    s.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Premultiplied ARGB in flat bands under a few bits of noise: it
// compresses to about a third, like painted art, not to nothing.
QByteArray noisyPixels(int width, int height, QRandomGenerator &random)
{
    QByteArray out(qsizetype(width) * height * 4, Qt::Uninitialized);
    char *p = out.data();
    const int phase = int(random.bounded(256));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const quint32 noise = random.generate();
            const int a = (x + y) % 64 == 0 ? 128 : 255;
            const int r = (((y / 32) * 16 + phase) & 0xFF) ^ int(noise & 0x07);
            const int g = (((x / 64) * 32 + phase) & 0xFF) ^ int((noise >> 8) & 0x03);
            const int b = phase ^ int((noise >> 16) & 0x01);
            *p++ = char(a);
            *p++ = char(r * a / 255);
            *p++ = char(g * a / 255);
            *p++ = char(b * a / 255);
        }
    }
    return out;
}

// Writes the benchmark file: `bitmaps` named 256x256 format-5 bitmaps, CWS.
bool generate(const QString &path, int bitmaps)
{
    QRandomGenerator random(20240601);
    swfw::Tags tags;
    QList<QPair<int, QByteArray>> symbols;
    tags.tag(69, QByteArray("\x08\0\0\0", 4)).frameLabel("bench");
    for (int i = 1; i <= bitmaps; ++i) {
        tags.bitmap(i, 256, 256, noisyPixels(256, 256, random));
        symbols.append({i, "bench.Bitmap" + QByteArray::number(i)});
    }
    tags.symbolClass(symbols).showFrame().end();
    return swfw::save(path, swfw::file({}, tags, swfw::Compression::Zlib));
}

} // namespace

int main(int argc, char **argv)
{
    int bitmaps = 320;
    int runs = 7;
    QString keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray option = argv[i];
        if (option == "--bitmaps")
            bitmaps = qMax(1, atoi(argv[i + 1]));
        else if (option == "--runs")
            runs = qMax(1, atoi(argv[i + 1]));
        else if (option == "--keep")
            keep = QFile::decodeName(argv[i + 1]);
    }

    const QString binDir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QByteArray converter = QFile::encodeName(binDir + "/swfxml");
    const QByteArray limit = QFile::encodeName(binDir + "/swfxml_limit");
    QTemporaryDir dir;
    const QString swfPath = keep.isEmpty() ? dir.filePath("bench.swf") : keep;
    const QByteArray swf = QFile::encodeName(swfPath);

    // The machine, for the record.
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    QByteArray cpu = "unknown CPU";
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : cpuinfo.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                cpu = line.mid(line.indexOf(':') + 1).trimmed();
                break;
            }
        }
    }
    std::printf("machine: %ld CPUs online, %s\n", sysconf(_SC_NPROCESSORS_ONLN), cpu.constData());

    // Generated in a child process, so that this one stays small: a child's
    // peak memory starts from what its parent holds when it forks.
    std::printf("generating %d bitmaps...\n", bitmaps);
    std::fflush(stdout);
    const pid_t generator = fork();
    if (generator == 0)
        _exit(generate(swfPath, bitmaps) ? 0 : 1);
    int generated = -1;
    waitpid(generator, &generated, 0);
    QFile swfFile(swfPath);
    if (generator < 0 || generated != 0 || !swfFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "bench_converter: can't write %s\n", swf.constData());
        return 1;
    }
    const qint64 fileSize = swfFile.size();
    const auto h = swfFile.read(8);
    const qint64 bodySize = qint64(quint8(h[4]) | quint8(h[5]) << 8 | quint8(h[6]) << 16 |
                                   quint32(quint8(h[7])) << 24) -
                            8;
    swfFile.close();
    const double fileMB = double(fileSize) / 1e6;
    std::printf("file: %.1f MB CWS, body %.1f MB, %d bitmaps%s\n", fileMB, double(bodySize) / 1e6,
                bitmaps, fileSize < 20'000'000 ? "  (below 20 MB: use more --bitmaps)" : "");

    // XML size, and a check that both programs run.
    const QByteArray xmlPath = QFile::encodeName(dir.filePath("bench.xml"));
    const Sample once = runOnce({converter, "swf2xml", swf, "stdout"}, xmlPath.constData());
    const qint64 xmlSize = QFileInfo(QFile::decodeName(xmlPath)).size();
    QFile::remove(QFile::decodeName(xmlPath));
    const Sample limitOnce = runOnce({limit, swf}, "/dev/null");
    if (once.status != 0 || limitOnce.status != 0) {
        std::fprintf(stderr, "bench_converter: converter exit %d, limit exit %d\n", once.status,
                     limitOnce.status);
        return 1;
    }
    std::printf("xml: %.1f MB = %.3f x the file\n", double(xmlSize) / 1e6,
                double(xmlSize) / double(fileSize));

    // Alternate the two, so that both see the same machine load.
    std::vector<double> convTimes, limitTimes;
    long convRss = 0, limitRss = 0;
    for (int i = 0; i < runs; ++i) {
        const Sample c = runOnce({converter, "swf2xml", swf, "stdout"}, "/dev/null");
        const Sample l = runOnce({limit, swf}, "/dev/null");
        convTimes.push_back(c.seconds);
        limitTimes.push_back(l.seconds);
        convRss = std::max(convRss, c.maxRssKiB);
        limitRss = std::max(limitRss, l.maxRssKiB);
    }
    const double conv = median(convTimes);
    const double lim = median(limitTimes);
    std::printf("runs: %d each, median wall time, start-up included, output to /dev/null\n", runs);
    std::printf("converter: %.3f s  %.1f MB/s of SWF\n", conv, fileMB / conv);
    std::printf("limit:     %.3f s  %.1f MB/s of SWF\n", lim, fileMB / lim);
    std::printf("converter / limit: %.3f (target <= 1.25)\n", conv / lim);
    const double bodyMiB = double(bodySize) / (1024.0 * 1024.0);
    std::printf("peak memory: converter %.1f MiB = %.2f x body (target < 2.5), limit %.1f MiB\n",
                double(convRss) / 1024.0, double(convRss) / 1024.0 / bodyMiB,
                double(limitRss) / 1024.0);
    return 0;
}
