#include "swfexport/exportrun.h"

#include "swf/converter.h"
#include "swf/dumppipeline.h"
#include "swf/folderlisting.h"
#include "swf/imageoutput.h"
#include "swf/parallelism.h"
#include "swfxml/stdstreams.h"
#include "swfxml/swfconvert.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTemporaryFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Ctrl-C (SIGINT), SIGTERM and SIGHUP reach the event loop through a pipe:
// the handler only writes the signal's number into it.
int interruptPipe[2] = {-1, -1};

// Readable once the run stops: a conversion reading a pipe or a device waits
// for its data or for this, so that a stop doesn't wait for a writer that
// may never come. Open for the life of the process.
int stopPipe[2] = {-1, -1};

// When the first SIGTERM came (CLOCK_MONOTONIC milliseconds, from 1), 0
// before.
std::atomic<long long> firstTerm{0};
static_assert(std::atomic<long long>::is_always_lock_free, "used by a signal handler");

void onInterrupt(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(interruptPipe[1], &byte, 1);
    if (signal == SIGTERM) {
        // `timeout` and service managers send SIGTERM to the program and
        // then to its whole group: one stop comes as two signals at once.
        // One a second or more after the first ends the program, as a
        // second Ctrl-C does.
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const long long ms = now.tv_sec * 1000LL + now.tv_nsec / 1000000 + 1;
        long long first = 0;
        if (!firstTerm.compare_exchange_strong(first, ms) && ms - first >= 1000) {
            ::signal(SIGTERM, SIG_DFL);
            ::raise(SIGTERM);
        }
    }
    errno = saved;
}

bool catchInterrupt()
{
    if (::pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {
    };
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // Only the first Ctrl-C: stopping waits for the images being written,
    // and a disk that hangs would keep a second from ending the program.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    if (!swfxml::signalIgnored(SIGINT) && ::sigaction(SIGINT, &action, nullptr) != 0)
        return false;
    // A closed terminal or a dropped session (SIGHUP) stops the run as
    // SIGTERM does, so that the report is written; the hangup often comes
    // twice, from the kernel and from the shell, and both are that one stop.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP}) {
        if (!swfxml::signalIgnored(signal) && ::sigaction(signal, &action, nullptr) != 0)
            return false;
    }
    return true;
}

// "1 file", "2 files".
QString counted(int count, const char *noun)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(QLatin1String(noun),
                                                    count == 1 ? QString() : QStringLiteral("s"));
}

// An image that failed for want of space on the output's disk: every image
// after it would fail alike.
bool outOfSpace(const ImageOutcome &image)
{
    static const QString full = qt_error_string(ENOSPC);
    static const QString quota = qt_error_string(EDQUOT);
    return image.failure.endsWith(full) || image.failure.endsWith(quota);
}

// The diagnostic lines of the window's reading mean nothing here.
void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "swfexport: %s\n", message.toLocal8Bit().constData());
}

// What the inputs hold, as the window lists folders.
struct InputListing {
    QStringList files;
    QStringList undecodable;                       // .swf names that aren't valid UTF-8, readable
    QList<std::pair<QString, QString>> unreadable; // folders that can't be listed, and why
    // Names ending in ".SWF", ".Swf"...: not taken, as in the window.
    QStringList otherCase;
    // Folders listed, so that one reached twice (through a link) isn't
    // listed again.
    QSet<QString> seen;

    // A folder's SWF files, then (recursively) its subfolders' in the same
    // name order. Names that aren't valid UTF-8 go to `undecodable`, in a
    // readable form; folders that can't be listed (subfolders so named
    // among them) to `unreadable`, with the reason.
    void addFolder(const QString &path, bool recursive)
    {
        const QDir dir(path);
        const QString canonical = dir.canonicalPath();
        if (seen.contains(canonical))
            return;
        seen.insert(canonical);
        const FolderListing listing = listFolder(path);
        if (!listing.error.isEmpty()) {
            unreadable.append({path, listing.error});
            return;
        }
        for (const QString &name : listing.names) {
            if (hasSwfSuffix(name))
                files.append(dir.filePath(name));
            else if (name.endsWith(QLatin1String(".swf"), Qt::CaseInsensitive))
                otherCase.append(dir.filePath(name));
        }
        for (const UndecodableName &name : listing.undecodableSwfNames)
            undecodable.append(dir.filePath(name.readable));
        if (!recursive)
            return;
        for (const UndecodableName &name : listing.undecodableFolderNames)
            unreadable.append({dir.filePath(name.readable), undecodableNameReason()});
        for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort))
            addFolder(dir.filePath(name), true);
    }
};

