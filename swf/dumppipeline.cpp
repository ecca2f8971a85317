#include "swf/dumppipeline.h"

#include "swf/bitmap.h"
#include "swf/imageoutput.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>

void FileOutcome::count(const ImageOutcome &image)
{
    if (image.written())
        ++written;
    else
        failures.append(image);
}

int DumpSummary::images() const
{
    int count = 0;
    for (const FileOutcome &file : files)
        count += file.images;
    return count;
}

int DumpSummary::imagesFailed() const
{
    int count = 0;
    for (const FileOutcome &file : files)
        count += int(file.failures.size());
    return count;
}

QList<FileOutcome> DumpSummary::notConverted() const
{
    QList<FileOutcome> failed;
    for (const FileOutcome &file : files) {
        if (!file.converted())
            failed.append(file);
    }
    return failed;
}

namespace
{

// Files open at once, from the one whose images are being handed out to
// those converted or read ahead of it while it is encoded.
constexpr int kOpenFiles = 4;
// Converter documents held ahead at most; a larger one is read only once
// the files before it are done.
constexpr qint64 kMaxDocumentBytesAhead = qint64(256) << 20;

// Bytes of the image a bitmap decodes to; 0 when none is made.
qint64 decodedBytes(int width, int height)
{
    if (width <= 0 || height <= 0 || qint64(width) * height > kMaxBitmapPixels)
        return 0;
    return qint64(width) * height * 4;
}

// `base`, or the first of "base (2)", "base (3)"... that `taken` doesn't
// refuse.
template <typename Taken> QString firstFree(const QString &base, Taken taken)
{
    QString name = base;
    for (int n = 2; taken(name); ++n)
        name = base + QStringLiteral(" (%1)").arg(n);
    return name;
}

// Decides on a file ahead of its turn, without a line written: takes or
// refuses its label, gives it its folder and makes one job per bitmap.
class PlanningHandler final : public CatalogueHandler
{
public:
    PlanningHandler(LabelPolicy *labels, std::function<QString(const QString &)> folderFor,
                    QHash<size_t, size_t> *imagePaths)
        : labels(labels), folderFor(std::move(folderFor)), imagePaths(imagePaths)
    {
    }

    bool acceptLabel(const QString &label) override
    {
        accepted = !labels || labels->accept(label);
        return accepted;
    }
    void beginEntry(const QString &label) override
    {
        if (labels)
            labels->entered(label);
        folder = folderFor(label);
    }
    void addBitmap(const QualifyingBitmap &bitmap) override
    {
        ImageJob job;
        job.name = bitmap.name;
        job.text = bitmap.dumpText(QualifyingBitmap::Copy::WhenNeeded);
        job.width = bitmap.width;
        job.height = bitmap.height;
        job.path = pathFor(bitmap.name, job.pathHash) + QStringLiteral(".png");
        jobs.push_back(std::move(job));
    }

    bool accepted = true;
    QString folder;
    std::vector<ImageJob> jobs;

private:
    // The image's path without ".png". Two images of the same name share
    // it, the later one's file replacing the earlier; a name that is only
    // made the same by safeFileName(), or only differs from another in case,
    // gets " (2)", " (3)"... instead. `keyHash` is set to the hash of the
    // path's fileNameKey().
    QString pathFor(const QString &name, size_t &keyHash) const
    {
        const size_t nameHash = qHash(name);
        // The last candidate tried is the one taken.
        const QString path =
            firstFree(folder + QDir::separator() + safeFileName(name),
                      [this, nameHash, &keyHash](const QString &candidate) {
                          keyHash = qHash(fileNameKey(candidate));
                          const auto taken = imagePaths->constFind(keyHash);
                          return taken != imagePaths->constEnd() && *taken != nameHash;
                      });
        imagePaths->insert(keyHash, nameHash);
        return path;
    }

