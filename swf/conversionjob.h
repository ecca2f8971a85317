#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>

// One run of the converter on one file at a time: the child started with the
// converter's command line, its standard output collected up to the output
// cap, and its end reported. Every owner of a conversion (the folder scan,
// a container's preview, the dump) runs the converter through this class;
// the owner decides what the end means for it.
//
// A job can be started again once its run has ended. Destroying a job ends
// a run still going on without reporting anything.
class ConversionJob : public QObject
{
    Q_OBJECT

public:
    explicit ConversionJob(QObject *parent = nullptr);
    ~ConversionJob() override;

    // Starts the converter on `file`, a bare name relative to the working
    // directory, its output collected up to `limit` bytes (at most the
    // output cap). A program that can't be found may be reported through
    // errorOccurred() before start() returns.
    void start(const QString &file, qint64 limit = -1);
    // Ends the run under way, if any: the child is killed and waited for,
    // its output dropped, and nothing more of it is reported.
    void stop();

    bool isRunning() const { return process.state() != QProcess::NotRunning; }
    // The file of the current (or last) run.
    const QString &file() const { return path; }
    // Everything the run wrote on standard output; emptied by the call, so
    // only one copy of a document is ever held.
    QByteArray takeOutput();
    // The run was killed for writing more than its limit.
    bool overflowed() const { return overflow; }
    // The run's limit was below the output cap.
    bool limited() const;

    // How the last run ended, in a few words for a list of failed files:
    // "exit code N", "crashed", or that its output went over the cap.
    QString failureText(int exitCode, QProcess::ExitStatus status) const;

signals:
    // The converter could not be started (no finished() follows), or ended
    // abnormally: it crashed, or was killed at the output cap (finished()
    // follows, with a code other than 0).
    void errorOccurred(QProcess::ProcessError error);
    // The run ended; the output is complete and the process closed.
    void finished(int exitCode, QProcess::ExitStatus status);

private:
    void collect();
    void end(int exitCode, QProcess::ExitStatus status);

    QProcess process;
    QByteArray output;
    QString path;
    qint64 limit = 0;
    bool overflow = false;
};