QString readingText(CatalogueOutcome outcome)
{
    switch (outcome) {
    case CatalogueOutcome::ParseError:
        return QStringLiteral("the converter's document can't be read");
    case CatalogueOutcome::MissingElement:
        return QStringLiteral("no frame label or no symbol class");
    case CatalogueOutcome::NoSymbols:
        return QStringLiteral("no symbols");
    case CatalogueOutcome::EmptyLabel:
        return QStringLiteral("empty frame label");
    case CatalogueOutcome::LabelRefused:
        return QStringLiteral("label already loaded from an earlier file");
    case CatalogueOutcome::NoResources:
        return QStringLiteral("no bitmaps or binary data");
    case CatalogueOutcome::EntryMade:
        break;
    }
    return {};
}

// "12.3 s", or "4:05" from a minute on.
QString elapsedText(qint64 ms)
{
    if (ms < 60000)
        return QStringLiteral("%1 s").arg(double(ms) / 1000, 0, 'f', 1);
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// Whether `path` is a pipe or a device, which takes what is written as it
// comes: there is no folder beside it to make a file in first.
bool isStream(const QString &path)
{
    struct stat status {
    };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISREG(status.st_mode) &&
           !S_ISDIR(status.st_mode);
}

// Standard output or error when `path` is "-" or names the file one of
// them writes to ("--json /dev/stdout", ">> log"); else nullptr.
FILE *standardStreamAt(const QString &path)
{
    if (path == QLatin1String("-"))
        return stdout;
    switch (swfxml::standardDescriptorAt(QFile::encodeName(path).constData())) {
    case STDOUT_FILENO:
        return stdout;
    case STDERR_FILENO:
        return stderr;
    default:
        return nullptr;
    }
}

// The folders that making `path` would make, deepest first.
QStringList missingFolders(const QString &path)
{
    QStringList missing;
    for (QFileInfo folder(QDir::cleanPath(QDir(path).absolutePath()));
         !folder.exists() && !folder.isSymLink() && !folder.isRoot();
         folder.setFile(folder.absolutePath()))
        missing.append(folder.absoluteFilePath());
    return missing;
}

// Why no file can be made in `folder`; empty when one can.
QString unwritableReason(const QDir &folder)
{
    QTemporaryFile probe(folder.filePath(QStringLiteral(".swfexport-XXXXXX")));
    return probe.open() ? QString() : probe.errorString();
}

// Takes a document up to the size at which the window stops its converter:
// a small hostile file can describe gigabytes.
class CappedSink final : public swfxml::Sink
{
public:
    explicit CappedSink(QByteArray &out) : out(out) {}
    bool write(const char *data, std::size_t size) override
    {
        if (qint64(out.size()) + qint64(size) > cap) {
            over = true;
            return false;
        }
        out.append(data, qsizetype(size));
        return true;
    }
    void expect(std::size_t size) override
    {
        out.reserve(qsizetype(std::min(qint64(out.size()) + qint64(size), cap)));
    }

    const qint64 cap = Converter::maxOutputBytes();
    bool over = false;

private:
    QByteArray &out;
};

// Says on standard error why `path` can't be used; the exit status for it.
int refuse(const QString &path, const char *what, const QString &reason)
{
    std::fprintf(stderr, "swfexport: %s: %s: %s\n", printableText(path).toLocal8Bit().constData(),
                 what, reason.toLocal8Bit().constData());
    return kExitUsage;
}

// Why the report can't be written at `path`; empty when it can. The report
// is written as QSaveFile writes: through links, to their target, by a new
// file beside it.
QString reportProblem(const QString &path)
{
    QFileInfo target(path);
    for (int depth = 0; depth < 128 && target.isSymLink(); ++depth)
        target.setFile(target.symLinkTarget());
    if (target.isDir())
        return QStringLiteral("it is a folder");
    if (target.exists() && !target.isWritable())
        return qt_error_string(EACCES);
    return unwritableReason(target.dir());
}

// Why writing the report at `path` would lose a file kept: one of `files`,
// the files to export, or any SWF file (by its signature or its name, as a
// broken one is kept too); empty when it would be neither.
QString reportReplaces(const QString &path, const QStringList &files)
{
    struct stat report {
    };
    if (::stat(QFile::encodeName(path).constData(), &report) != 0 || !S_ISREG(report.st_mode))
        return {};
    for (const QString &file : files) {
        struct stat input {
        };
        if (::stat(QFile::encodeName(file).constData(), &input) == 0 &&
            swfxml::sameFile(input, report))
            return QStringLiteral("it is one of the input files");
    }
    QFile existing(path);
    const QByteArray signature = existing.open(QIODevice::ReadOnly) ? existing.read(3) : "";
    if (signature == "FWS" || signature == "CWS" || signature == "ZWS" ||
        path.endsWith(QLatin1String(".swf"), Qt::CaseInsensitive))
        return QStringLiteral("it is an SWF file");
    return {};
}

// Why the input `path` can't be found: it isn't there, or a link loop or a
// folder without search permission stands in the way.
QString missingReason(const QString &path)
{
    struct stat status {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) == 0 || errno == ENOENT ||
        errno == ENOTDIR)
        return QStringLiteral("no such file or folder");
    return qt_error_string(errno);
}

} // namespace