    LabelPolicy *labels;
    std::function<QString(const QString &)> folderFor;
    QHash<size_t, size_t> *imagePaths;
};

// Gives the decision made ahead back when the file's turn comes and the
// reading writes its lines.
class DecidedHandler final : public CatalogueHandler
{
public:
    explicit DecidedHandler(bool accepted) : accepted(accepted) {}
    bool acceptLabel(const QString &) override { return accepted; }
    void beginEntry(const QString &) override {}
    void addBitmap(const QualifyingBitmap &) override {}

private:
    bool accepted;
};

} // namespace

DumpPipeline::DumpPipeline(DumpOptions options, QObject *parent)
    : QObject(parent), options(std::move(options))
{
    this->options.limits.workers = std::clamp(this->options.limits.workers, 1, 64);
}

DumpPipeline::DumpPipeline(std::unique_ptr<ConversionStep> step, DumpOptions options,
                           QObject *parent)
    : DumpPipeline(std::move(options), parent)
{
    conversion = std::move(step);
}

DumpPipeline::DumpPipeline(InProcessConversion convert, DumpOptions options, QObject *parent)
    : DumpPipeline(std::move(options), parent)
{
    conversion = std::move(convert);
}

DumpPipeline::~DumpPipeline()
{
    abort();
}

void DumpPipeline::setLabelPolicy(std::unique_ptr<LabelPolicy> policy)
{
    labels = std::move(policy);
}

void DumpPipeline::start(const QStringList &names, const QString &folder)
{
    if (started || aborted)
        return;
    started = true;
    outputFolder = folder;
    files.resize(size_t(names.size()));
    for (int i = 0; i < int(names.size()); ++i) {
        files[size_t(i)].name = names.at(i);
        files[size_t(i)].outcome.index = i;
        files[size_t(i)].outcome.file = names.at(i);
    }
    const auto *inProcess = std::get_if<InProcessConversion>(&conversion);
    workers = std::make_unique<DumpWorkers>(options.limits.workers, this, "collect",
                                            inProcess ? *inProcess : InProcessConversion());
    pump();
}

void DumpPipeline::abort()
{
    if (aborted)
        return;
    aborted = true;
    if (auto *step = std::get_if<std::unique_ptr<ConversionStep>>(&conversion); step && *step)
        (*step)->cancel();
    if (workers) {
        workers->stop();
        // The images that ended meanwhile are on disk: count them.
        for (DumpWorkers::Done &done : workers->take()) {
            if (auto *image = std::get_if<ImageDone>(&done))
                finishImage(std::move(*image));
        }
    }
    pending.clear();
    // Folders made ahead for images that were never written go again;
    // rmdir() leaves any that holds a file.
    for (const File &file : files) {
        if (file.folderMade)
            QDir().rmdir(file.outcome.folder);
    }
}

QList<FileOutcome> DumpPipeline::stoppedFiles() const
{
    QList<FileOutcome> stopped;
    for (int i = nextToDeliver; i < int(files.size()); ++i) {
        const File &file = files[size_t(i)];
        if (file.fileDelivered)
            continue;
        FileOutcome outcome = file.outcome;
        for (size_t k = size_t(file.delivered); k < file.results.size(); ++k) {
            if (const std::optional<ImageOutcome> &image = file.results[k])
                outcome.count(*image);
        }
        if (outcome.written > 0 || !outcome.failures.isEmpty())
            stopped.append(std::move(outcome));
    }
    return stopped;
}

void DumpPipeline::collect()
{
    if (aborted || !workers)
        return;
    if (workers->unthreaded())
        workers->runQueued();
    for (DumpWorkers::Done &done : workers->take()) {
        if (auto *reading = std::get_if<ReadDone>(&done))
            read(std::move(*reading));
        else
            finishImage(std::move(std::get<ImageDone>(done)));
    }
    pump();
}

