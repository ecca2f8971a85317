#pragma once

#include "swf/catalogue.h"
#include "swf/dumptypes.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

class QObject;

// One image to decode and write: everything a worker needs, its own.
struct ImageJob {
    int file = 0;
    int index = 0;
    int count = 0;
    QString name;
    QString path;
    QByteArray text; // base64 text; may lie in its file's document
    int width = 0;
    int height = 0;
    qint64 pixelBytes = 0; // size of its decoded image; 0 when none is made
    size_t pathHash = 0;   // of its path's fileNameKey(), without ".png"
    // Why its folder couldn't be made, if it couldn't: then it isn't written.
    QString folderError;
};

// One file to read, converting it first when the conversion runs in process.
struct ReadJob {
    int file = 0;
    QByteArray document;
    QString convert; // the file to convert first, or empty
};

struct ReadDone {
    int file = 0;
    Catalogue catalogue;
    std::optional<ConversionResult> conversion; // when converted here
    qsizetype documentBytes = 0;
};

struct ImageDone {
    ImageOutcome outcome;
    qint64 pixelBytes = 0;
    size_t pathHash = 0;
};

// The threads of a dump. `count` of them at most decode and encode an image
// at once; three times as many more can wait meanwhile for the disk to take
// a file they have encoded, their image gone, so that a file system slow to
// sync each file has several syncs under way. Jobs are moved in and results
// moved out under one mutex; when a result is ready and none is waiting to
// be taken, the receiver's `method` is invoked (queued, without arguments)
// on its own thread, which then takes every result there is. While many
// images still wait, results of images are left to gather: the receiver is
// asked once fewer wait, a reading is done, or an image took long. Readings
// go ahead of images.
class DumpWorkers
{
public:
    using Done = std::variant<ReadDone, ImageDone>;

    // Images an owner hands out at most per worker: the one it works on and
    // the next ones, so that it goes on while the owner's thread is away.
    // That thread can be away for milliseconds (starting a converter, a
    // dialog's painting, waiting for a core the workers hold), and a small
    // asset image takes a fraction of one: with four, two workers were left
    // idle a sixth of the time over many small files. Waiting images hold no
    // pixels (only a worker decodes). The receiver is asked for results once
    // at most half of them wait.
    static constexpr int kImagesPerWorker = 16;

    // Starts up to four times `count` threads; with none, jobs wait for
    // runQueued().
    DumpWorkers(int count, QObject *receiver, const char *method,
                InProcessConversion conversion = {});
    // Stops, as stop() does.
    ~DumpWorkers();
    DumpWorkers(const DumpWorkers &) = delete;
    DumpWorkers &operator=(const DumpWorkers &) = delete;

    void submit(ReadJob job);
    void submit(ImageJob job);
    // The results finished since the last call.
    std::vector<Done> take();
    // Drops the jobs not yet begun and waits for those being done; what they
    // did can still be taken, but the receiver is no longer asked to.
    void stop();

    // Whether no thread could be started: the receiver then runs the jobs
    // itself, one per call, on its own thread.
    bool unthreaded() const { return threads.empty(); }
    void runQueued();

private:
    using Job = std::variant<ReadJob, ImageJob>;

    void run();
    // Whether a thread may take the next job: a reading, or an image while
    // fewer than `count` are being decoded and encoded.
    bool ready() const;
    // The next job, under the lock; an image counts as being decoded from
    // here.
    Job takeJob();
    void endDecoding();
    Done perform(Job job);
    using Clock = std::chrono::steady_clock;

    // Performs a job taken and hands its result over.
    void complete(Job job);
    void askReceiver();
    // Under the lock, a result just added, of a job that took `took`:
    // whether the receiver is to be asked for the results.
    bool resultsWanted(Clock::duration took) const;

    QObject *receiver;
    const char *method;
    const InProcessConversion conversion;
    std::vector<std::thread> threads;

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    std::vector<Done> results;
    int decoding = 0; // images being decoded and encoded
    int maxDecoding;
    bool asked = false; // the receiver was asked to take results
    bool stopping = false;
};