ExportRun::ExportRun(ExportOptions options) : options(std::move(options))
{
    terminal = !this->options.quiet && ::isatty(STDERR_FILENO);
    progressTimer.setInterval(100);
    connect(&progressTimer, &QTimer::timeout, this, &ExportRun::showProgress);
}

ExportRun::~ExportRun() = default;

int ExportRun::exec()
{
    qInstallMessageHandler(quietDebug);

    // A name whose bytes aren't UTF-8 came through as another name.
    const std::pair<QString, const char *> places[] = {
        {options.outputFolder, "can't make the output folder"},
        {options.reportPath, "can't write the report"}};
    for (const auto &[path, what] : places) {
        if (options.undecodableArguments.contains(path))
            return refuse(options.undecodableArguments.value(path), what, undecodableNameReason());
    }

    // The output folder first: without it nothing can be written.
    const QFileInfo out(options.outputFolder);
    const QStringList madeFolders = missingFolders(options.outputFolder);
    const bool made = QDir().mkpath(options.outputFolder);
    const int error = errno;
    if (!made || !out.isDir())
        return refuse(options.outputFolder, "can't make the output folder",
                      out.exists() ? QStringLiteral("not a folder") : qt_error_string(error));
    // A run refused from here on leaves no trace: the folders just made go.
    const auto unmake = [&madeFolders] {
        for (const QString &folder : madeFolders)
            QDir().rmdir(folder);
    };
    if (const QString reason = unwritableReason(QDir(options.outputFolder)); !reason.isEmpty()) {
        unmake();
        return refuse(options.outputFolder, "can't write into the output folder", reason);
    }

    // The report's place too, so that a long run doesn't end unable to
    // say what it did. A pipe or a device is taken as it is.
    FILE *reportStream =
        options.reportPath.isEmpty() ? nullptr : standardStreamAt(options.reportPath);
    if (reportStream == stdout && options.standardOutputClosed) {
        unmake();
        return refuse(options.reportPath, "can't write the report", "standard output is closed");
    }
    const bool reportFile =
        !options.reportPath.isEmpty() && !reportStream && !isStream(options.reportPath);
    if (reportFile) {
        if (const QString reason = reportProblem(options.reportPath); !reason.isEmpty()) {
            unmake();
            return refuse(options.reportPath, "can't write the report", reason);
        }
    }

    InputListing inputs;
    for (const QString &input : std::as_const(options.inputs)) {
        const QFileInfo info(input);
        if (options.undecodableArguments.contains(input))
            inputs.undecodable.append(options.undecodableArguments.value(input));
        else if (info.isDir())
            inputs.addFolder(input, options.recursive);
        else if (info.exists())
            inputs.files.append(input);
        else
            missingInputs.append({input, missingReason(input)});
    }
    const QStringList files = std::move(inputs.files);
    undecodable = std::move(inputs.undecodable);
    unreadable = std::move(inputs.unreadable);
    // "--json" taken for a switch must not cost the file after it.
    if (reportFile) {
        if (const QString reason = reportReplaces(options.reportPath, files); !reason.isEmpty()) {
            unmake();
            return refuse(options.reportPath, "won't replace it with the report", reason);
        }
    }
    for (const auto &[input, reason] : std::as_const(missingInputs))
        say(QStringLiteral("%1: %2").arg(input, reason));
    for (const QString &name : std::as_const(undecodable))
        say(QStringLiteral("%1: can't be converted: %2").arg(name, undecodableNameReason()));
    for (const auto &[folder, reason] : std::as_const(unreadable))
        say(QStringLiteral("%1: can't read the folder: %2").arg(folder, reason));
    if (const QStringList &passed = inputs.otherCase; !passed.isEmpty()) {
        constexpr int kNamed = 3;
        QString named = passed.mid(0, kNamed).join(QLatin1String(", "));
        if (passed.size() > kNamed)
            named += QStringLiteral(" and %1 more").arg(passed.size() - kNamed);
        say(QStringLiteral("%1 not taken: only names ending in \".swf\" in lower case are, as "
                           "in the window: %2")
                .arg(counted(int(passed.size()), "file"), named));
    }
    fileCount = int(files.size());

    DumpOptions dumpOptions;
    dumpOptions.layout = options.flat ? DumpLayout::Flat : DumpLayout::FolderPerLabel;
    dumpOptions.limits.workers = options.jobs > 0 ? options.jobs : parallelJobs();
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        stopPipe[0] = stopPipe[1] = -1; // a stop then waits for such readings
    pipeline = std::make_unique<DumpPipeline>(
        [this](const QString &file) {
            ConversionResult result;
            result.ended = true;
            QByteArray xml;
            CappedSink sink(xml);
            std::string error;
            const swfxml::Result converted = swfxml::convertFile(
                QFile::encodeName(file).constData(), sink, &error,
                [&](const char *message) { result.warnings.append(QString::fromUtf8(message)); },
                stopPipe[0]);
            if (converted == swfxml::Result::Converted) {
                result.document = std::move(xml);
            } else {
                result.exitCode = 1;
                result.failure = sink.over ? QStringLiteral("output over %1 bytes").arg(sink.cap)
                                           : QString::fromStdString(error);
            }
            return result;
        },
        dumpOptions);
    pipeline->setLabelPolicy(std::make_unique<RefuseLoadedLabels>());
    connect(pipeline.get(), &DumpPipeline::fileDone, this, &ExportRun::fileDone);
    // A full disk stops the run, rather than naming every image after it.
    connect(pipeline.get(), &DumpPipeline::imageDone, this, [this](const ImageOutcome &image) {
        if (outOfSpace(image))
            QMetaObject::invokeMethod(
                this,
                [this] {
                    stop(kExitFailed, QStringLiteral("no space left in %1")
                                          .arg(QDir::toNativeSeparators(options.outputFolder)));
                },
                Qt::QueuedConnection);
    });
    connect(pipeline.get(), &DumpPipeline::finished, this, &ExportRun::finished);

    if (catchInterrupt()) {
        interruptNotifier = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read, this);
        connect(interruptNotifier, &QSocketNotifier::activated, this, &ExportRun::interrupted);
    }

    clock.start();
    if (terminal) {
        progressTimer.start();
        showProgress();
    }
    pipeline->start(files, options.outputFolder);
    if (status < 0)
        QCoreApplication::exec();
    return status;
}

