#pragma once

// The values a dump takes and gives: its layout, how a file's conversion
// ended, and how each file and image of a run ended.

#include "swf/catalogue.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>

#include <functional>
#include <optional>

// Where a dump puts a file's images: straight into the output folder, or
// into a subfolder named after the file's frame label.
enum class DumpLayout { Flat, FolderPerLabel };

// How one file's conversion ended.
struct ConversionResult {
    QByteArray document; // the converter's document, when converted
    bool ended = false;  // the converter ran to its end (false: it never started)
    int exitCode = 0;
    // An error the converter's process reported on the way, if any.
    std::optional<QProcess::ProcessError> processError;
    // Empty when converted; else a few words on why not ("exit code 3",
    // "crashed", "could not be started").
    QString failure;
    // What an in-process converter warned of the file on the way.
    QStringList warnings;

    bool converted() const { return failure.isEmpty(); }
};

// A conversion that runs to its end where it is called: the pipeline calls
// it on one of its worker threads, and reads the document there too. It may
// be called for different files on several threads at once.
using InProcessConversion = std::function<ConversionResult(const QString &file)>;

// One image of a dump, as it ended.
struct ImageOutcome {
    int file = 0;  // the file's place in the run, from 0
    int index = 0; // the image's place among its file's images, from 0
    int count = 0; // images of its file
    QString name;  // symbol name
    QString path;  // the PNG file, written or meant
    // Empty when written; else why not ("can't be decoded", "no pixels",
    // the file system's words...).
    QString failure;

    bool written() const { return failure.isEmpty(); }
};

// One file of a dump: its conversion, its reading and its images.
struct FileOutcome {
    int index = 0; // place in the run, from 0
    QString file;
    // How the conversion ended (its document not kept).
    ConversionResult conversion;
    // How the reading ended, for a converted file.
    std::optional<CatalogueOutcome> reading;
    QString label;  // frame label, once read
    QString folder; // where its images go, when it has any
    int images = 0; // named bitmaps found
    int written = 0;
    QList<ImageOutcome> failures; // images not written, in order

    bool converted() const { return conversion.converted(); }
    // Every image found has ended, written or failed.
    bool allImagesEnded() const { return written + int(failures.size()) >= images; }
    // Counts one of its images as it ended.
    void count(const ImageOutcome &image);
};

struct DumpSummary {
    QList<FileOutcome> files; // in run order
    // Most images handed out to the workers at once (being decoded or
    // written, or next in line), and their decoded pixels' bytes.
    qint64 peakPixelBytes = 0;
    int peakImages = 0;

    int images() const;
    int imagesFailed() const;
    QList<FileOutcome> notConverted() const;
};
