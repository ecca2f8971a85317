#include "swf/conversionqueue.h"

#include "swf/cataloguereader.h"
#include "swf/conversionjob.h"
#include "swf/converter.h"
#include "swf/parallelism.h"

#include <QMetaObject>

// One file in flight, from its start until its end is taken. The file at
// index i of the list takes slot i % jobs().
struct ConversionQueue::Slot {
    ConversionJob job;
    End end;
    int index = -1;
    bool settled = false; // the end is complete: it can be taken
    // Its output went over its share of the cap: converted again, with the
    // whole cap, once its turn comes.
    bool deferred = false;
};

ConversionQueue::ConversionQueue(QObject *parent) : QObject(parent)
{
    setJobs(parallelJobs());
}

ConversionQueue::~ConversionQueue()
{
    stop();
    // The reader's thread ends before the object it wakes.
    reader.reset();
}

void ConversionQueue::setJobs(int count)
{
    stop();
    places.clear();
    for (int i = 0; i < std::max(count, 1); ++i) {
        places.push_back(std::make_unique<Slot>());
        Slot *slot = places.back().get();
        connect(&slot->job, &ConversionJob::finished, this,
                [this, slot](int exitCode, QProcess::ExitStatus status) {
                    converted(slot->index, exitCode, status);
                });
        connect(&slot->job, &ConversionJob::errorOccurred, this,
                [this, slot](QProcess::ProcessError error) {
                    // Any other error is followed by the run's end.
                    if (error == QProcess::FailedToStart)
                        notStarted(slot->index);
                });
    }
}

void ConversionQueue::start(const QStringList &list)
{
    stop();
    files = list;
    startMore();
}

void ConversionQueue::stop()
{
    for (const auto &slot : places) {
        slot->job.stop();
        slot->end = End();
        slot->index = -1;
        slot->settled = false;
        slot->deferred = false;
    }
    if (reader)
        reader->clear();
    files.clear();
    started = 0;
    handed = 0;
    ++generation;
}

std::optional<ConversionQueue::End> ConversionQueue::takeNext()
{
    if (handed == started || !placeOf(handed).settled)
        return std::nullopt;
    Slot &slot = placeOf(handed);
    End end = std::move(slot.end);
    slot.end = End();
    slot.index = -1;
    slot.settled = false;
    ++handed;
    startMore();
    if (handed < started && placeOf(handed).deferred)
        convertAgain(handed);
    return end;
}

void ConversionQueue::convertAgain(int index)
{
    // From the event loop: the job may be inside its own signal here, and a
    // start() inside takeNext() could report before it returns.
    QMetaObject::invokeMethod(
        this,
        [this, index, list = generation] {
            if (generation != list)
                return;
            Slot &slot = placeOf(index);
            slot.deferred = false;
            slot.job.start(slot.end.file);
        },
        Qt::QueuedConnection);
}

void ConversionQueue::startMore()
{
    while (started < files.size() && started - handed < jobs()) {
        const int index = started++;
        Slot &slot = placeOf(index);
        slot.index = index;
        slot.end.file = files.at(index);
        // Each file ahead of its turn may hold a share of the output cap, the
        // file whose turn it is the whole cap: a folder of files that
        // convert to gigabytes costs at most twice the cap at any number of
        // jobs, not the cap once a job.
        const qint64 cap = Converter::maxOutputBytes();
        // A converter that can't be found may be reported from inside start().
        slot.job.start(slot.end.file, index == handed ? cap : cap / jobs());
    }
}

void ConversionQueue::converted(int index, int exitCode, QProcess::ExitStatus status)
{
    Slot &slot = placeOf(index);
    if (slot.job.overflowed() && slot.job.limited()) {
        slot.deferred = true;
        if (index == handed)
            convertAgain(index);
        return;
    }
    slot.end.exitCode = exitCode;
    if (exitCode != 0 || status != QProcess::NormalExit || slot.job.overflowed()) {
        slot.end.failure = slot.job.failureText(exitCode, status);
        settle(index);
        return;
    }
    if (!reader) {
        reader = std::make_unique<CatalogueReader>([this] {
            QMetaObject::invokeMethod(this, &ConversionQueue::takeCatalogues, Qt::QueuedConnection);
        });
    }
    QByteArray xml = slot.job.takeOutput();
    if (!reader->read(index, std::move(xml))) {
        slot.end.catalogue = std::make_unique<Catalogue>(readCatalogue(xml));
        settle(index);
    }
}

void ConversionQueue::notStarted(int index)
{
    placeOf(index).end.started = false;
    placeOf(index).settled = true;
    // Possibly inside start() or takeNext(): the news waits for the event loop.
    if (index == handed)
        QMetaObject::invokeMethod(this, &ConversionQueue::nextReady, Qt::QueuedConnection);
}

void ConversionQueue::takeCatalogues()
{
    const unsigned list = generation;
    for (auto &[index, catalogue] : reader->take()) {
        // Taking an end may have ended the list (stop()) in between.
        if (generation != list)
            return;
        placeOf(index).end.catalogue = std::move(catalogue);
        settle(index);
    }
}

void ConversionQueue::settle(int index)
{
    placeOf(index).settled = true;
    if (index == handed)
        emit nextReady();
}
