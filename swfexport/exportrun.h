#pragma once

#include "swfexport/options.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <utility>

class DumpPipeline;
class QSocketNotifier;
struct DumpSummary;
struct FileOutcome;

constexpr int kExitWritten = 0; // every image written
constexpr int kExitFailed = 1;  // some file or image failed
constexpr int kExitUsage = 2;   // wrong command line, OUTDIR can't be made
// Stopped by a signal: 128 and its number, as a shell reports a death by it
// (130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP).

// One export from the command line: the inputs listed, the pipeline run over
// them with the converter inside this process, progress and failures on
// standard error, the report written at the end.
class ExportRun : public QObject
{
    Q_OBJECT

public:
    explicit ExportRun(ExportOptions options);
    ~ExportRun() override;

    // Runs the export to its end; the exit status.
    int exec();

private slots:
    void interrupted();

private:
    // Ends the run early: nothing more is handed out, the images being
    // written end whole, and the report lists what was done. `reason` goes
    // into the line that says so.
    void stop(int exitStatus, const QString &reason = {});
    void fileDone(const FileOutcome &file);
    // Names each image of `file` that wasn't written, and counts it.
    void sayFailedImages(const FileOutcome &file);
    void finished(const DumpSummary &summary);
    void showProgress();
    // Takes the progress line off standard error, if it shows.
    void clearProgress();
    // Writes a line on standard error, above the progress line if one shows.
    void say(const QString &line);
    // `stopped`: files a stop left part written, listed after `files`.
    bool writeReport(const QList<FileOutcome> &files, bool complete,
                     const QList<FileOutcome> &stopped = {});

    ExportOptions options;
    QList<std::pair<QString, QString>> missingInputs; // inputs that can't be found, and why
    QStringList undecodable;                       // .swf names that aren't valid UTF-8, readable
    QList<std::pair<QString, QString>> unreadable; // folders that can't be listed, and why
    int fileCount = 0;
    int filesDone = 0;
    int imagesWritten = 0;
    int failures = 0;
    int skipped = 0; // files read but not taken (a label already loaded...)
    QList<FileOutcome> done;
    bool terminal = false; // progress shown on standard error
    bool progressShown = false;
    QElapsedTimer clock;
    QTimer progressTimer;
    std::unique_ptr<DumpPipeline> pipeline;
    QSocketNotifier *interruptNotifier = nullptr;
    int status = -1;
};