void ExportRun::fileDone(const FileOutcome &file)
{
    ++filesDone;
    imagesWritten += file.written;
    for (const QString &warning : file.conversion.warnings)
        say(QStringLiteral("%1: warning: %2").arg(file.file, warning));
    if (!file.converted()) {
        ++failures;
        say(QStringLiteral("%1: can't be converted: %2").arg(file.file, file.conversion.failure));
    } else if (file.reading != CatalogueOutcome::EntryMade) {
        // As the window says "Already Loaded": a tree of games that all
        // label their main file alike would otherwise lose all but one
        // without a word.
        ++skipped;
        if (!options.quiet)
            say(QStringLiteral("%1: skipped: %2")
                    .arg(file.file,
                         readingText(file.reading.value_or(CatalogueOutcome::ParseError))));
    }
    sayFailedImages(file);
    done.append(file);
}

void ExportRun::sayFailedImages(const FileOutcome &file)
{
    for (const ImageOutcome &image : file.failures) {
        ++failures;
        say(QStringLiteral("%1: %2: not written: %3").arg(file.file, image.path, image.failure));
    }
}

void ExportRun::finished(const DumpSummary &summary)
{
    progressTimer.stop();
    const int unlisted = int(missingInputs.size() + undecodable.size() + unreadable.size());
    const int filesFailed = int(summary.notConverted().size()) + unlisted;
    const int imagesFailed = summary.imagesFailed();
    bool ok = filesFailed == 0 && imagesFailed == 0;
    if (!options.quiet) {
        QString line =
            QStringLiteral("%1, %2 written into %3 in %4")
                .arg(counted(fileCount + unlisted, "file"), counted(imagesWritten, "image"),
                     QDir::toNativeSeparators(options.outputFolder), elapsedText(clock.elapsed()));
        if (skipped > 0)
            line += QStringLiteral("; %1 skipped").arg(counted(skipped, "file"));
        if (!ok)
            line += QStringLiteral("; %1 and %2 failed")
                        .arg(counted(filesFailed, "file"), counted(imagesFailed, "image"));
        say(line);
    }
    if (!writeReport(summary.files, true))
        ok = false;
    status = ok ? kExitWritten : kExitFailed;
    QCoreApplication::exit(status);
}

