#pragma once

#include "swf/dumptypes.h"
#include "swf/dumpworkers.h"
#include "swf/parallelism.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <variant>
#include <vector>

// A conversion started on the pipeline's thread that reports its end there:
// the window's way, one converter process per file.
class ConversionStep
{
public:
    virtual ~ConversionStep() = default;
    // Starts converting `file`. The step hands the result to `done` exactly
    // once, on the pipeline's thread (possibly before start() returns),
    // unless cancel() comes first.
    virtual void start(const QString &file, std::function<void(ConversionResult)> done) = 0;
    // Ends the conversion under way, if any; its `done` is never called.
    virtual void cancel() = 0;
};

// Which frame labels a dump takes. A refused label ends the reading of its
// file with "Already Loaded".
class LabelPolicy
{
public:
    virtual ~LabelPolicy() = default;
    virtual bool accept(const QString &label) = 0;
    // A file with this label was taken and had resources.
    virtual void entered(const QString &label) = 0;
};

// Refuses a label that an earlier file of the run was listed under, as the
// window's folder scan does.
class RefuseLoadedLabels final : public LabelPolicy
{
public:
    bool accept(const QString &label) override { return !loaded.contains(label); }
    void entered(const QString &label) override { loaded.insert(label); }

private:
    QSet<QString> loaded;
};

// Decoded pixels a dump holds at most at once, over all its images in
// flight; a single larger image waits until it is alone.
constexpr qint64 kMaxPixelBytesInFlight = qint64(512) << 20;

struct DumpLimits {
    int workers = parallelJobs(); // images decoded and encoded at once
    qint64 maxPixelBytes = kMaxPixelBytesInFlight;
};

struct DumpOptions {
    DumpLayout layout = DumpLayout::Flat;
    // A file whose conversion fails ends the run there (its fileRead is the
    // last event), instead of counting as failed while the run goes on.
    bool stopAtFailedConversion = false;
    DumpLimits limits;
};

// Writes every named bitmap of a list of SWF files as PNG files. Files are
// converted in order, up to two at once (one when a failure stops the run),
// the next ones converted and read while the current one's images are
// encoded; images are decoded and encoded
// on worker threads, several at once, within DumpLimits. Whatever the order
// work finishes in, the pipeline reports in run order, exactly as a dump of
// one image at a time would: for each file fileRead (after its diagnostic
// lines: "Converting", the converter's status, the catalogue reading's),
// then imageDone for each image in record order, then fileDone; finished
// once all files are done. Two images meant for the same path are written
// in record order, so the later one's file stays.
//
// Lives on one thread (the pipeline's); its signals are emitted there. No
// file is ever left half-written: an image is written whole or not at all.
class DumpPipeline : public QObject
{
    Q_OBJECT

public:
    DumpPipeline(std::unique_ptr<ConversionStep> conversion, DumpOptions options = {},
                 QObject *parent = nullptr);
    DumpPipeline(InProcessConversion conversion, DumpOptions options = {},
                 QObject *parent = nullptr);
    // Aborts the run, if any.
    ~DumpPipeline() override;

    // Which labels are taken (by default every one). Set before start().
    void setLabelPolicy(std::unique_ptr<LabelPolicy> policy);

    // Starts the run over `files` (as the conversion step names them) into
    // `outputFolder`. Once per pipeline.
    void start(const QStringList &files, const QString &outputFolder);
    // Stops the run: nothing more is converted or handed out, the images
    // being encoded are finished (waited for) and stay, and no event follows.
    void abort();
    // After abort(): the files whose images were being written, each with
    // what became of its images so far (the images finished while stopping
    // included), in run order; files with no image done are left out.
    QList<FileOutcome> stoppedFiles() const;

signals:
    void fileRead(const FileOutcome &file);
    void imageDone(const ImageOutcome &image);
    void fileDone(const FileOutcome &file);
    void finished(const DumpSummary &summary);

private slots:
    // Takes what the workers finished; they ask for it once at a time.
    void collect();

private:
    // One file of the run, from its conversion to its last event.
    struct File {
        QString name;
        bool conversionStarted = false;
        bool read = false;          // converted and read, or failed: ready to plan
        bool planned = false;       // its label decided and its images queued
        bool announced = false;     // its "Converting" line written
        bool readDelivered = false; // its fileRead emitted
        bool fileDelivered = false; // its fileDone emitted
        bool labelAccepted = true;
        bool folderMade = false; // its label folder was made by this run
        QString folderError;     // why its label folder couldn't be made
        // Kept until its images are done: their texts lie in its document.
        std::optional<Catalogue> catalogue;
        qsizetype documentBytes = 0;
        FileOutcome outcome;
        std::vector<std::optional<ImageOutcome>> results; // by image, until delivered
        int delivered = 0;                                // images whose imageDone was emitted
        int undispatched = 0;                             // images not yet handed to a worker
    };

    DumpPipeline(DumpOptions options, QObject *parent);
    void pump();
    void startConversions();
    bool readingAhead() const;
    void converted(int file, ConversionResult result);
    void read(ReadDone done);
    void plan(File &file);
    void dispatch();
    void finishImage(ImageDone done);
    void deliver();
    bool deliverFile(File &file);

    std::variant<std::unique_ptr<ConversionStep>, InProcessConversion> conversion;
    DumpOptions options;
    std::unique_ptr<LabelPolicy> labels;
    QString outputFolder;
    QSet<QString> folderNames; // label folders given out so far, by fileNameKey()
    // Image paths given out (without ".png"), each with the name it went to,
    // as hashes of their fileNameKey() and of the name: in the current label
    // folder, or in the whole flat folder.
    QHash<size_t, size_t> imagePaths;

    std::vector<File> files;
    int nextToConvert = 0;
    int nextToPlan = 0;
    int nextToDeliver = 0;
    int converting = 0;              // conversions and readings under way
    int stopAfter = -1;              // the failed file that ends the run, if any
    std::deque<ImageJob> pending;    // planned images not yet handed out
    std::multiset<size_t> busyPaths; // hashes of the keys of the paths being written
    int inFlight = 0;
    qint64 pixelBytesInFlight = 0;
    DumpSummary summary;

    std::unique_ptr<DumpWorkers> workers;
    bool started = false;
    bool ended = false; // finished emitted
    bool aborted = false;
    bool pumping = false;
    bool pumpAgain = false;
};
