#include "swf/dumpworkers.h"

#include "swf/bitmap.h"
#include "swf/imageoutput.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QObject>

#include <algorithm>
#include <system_error>

DumpWorkers::DumpWorkers(int count, QObject *receiver, const char *method,
                         InProcessConversion conversion)
    : receiver(receiver), method(method), conversion(std::move(conversion))
{
    for (int i = 0; i < count; ++i) {
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
    {
        const std::lock_guard<std::mutex> lock(mutex);
        jobs.push_back(std::move(job));
    }
    if (unthreaded())
        askReceiver();
    else
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
    const std::lock_guard<std::mutex> lock(mutex);
    results.clear();
}

void DumpWorkers::runQueued()
{
    Job job;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (jobs.empty() || stopping)
            return;
        job = std::move(jobs.front());
        jobs.pop_front();
    }
    finish(perform(std::move(job)));
}

void DumpWorkers::run()
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (stopping)
                return;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        finish(perform(std::move(job)));
    }
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

ImageDone performImage(ImageJob job)
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
        } else {
            if (job.makeFolder)
                QDir().mkpath(QFileInfo(outcome.path).path());
            outcome.failure = writePng(std::move(image), outcome.path).error;
        }
    }
    return done;
}

} // namespace

DumpWorkers::Done DumpWorkers::perform(Job job) const
{
    if (auto *read = std::get_if<ReadJob>(&job))
        return performRead(std::move(*read), conversion);
    return performImage(std::move(std::get<ImageJob>(job)));
}

void DumpWorkers::finish(Done done)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (stopping)
            return;
        results.push_back(std::move(done));
    }
    askReceiver();
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
