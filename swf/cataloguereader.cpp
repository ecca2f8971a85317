#include "swf/cataloguereader.h"

#include <system_error>

CatalogueReader::CatalogueReader(std::function<void()> wake) : wake(std::move(wake)) {}

CatalogueReader::~CatalogueReader()
{
    if (!worker.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        quitting = true;
    }
    queued.notify_one();
    worker.join();
}

bool CatalogueReader::read(int ticket, QByteArray &&xml)
{
    if (!worker.joinable()) {
        try {
            worker = std::thread(&CatalogueReader::run, this);
        } catch (const std::system_error &) {
            return false;
        }
    }
    {
        const std::lock_guard<std::mutex> lock(mutex);
        waiting.emplace_back(ticket, std::move(xml));
    }
    queued.notify_one();
    return true;
}

std::vector<std::pair<int, std::unique_ptr<Catalogue>>> CatalogueReader::take()
{
    const std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(done, {});
}

void CatalogueReader::clear()
{
    std::deque<std::pair<int, QByteArray>> dropped;
    std::vector<std::pair<int, std::unique_ptr<Catalogue>>> droppedRead;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        ++epoch;
        dropped.swap(waiting);
        droppedRead.swap(done);
    }
    // Freed outside the lock.
}

void CatalogueReader::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        queued.wait(lock, [this] { return quitting || !waiting.empty(); });
        if (quitting)
            return;
        auto [ticket, xml] = std::move(waiting.front());
        waiting.pop_front();
        const unsigned begunIn = epoch;
        lock.unlock();

        auto catalogue = std::make_unique<Catalogue>(readCatalogue(xml));
        xml = QByteArray();

        lock.lock();
        if (begunIn != epoch) {
            lock.unlock();
            catalogue.reset();
            lock.lock();
            continue;
        }
        done.emplace_back(ticket, std::move(catalogue));
        lock.unlock();
        wake();
        lock.lock();
    }
}
