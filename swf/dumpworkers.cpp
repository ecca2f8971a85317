#include "swf/dumpworkers.h"

#include "swf/bitmap.h"
#include "swf/imageoutput.h"

#include <QImage>
#include <QObject>

#include <algorithm>
#include <system_error>

namespace
{

// One thread per worker decodes and encodes; the others wait for the disk.
constexpr int kThreadsPerWorker = 4;

// A job that took this long has its result taken at once.
constexpr std::chrono::milliseconds kLongJob{20};

} // namespace

DumpWorkers::DumpWorkers(int count, QObject *receiver, const char *method,
                         InProcessConversion conversion)
    : receiver(receiver), method(method), conversion(std::move(conversion)), maxDecoding(count)
{
    // The list of threads is read by the thread that owns the workers only.
    threads.reserve(size_t(kThreadsPerWorker * count));
    for (int i = 0; i < kThreadsPerWorker * count; ++i) {
        try {
            threads.emplace_back(&DumpWorkers::run, this);
        } catch (const std::system_error &) {
            break; // fewer threads; with none, the receiver runs the jobs
        }
    }
}

DumpWorkers::~DumpWorkers()
{
    stop();
}

void DumpWorkers::submit(ReadJob job)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        // After the readings already waiting, before every image.
        const auto firstImage = std::find_if(jobs.begin(), jobs.end(), [](const Job &queued) {
            return std::holds_alternative<ImageJob>(queued);
        });
        jobs.insert(firstImage, std::move(job));
    }
    if (unthreaded())
        askReceiver();
    else
        wake.notify_one();
}

void DumpWorkers::submit(ImageJob job)
{
    bool takeable = false;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        jobs.push_back(std::move(job));
        // Otherwise the next image to end its decoding wakes a thread.
        takeable = decoding < maxDecoding;
    }
    if (unthreaded())
        askReceiver();
    else if (takeable)
        wake.notify_one();
}

std::vector<DumpWorkers::Done> DumpWorkers::take()
{
    std::vector<Done> taken;
    bool more = false;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        taken.swap(results);
        asked = false;
        more = unthreaded() && !jobs.empty() && !stopping;
    }
    if (more)
        askReceiver();
    return taken;
}

void DumpWorkers::stop()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        jobs.clear();
    }
    wake.notify_all();
    for (std::thread &thread : threads)
        thread.join();
    threads.clear();
}

void DumpWorkers::runQueued()
{
    Job job;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (jobs.empty() || stopping)
            return;
        job = takeJob();
    }
    complete(std::move(job));
}

void DumpWorkers::run()
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return stopping || ready(); });
            if (stopping)
                return;
            job = takeJob();
        }
        complete(std::move(job));
    }
}

DumpWorkers::Job DumpWorkers::takeJob()
{
    Job job = std::move(jobs.front());
    jobs.pop_front();
    if (std::holds_alternative<ImageJob>(job))
        ++decoding;
    return job;
}

bool DumpWorkers::ready() const
{
    return !jobs.empty() &&
           (std::holds_alternative<ReadJob>(jobs.front()) || decoding < maxDecoding);
}

void DumpWorkers::endDecoding()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        --decoding;
    }
    wake.notify_one();
}

namespace
{

ReadDone performRead(ReadJob job, const InProcessConversion &conversion)
{
    ReadDone done{job.file, {}, std::nullopt};
    if (!job.convert.isEmpty()) {
        ConversionResult result = conversion(job.convert);
        job.document = std::move(result.document);
        result.document = QByteArray();
        const bool converted = result.converted();
        done.conversion = std::move(result);
        if (!converted)
            return done;
    }
    done.catalogue = readCatalogue(job.document);
    done.documentBytes = job.document.size();
    return done;
}

// Decodes and writes one image; `decoded` is called once the image is gone
// (encoded, or never made), before the file is committed.
ImageDone performImage(ImageJob job, const std::function<void()> &decoded)
{
    ImageDone done{{job.file, job.index, job.count, std::move(job.name), std::move(job.path), {}},
                   job.pixelBytes,
                   job.pathHash};
    ImageOutcome &outcome = done.outcome;
    if (job.width <= 0 || job.height <= 0) {
        outcome.failure = QStringLiteral("no pixels (%1 x %2)").arg(job.width).arg(job.height);
    } else if (qint64(job.width) * job.height > kMaxBitmapPixels) {
        outcome.failure = QStringLiteral("larger than 8191 x 8191 pixels");
    } else {
        QImage image = dumpImage(job.text, job.width, job.height);
        if (image.isNull()) {
            outcome.failure = QStringLiteral("data can't be decoded");
        } else if (!job.folderError.isEmpty()) {
            outcome.failure = job.folderError;
        } else {
            PngFile file(outcome.path);
            outcome.failure = file.encode(std::move(image)).error;
            decoded();
            if (outcome.written())
                outcome.failure = file.commit().error;
            return done;
        }
    }
    decoded();
    return done;
}

} // namespace

DumpWorkers::Done DumpWorkers::perform(Job job)
{
    if (auto *read = std::get_if<ReadJob>(&job))
        return performRead(std::move(*read), conversion);
    return performImage(std::move(std::get<ImageJob>(job)), [this] { endDecoding(); });
}

void DumpWorkers::complete(Job job)
{
    const auto began = Clock::now();
    Done done = perform(std::move(job));
    const Clock::duration took = Clock::now() - began;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        results.push_back(std::move(done));
        if (stopping || !resultsWanted(took))
            return;
    }
    askReceiver();
}

bool DumpWorkers::resultsWanted(Clock::duration took) const
{
    // Waking the receiver for every small image would cost it more than the
    // image does. Every job ends in a result, so once the waiting images
    // fall to the mark, each one's end asks: the last result never waits.
    // Nor does the end of a long job, so that progress keeps up with large
    // images.
    if (std::holds_alternative<ReadDone>(results.back()))
        return true;
    return jobs.size() <= size_t(maxDecoding) * (kImagesPerWorker / 2) || took >= kLongJob;
}

void DumpWorkers::askReceiver()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (asked)
            return;
        asked = true;
    }
    QMetaObject::invokeMethod(receiver, method, Qt::QueuedConnection);
}