void ExportRun::interrupted()
{
    interruptNotifier->setEnabled(false);
    char signal = SIGINT;
    [[maybe_unused]] const ssize_t n = ::read(interruptPipe[0], &signal, 1);
    stop(128 + signal);
}

void ExportRun::stop(int exitStatus, const QString &reason)
{
    if (status >= 0)
        return; // the run has ended already
    progressTimer.stop();
    if (stopPipe[1] >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], "", 1);
    }
    // Nothing more is handed out; the images being written end whole.
    pipeline->abort();
    // Files cut short keep the images they have: said and reported too.
    const QList<FileOutcome> stopped = pipeline->stoppedFiles();
    for (const FileOutcome &file : stopped) {
        imagesWritten += file.written;
        sayFailedImages(file);
        // Its last image ended before the stop, only not yet counted.
        if (file.allImagesEnded())
            ++filesDone;
    }
    say(QStringLiteral("stopped%1: %2 of %3 done, %4 written")
            .arg(reason.isEmpty() ? QString() : QStringLiteral(", ") + reason,
                 QString::number(filesDone), counted(fileCount, "file"),
                 counted(imagesWritten, "image")));
    writeReport(done, false, stopped);
    status = exitStatus;
    QCoreApplication::exit(status);
}

void ExportRun::showProgress()
{
    const QString line = QStringLiteral("swfexport: %1 of %2, %3, %4 failed, %5")
                             .arg(QString::number(filesDone), counted(fileCount, "file"),
                                  counted(imagesWritten, "image"), QString::number(failures),
                                  elapsedText(clock.elapsed()));
    // A line wider than the terminal would wrap, and the next one could
    // only take back its last row.
    struct winsize size {
    };
    const int columns =
        ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 0;
    const QString shown = columns > 0 ? line.left(columns - 1) : line;
    std::fprintf(stderr, "\r%s\x1b[K", shown.toLocal8Bit().constData());
    std::fflush(stderr);
    progressShown = true;
}

void ExportRun::clearProgress()
{
    if (progressShown) {
        std::fputs("\r\x1b[K", stderr);
        progressShown = false;
    }
}

void ExportRun::say(const QString &line)
{
    clearProgress();
    std::fprintf(stderr, "swfexport: %s\n", printableText(line).toLocal8Bit().constData());
    if (terminal && progressTimer.isActive())
        showProgress();
}