// Moves every stage on as far as it can go. Re-entered from an event it
// emits (a handler's message box runs the event loop, a conversion may end
// at once), it only asks the running pass for another round.
void DumpPipeline::pump()
{
    if (pumping) {
        pumpAgain = true;
        return;
    }
    pumping = true;
    do {
        pumpAgain = false;
        if (aborted)
            break;
        while (nextToPlan < int(files.size()) && files[size_t(nextToPlan)].read)
            plan(files[size_t(nextToPlan++)]);
        startConversions();
        dispatch();
        deliver();
        // Files read ahead of a slower one before them may have been done
        // here at once (no images): the room they leave must not wait for
        // an event that may never come.
        startConversions();
    } while (pumpAgain);
    pumping = false;
}

bool DumpPipeline::readingAhead() const
{
    int open = 0;
    qint64 held = 0;
    for (int i = nextToDeliver; i < nextToConvert; ++i) {
        const File &file = files[size_t(i)];
        if (!file.planned || file.undispatched > 0)
            ++open;
        held += file.documentBytes;
    }
    return open >= kOpenFiles || held >= kMaxDocumentBytesAhead;
}

void DumpPipeline::startConversions()
{
    // Two at once, so that one converter's start or a busy core doesn't
    // leave the workers waiting; one when a failure ends the run, so that
    // nothing after it is converted.
    const int most = options.stopAtFailedConversion ? 1 : 2;
    while (converting < most && nextToConvert < int(files.size()) && stopAfter < 0 && !aborted &&
           !readingAhead()) {
        const int index = nextToConvert++;
        File &file = files[size_t(index)];
        file.conversionStarted = true;
        ++converting;
        if (auto *step = std::get_if<std::unique_ptr<ConversionStep>>(&conversion))
            (*step)->start(file.name, [this, index](ConversionResult result) {
                converted(index, std::move(result));
            });
        else
            workers->submit(ReadJob{index, {}, file.name});
    }
}

void DumpPipeline::converted(int index, ConversionResult result)
{
    if (aborted)
        return;
    File &file = files[size_t(index)];
    if (result.converted()) {
        QByteArray document = std::move(result.document);
        result.document = QByteArray();
        file.outcome.conversion = std::move(result);
        workers->submit(ReadJob{index, std::move(document), {}});
    } else {
        file.outcome.conversion = std::move(result);
        read(ReadDone{index, {}, std::nullopt, 0});
    }
    pump();
}

void DumpPipeline::read(ReadDone done)
{
    File &file = files[size_t(done.file)];
    --converting;
    if (done.conversion)
        file.outcome.conversion = std::move(*done.conversion);
    if (file.outcome.converted()) {
        file.catalogue = std::move(done.catalogue);
        file.documentBytes = done.documentBytes;
    } else if (options.stopAtFailedConversion) {
        stopAfter = done.file;
    }
    file.read = true;
}

void DumpPipeline::plan(File &file)
{
    file.planned = true;
    FileOutcome &outcome = file.outcome;
    if (!outcome.converted())
        return;
    // A label folder belongs to one file: the names given out before it
    // can't meet its own.
    if (options.layout != DumpLayout::Flat)
        imagePaths.clear();
    PlanningHandler planning(
        labels.get(),
        [this](const QString &label) {
            if (options.layout == DumpLayout::Flat)
                return outputFolder;
            // Labels that make the same name, or names that only differ in
            // case: the later ones get " (2)", " (3)"...
            const QString name = firstFree(safeFileName(label), [this](const QString &candidate) {
                return folderNames.contains(fileNameKey(candidate));
            });
            folderNames.insert(fileNameKey(name));
            return outputFolder + QDir::separator() + name;
        },
        &imagePaths);
    outcome.reading = replayCatalogue(*file.catalogue, planning, CatalogueLines::Quiet);
    file.labelAccepted = planning.accepted;
    outcome.label = file.catalogue->label;
    outcome.folder = planning.folder;
    // The jobs now hold the names the bitmaps held: once handed out, nothing
    // of them is shared with this thread.
    file.catalogue->bitmaps.clear();

    const int count = int(planning.jobs.size());
    outcome.images = count;
    file.results.resize(size_t(count));
    file.undispatched = count;
    for (int i = 0; i < count; ++i) {
        ImageJob &job = planning.jobs[size_t(i)];
        job.file = outcome.index;
        job.index = i;
        job.count = count;
        job.pixelBytes = decodedBytes(job.width, job.height);
        pending.push_back(std::move(job));
    }
}

