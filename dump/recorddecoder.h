#pragma once

#include <QList>

#include <condition_variable>
#include <mutex>
#include <thread>

struct ImageRecord;

// Turns the base64 text of a file's image records into their compressed
// data, in record order, on a thread of its own, while the dialog inflates
// and writes the images before them. Only compressed data is made ahead
// (less than the text it replaces), never an image.
class RecordDecoder
{
public:
    RecordDecoder() = default;
    ~RecordDecoder();
    RecordDecoder(const RecordDecoder &) = delete;
    RecordDecoder &operator=(const RecordDecoder &) = delete;

    // Starts on the records of one file, which stay the caller's: it takes
    // them in this order through next(), and deletes none before next() has
    // handed it over (or stop() has returned).
    void start(const QList<ImageRecord *> &records);
    // The next record in order, its data now the compressed data; decoded
    // here when no thread could be started.
    void next(ImageRecord *record);
    // Ends the thread; the records not yet handed over keep what they hold.
    void stop();

private:
    void run();

    QList<ImageRecord *> records;
    std::thread worker;
    std::mutex mutex;
    std::condition_variable progress;
    int decoded = 0; // records whose data is compressed
    int handed = 0;  // records handed over by next()
    bool stopping = false;
};
