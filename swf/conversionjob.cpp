#include "swf/conversionjob.h"

#include "swf/converter.h"

#include <algorithm>

ConversionJob::ConversionJob(QObject *parent) : QObject(parent)
{
    connect(&process, &QProcess::readyReadStandardOutput, this, &ConversionJob::collect);
    connect(&process, &QProcess::errorOccurred, this, &ConversionJob::errorOccurred);
    connect(&process, &QProcess::finished, this, &ConversionJob::end);
}

ConversionJob::~ConversionJob()
{
    stop();
}

void ConversionJob::start(const QString &file, qint64 limit)
{
    stop();
    path = file;
    this->limit =
        limit < 0 ? Converter::maxOutputBytes() : std::min(limit, Converter::maxOutputBytes());
    overflow = false;
    Converter::start(process, file);
}

void ConversionJob::stop()
{
    // Killing the child makes QProcess report its end while waiting for it:
    // that report must not reach anyone.
    const QSignalBlocker blocker(process);
    if (isRunning()) {
        process.kill();
        process.waitForFinished(-1);
    }
    process.close();
    Converter::releaseBuffer(output);
}

bool ConversionJob::limited() const
{
    return limit < Converter::maxOutputBytes();
}

QByteArray ConversionJob::takeOutput()
{
    QByteArray taken = std::move(output);
    Converter::releaseBuffer(output);
    return taken;
}

QString ConversionJob::failureText(int exitCode, QProcess::ExitStatus status) const
{
    if (overflow)
        return QStringLiteral("output over %1 bytes").arg(Converter::maxOutputBytes());
    if (status == QProcess::CrashExit)
        return QStringLiteral("crashed");
    return QStringLiteral("exit code %1").arg(exitCode);
}

void ConversionJob::collect()
{
    if (!overflow && !Converter::collectOutput(process, output, limit))
        overflow = true;
}

void ConversionJob::end(int exitCode, QProcess::ExitStatus status)
{
    // Whatever the child wrote last is still in the pipe's buffer.
    if (!overflow && process.bytesAvailable() > 0)
        collect();
    process.close();
    if (overflow)
        Converter::releaseBuffer(output);
    emit finished(exitCode, status);
}