// Hands out images in record order while the decoded pixels fit; an image
// larger than the cap goes out alone. Each worker has more images waiting
// for it, so that it goes on at once rather than waiting for this thread to
// hand out the next; only a worker decodes, so no more images
// than workers are decoded at once, and the cap counts the waiting ones
// too. An image whose path is still being written waits for that write, so
// the later file stays.
void DumpPipeline::dispatch()
{
    while (!pending.empty() && inFlight < DumpWorkers::kImagesPerWorker * options.limits.workers) {
        ImageJob &next = pending.front();
        if (inFlight > 0 && pixelBytesInFlight + next.pixelBytes > options.limits.maxPixelBytes)
            break;
        if (busyPaths.count(next.pathHash) > 0)
            break;
        // A label's folder is made as its first image goes out. When it
        // can't be, its images say why, not what opening a file in the
        // missing folder would.
        File &file = files[size_t(next.file)];
        if (next.index == 0 && options.layout == DumpLayout::FolderPerLabel &&
            !QFileInfo::exists(file.outcome.folder)) {
            errno = 0;
            file.folderMade = QDir().mkpath(file.outcome.folder);
            if (!file.folderMade)
                file.folderError =
                    QStringLiteral("the folder can't be made: %1")
                        .arg(errno ? qt_error_string(errno) : QStringLiteral("unknown reason"));
        }
        next.folderError = file.folderError;
        ++inFlight;
        pixelBytesInFlight += next.pixelBytes;
        busyPaths.insert(next.pathHash);
        summary.peakImages = std::max(summary.peakImages, inFlight);
        summary.peakPixelBytes = std::max(summary.peakPixelBytes, pixelBytesInFlight);
        --files[size_t(next.file)].undispatched;
        workers->submit(std::move(next));
        pending.pop_front();
    }
}

void DumpPipeline::finishImage(ImageDone done)
{
    --inFlight;
    pixelBytesInFlight -= done.pixelBytes;
    busyPaths.erase(busyPaths.find(done.pathHash));
    File &file = files[size_t(done.outcome.file)];
    file.results[size_t(done.outcome.index)] = std::move(done.outcome);
}

void DumpPipeline::deliver()
{
    while (nextToDeliver < int(files.size())) {
        if (!deliverFile(files[size_t(nextToDeliver)]))
            return;
        ++nextToDeliver;
    }
    if (!ended) {
        ended = true;
        emit finished(summary);
    }
}

// Emits what is ready of one file's events, in their order; true once all
// of them are out.
bool DumpPipeline::deliverFile(File &file)
{
    FileOutcome &outcome = file.outcome;
    if (!file.announced) {
        if (!file.conversionStarted)
            return false;
        qDebug() << "Converting" << file.name;
        file.announced = true;
    }
    if (!file.readDelivered) {
        if (!file.planned)
            return false;
        if (outcome.conversion.ended)
            qDebug() << "swfmill exited with status" << outcome.conversion.exitCode;
        if (outcome.converted()) {
            DecidedHandler decided(file.labelAccepted);
            replayCatalogue(*file.catalogue, decided);
        }
        file.readDelivered = true;
        emit fileRead(outcome);
        if (aborted || outcome.index == stopAfter)
            return false;
    }
    while (file.delivered < outcome.images) {
        std::optional<ImageOutcome> &result = file.results[size_t(file.delivered)];
        if (!result)
            return false;
        const ImageOutcome image = std::move(*result);
        result.reset();
        ++file.delivered;
        outcome.count(image);
        emit imageDone(image);
        if (aborted)
            return false;
    }
    file.catalogue.reset();
    file.documentBytes = 0;
    file.results = {};
    file.fileDelivered = true;
    summary.files.append(outcome);
    emit fileDone(outcome);
    return !aborted;
}
