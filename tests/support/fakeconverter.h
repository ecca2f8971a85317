#pragma once

// A stand-in for the converter: a shell script named like the preferred
// converter program, put first on PATH for the lifetime of the object.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

class FakeConverter
{
public:
    FakeConverter() : oldPath(qgetenv("PATH"))
    {
        qputenv("PATH", QFile::encodeName(dir.path()) + ':' + oldPath);
    }
    ~FakeConverter() { qputenv("PATH", oldPath); }
    FakeConverter(const FakeConverter &) = delete;
    FakeConverter &operator=(const FakeConverter &) = delete;

    // Installs a /bin/sh script body. "$2" is the file argument.
    void setScript(const QByteArray &body) { write("#!/bin/sh\n" + body + "\n"); }

    // A program that exists on PATH but can't be executed, so its start fails.
    void setUnstartable() { write("#!/nonexistent/interpreter\n"); }

    // A converter that records its process id, then runs until killed.
    void setHanging()
    {
        setScript("echo $$ > '" + QFile::encodeName(pidPath()) + "'\nexec sleep 3600");
    }

    // A converter that answers each file from documents set below: the file's
    // exit code when one is set, else its document on standard output.
    void serveDocuments()
    {
        const QByteArray docs = QFile::encodeName(dir.filePath(QStringLiteral("docs")));
        QDir(dir.path()).mkpath(QStringLiteral("docs"));
        setScript("f='" + docs +
                  "'/\"$2\"\n"
                  "echo \"$2\" >> '" +
                  docs +
                  "/log'\n"
                  "if [ -e \"$f.hang\" ]; then echo $$ > \"$f.hang\"; exec sleep 3600; fi\n"
                  "if [ -e \"$f.flood\" ]; then echo $$ > \"$f.flood\"; exec cat /dev/zero; fi\n"
                  "if [ -e \"$f.sleep\" ]; then sleep $(cat \"$f.sleep\"); echo \"$2\" >> '" +
                  docs +
                  "/slept'; fi\n"
                  "if [ -e \"$f.exit\" ]; then exit $(cat \"$f.exit\"); fi\n"
                  "cat \"$f.xml\"");
    }
    void setDocument(const QString &file, const QByteArray &xml)
    {
        writeFile(QStringLiteral("docs/") + file + QStringLiteral(".xml"), xml);
    }
    void setExitCode(const QString &file, int code)
    {
        writeFile(QStringLiteral("docs/") + file + QStringLiteral(".exit"),
                  QByteArray::number(code));
    }
    // The converter answers `file` only after `seconds`.
    void setDelay(const QString &file, double seconds)
    {
        writeFile(QStringLiteral("docs/") + file + QStringLiteral(".sleep"),
                  QByteArray::number(seconds));
    }
    // The delayed files, in the order their delays ran out.
    QStringList delayed() const { return lines(QStringLiteral("docs/slept")); }
    // The converter hangs on `file` until killed.
    void setHangingOn(const QString &file)
    {
        writeFile(QStringLiteral("docs/") + file + QStringLiteral(".hang"), QByteArray());
    }
    // The converter writes zero bytes without end on `file`, until killed.
    void setFloodingOn(const QString &file)
    {
        writeFile(QStringLiteral("docs/") + file + QStringLiteral(".flood"), QByteArray());
    }
    // Process id of the converter flooding on `file`, 0 before it started.
    qint64 floodingPid(const QString &file) const
    {
        QFile f(dir.filePath(QStringLiteral("docs/") + file + QStringLiteral(".flood")));
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
    }
    // Process id of the converter hanging on `file`, 0 before it started.
    qint64 hangingPid(const QString &file) const
    {
        QFile f(dir.filePath(QStringLiteral("docs/") + file + QStringLiteral(".hang")));
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
    }
    // Files converted so far by serveDocuments(), in order.
    QStringList converted() const { return lines(QStringLiteral("docs/log")); }

    QString path() const { return dir.path(); }
    QString pidPath() const { return dir.filePath(QStringLiteral("pid")); }

    // Process id written by setHanging(), or 0 before the script ran.
    qint64 pid() const
    {
        QFile f(pidPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
    }

    static bool processAlive(qint64 pid)
    {
        return pid > 0 && QFile::exists(QStringLiteral("/proc/%1").arg(pid)) &&
               !procState(pid).startsWith('Z');
    }

private:
    QStringList lines(const QString &name) const
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    static QByteArray procState(qint64 pid)
    {
        QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!f.open(QIODevice::ReadOnly))
            return "Z";
        const QByteArray stat = f.readAll();
        const int close = stat.lastIndexOf(')');
        return close < 0 ? QByteArray("Z") : stat.mid(close + 2, 1);
    }

    void writeFile(const QString &name, const QByteArray &content)
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
    }

    void write(const QByteArray &content)
    {
        QFile f(dir.filePath(QStringLiteral("swfmill.exe")));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QTemporaryDir dir;
    QByteArray oldPath;
};
