#include "swf/converter.h"

#include "swf/environment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <mutex>

namespace Converter
{

QString bundledProgramName()
{
    return QStringLiteral(SWF_CONVERTER_NAME);
}

QString program()
{
    // Searching PATH costs tens of thousands of instructions, once per file
    // of a scan; PATH itself is read in a few hundred.
    static std::mutex mutex;
    static QByteArray searched;
    static QString applicationDir;
    static QString found;
    const QByteArray path = qgetenv("PATH");
    const QString dir = QCoreApplication::applicationDirPath();
    const std::lock_guard<std::mutex> lock(mutex);
    if (found.isEmpty() || path != searched || dir != applicationDir) {
        found = program(dir);
        searched = path;
        applicationDir = dir;
    }
    return found;
}

QString program(const QString &applicationDir)
{
    if (!QStandardPaths::findExecutable(kPreferredProgram).isEmpty())
        return kPreferredProgram;
    const QString bundled = QDir(applicationDir).filePath(bundledProgramName());
    const QFileInfo info(bundled);
    if (info.isFile() && info.isExecutable())
        return bundled;
    if (!QStandardPaths::findExecutable(kFallbackProgram).isEmpty())
        return kFallbackProgram;
    return kPreferredProgram;
}

QStringList arguments(const QString &file)
{
    return {QStringLiteral("swf2xml"), file, QStringLiteral("stdout")};
}

void start(QProcess &process, const QString &file)
{
    // Standard error is never read. Left as a pipe, QProcess would keep all
    // of it in memory, however much a converter writes there.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program(), arguments(file), QIODevice::ReadOnly);
}

QString errorDetail(QProcess::ProcessError error)
{
    if (error == QProcess::FailedToStart)
        return QStringLiteral("swfmill failed to start.");
    return QStringLiteral("unknown error");
}

QString errorText(const QString &file, QProcess::ProcessError error)
{
    return QStringLiteral("While Converting ") + file + QStringLiteral(":\n\t") +
           errorDetail(error);
}

qint64 maxOutputBytes()
{
    static const qint64 cap =
        numberFromEnvironment("SWF_MAX_CONVERTER_OUTPUT", 1, kMaxOutputBytes, kMaxOutputBytes);
    return cap;
}

bool collectOutput(QProcess &process, QByteArray &buffer, qint64 limit)
{
    process.setReadChannel(QProcess::StandardOutput);
    const qint64 available = process.bytesAvailable();
    if (buffer.size() + available > limit) {
        releaseBuffer(buffer);
        process.kill();
        return false;
    }
    // Read straight into the buffer, grown by doubling: a document of tens
    // of megabytes is copied once on its way, not three times.
    const qsizetype held = buffer.size();
    if (buffer.capacity() < held + available)
        buffer.reserve(std::max<qsizetype>(2 * buffer.capacity(), held + available));
    buffer.resize(held + available);
    const qint64 got = process.read(buffer.data() + held, available);
    buffer.resize(held + std::max<qint64>(got, 0));
    return true;
}

void releaseBuffer(QByteArray &buffer)
{
    buffer.clear();
    buffer.squeeze();
}

} // namespace Converter
