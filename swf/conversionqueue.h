#pragma once

#include "swf/catalogue.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class CatalogueReader;
class ConversionJob;

// Converts the files of a list, several at once, and hands their ends over
// one at a time in the list's order. Files are started in that order; each
// file's end waits only for the files before it, and holds its place (and
// its output) until it is taken, so no more than jobs() files are converting
// or waiting to be taken. The catalogue of a converted document is read as
// soon as its conversion ends, ahead of its turn, on a thread of its own
// (CatalogueReader).
class ConversionQueue : public QObject
{
    Q_OBJECT

public:
    // How the conversion of one file ended.
    struct End {
        QString file;
        // False when the converter could not be started.
        bool started = true;
        int exitCode = 0;
        // For a conversion that ended with a code other than 0, crashed or
        // wrote more than the output cap: its words for a list of failed
        // files (ConversionJob::failureText). Empty otherwise.
        QString failure;
        // The catalogue of a converted file's document; null for a failure.
        std::unique_ptr<Catalogue> catalogue;
    };

    // Runs parallelJobs() conversions at once.
    explicit ConversionQueue(QObject *parent = nullptr);
    ~ConversionQueue() override;

    int jobs() const { return int(places.size()); }
    // Ends what runs (stop()); from the next start() on, `count` conversions
    // run at once (at least one).
    void setJobs(int count);

    // Converts `files` (bare names in the working directory) in this order,
    // after stop().
    void start(const QStringList &files);
    // Ends every conversion under way, children killed and waited for, and
    // forgets the list: nothing more of it is handed over or signalled.
    void stop();

    // The end of the next file in the list's order, once it is there; taking
    // it starts the next file waiting.
    std::optional<End> takeNext();

signals:
    // The next file's end can be taken. Never emitted from within start()
    // or takeNext(); a late emission may find nothing to take.
    void nextReady();

private:
    void takeCatalogues();
    struct Slot;

    void startMore();
    // Converts the file at `index`, whose turn it is, again with the whole
    // cap, once back in the event loop.
    void convertAgain(int index);
    void converted(int index, int exitCode, QProcess::ExitStatus status);
    void notStarted(int index);
    void settle(int index);
    Slot &placeOf(int index) { return *places[size_t(index) % places.size()]; }

    std::vector<std::unique_ptr<Slot>> places;
    QStringList files;
    int started = 0;         // files whose conversion began
    int handed = 0;          // files whose end was taken
    unsigned generation = 0; // counts stop()
    std::unique_ptr<CatalogueReader> reader;
};
