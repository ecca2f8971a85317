#include "dump/recorddecoder.h"

#include "dump/imagerecord.h"
#include "swf/bitmap.h"

#include <system_error>

RecordDecoder::~RecordDecoder()
{
    stop();
}

void RecordDecoder::start(const QList<ImageRecord *> &fileRecords)
{
    stop();
    records = fileRecords;
    decoded = 0;
    handed = 0;
    stopping = false;
    try {
        worker = std::thread(&RecordDecoder::run, this);
    } catch (const std::system_error &) {
        // No thread: next() decodes each record itself.
    }
}

void RecordDecoder::run()
{
    for (int i = 0; i < records.size(); ++i) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (stopping)
                return;
        }
        // Record i is not touched by the caller until it is handed over.
        ImageRecord *record = records.at(i);
        record->data = compressedBitmapData(record->data);
        {
            const std::lock_guard<std::mutex> lock(mutex);
            decoded = i + 1;
        }
        progress.notify_one();
    }
}

void RecordDecoder::next(ImageRecord *record)
{
    if (!worker.joinable()) {
        record->data = compressedBitmapData(record->data);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex);
    progress.wait(lock, [this] { return decoded > handed; });
    ++handed;
}

void RecordDecoder::stop()
{
    if (!worker.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    worker.join();
    records.clear();
}