bool ExportRun::writeReport(const QList<FileOutcome> &files, bool complete,
                            const QList<FileOutcome> &stopped)
{
    if (options.reportPath.isEmpty())
        return true;
    QJsonArray entries;
    const auto add = [this, &entries](const FileOutcome &file, bool cutShort) {
        QJsonObject entry{{QStringLiteral("file"), file.file}};
        entry.insert(QStringLiteral("label"), file.label.isEmpty() ? QJsonValue() : file.label);
        QString outcome;
        QString reason;
        if (!file.converted()) {
            outcome = QStringLiteral("failed");
            reason = file.conversion.failure;
        } else if (file.reading != CatalogueOutcome::EntryMade) {
            outcome = QStringLiteral("skipped");
            reason = readingText(file.reading.value_or(CatalogueOutcome::ParseError));
        } else if (cutShort && !file.allImagesEnded()) {
            outcome = QStringLiteral("stopped");
        } else {
            outcome = file.failures.isEmpty() ? QStringLiteral("written")
                                              : QStringLiteral("images failed");
        }
        entry.insert(QStringLiteral("outcome"), outcome);
        if (!reason.isEmpty())
            entry.insert(QStringLiteral("reason"), reason);
        // A file without images has no folder made for it.
        if (!file.folder.isEmpty() && file.images > 0)
            entry.insert(QStringLiteral("folder"), file.folder);
        entry.insert(QStringLiteral("images"), file.images);
        entry.insert(QStringLiteral("written"), file.written);
        QJsonArray failed;
        for (const ImageOutcome &image : file.failures)
            failed.append(QJsonObject{{QStringLiteral("name"), image.name},
                                      {QStringLiteral("path"), image.path},
                                      {QStringLiteral("reason"), image.failure}});
        entry.insert(QStringLiteral("failed"), failed);
        // What the converter found wrong in a file it could still read (cut
        // short, a wrong length): images past the break are not listed.
        entry.insert(QStringLiteral("warnings"),
                     QJsonArray::fromStringList(file.conversion.warnings));
        entries.append(entry);
    };
    for (const FileOutcome &file : files)
        add(file, false);
    for (const FileOutcome &file : stopped)
        add(file, true);
    const auto unread = [&entries](const QString &file, const QString &reason) {
        entries.append(QJsonObject{{QStringLiteral("file"), file},
                                   {QStringLiteral("label"), QJsonValue()},
                                   {QStringLiteral("outcome"), QStringLiteral("failed")},
                                   {QStringLiteral("reason"), reason},
                                   {QStringLiteral("images"), 0},
                                   {QStringLiteral("written"), 0},
                                   {QStringLiteral("failed"), QJsonArray()},
                                   {QStringLiteral("warnings"), QJsonArray()}});
    };
    for (const auto &[input, reason] : std::as_const(missingInputs))
        unread(input, reason);
    for (const QString &name : std::as_const(undecodable))
        unread(name, undecodableNameReason());
    for (const auto &[folder, reason] : std::as_const(unreadable))
        unread(folder, QStringLiteral("can't read the folder: %1").arg(reason));
    const QJsonObject report{{QStringLiteral("output"), options.outputFolder},
                             {QStringLiteral("complete"), complete},
                             {QStringLiteral("files"), entries}};
    const QByteArray json = QJsonDocument(report).toJson(QJsonDocument::Indented);
    if (FILE *stream = standardStreamAt(options.reportPath)) {
        if (stream == stderr)
            clearProgress();
        const bool written =
            std::fwrite(json.constData(), 1, size_t(json.size()), stream) == size_t(json.size()) &&
            std::fflush(stream) == 0;
        if (!written)
            say(QStringLiteral("%1: can't write the report: %2")
                    .arg(stream == stdout ? QStringLiteral("standard output")
                                          : QStringLiteral("standard error"),
                         qt_error_string(errno)));
        return written;
    }
    // A pipe or a device ("--json /dev/stderr", a shell's ">(...)") takes
    // the report as it comes: there is no folder beside it to make the
    // file in first.
    const bool stream = isStream(options.reportPath);
    QSaveFile saved(options.reportPath);
    QFile streamed(options.reportPath);
    QFileDevice &file = stream ? static_cast<QFileDevice &>(streamed) : saved;
    bool written = file.open(QIODevice::WriteOnly);
    // A write that stops part way (the disk filling up under it) gives no
    // reason; the rest, tried again, fails with the system's.
    for (qsizetype done = 0; written && done < json.size();) {
        const qint64 n = file.write(json.constData() + done, json.size() - done);
        written = n > 0;
        done += n;
    }
    written = written && flushWhole(file);
    if (!written || (!stream && !saved.commit())) {
        say(QStringLiteral("%1: can't write the report: %2")
                .arg(options.reportPath, file.errorString()));
        return false;
    }
    return true;
}
