#pragma once

#include "swf/catalogue.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// Reads converter documents into catalogues (readCatalogue) on a thread of
// its own, in the order they are given. Documents and catalogues change
// hands through its lock and are moved, never shared: the giver keeps no
// copy of a document, and the reader none of a catalogue it hands over.
class CatalogueReader
{
public:
    // `wake` runs on the reader's thread after each reading, with nothing
    // held: it should only ask the owner's thread to take what was read.
    explicit CatalogueReader(std::function<void()> wake);
    ~CatalogueReader();
    CatalogueReader(const CatalogueReader &) = delete;
    CatalogueReader &operator=(const CatalogueReader &) = delete;

    // Queues `xml` for reading under `ticket`; false when no thread could be
    // started (the caller then reads it itself).
    bool read(int ticket, QByteArray &&xml);
    // The catalogues read since the last call, in the order given.
    std::vector<std::pair<int, std::unique_ptr<Catalogue>>> take();
    // Forgets everything queued or read; a reading under way is dropped
    // when it ends.
    void clear();

private:
    void run();

    std::function<void()> wake;
    std::thread worker;
    std::mutex mutex;
    std::condition_variable queued;
    std::deque<std::pair<int, QByteArray>> waiting;
    std::vector<std::pair<int, std::unique_ptr<Catalogue>>> done;
    unsigned epoch = 0; // counts clear(): what a reading began under
    bool quitting = false;
};
