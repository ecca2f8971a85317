// The converter contract and the conversion job: command line, program
// lookup, output collection and its cap, failure words and the end of a
// stopped run.

#include "swf/conversionjob.h"
#include "swf/converter.h"
#include "tests/support/fakeconverter.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestConverter : public QObject
{
    Q_OBJECT

private slots:
    void commandLine();
    void lookupOrder();
    void wholeOutputAndExitCode();
    void startFailure();
    void errorWords();
    void outputCap();
    void stopEndsChildSilently();

private:
    // Runs the converter on `file` through a job; returns the exit code and
    // fills `out` with everything collected.
    static int run(const QString &file, QByteArray &out);
};

int TestConverter::run(const QString &file, QByteArray &out)
{
    ConversionJob job;
    QSignalSpy finished(&job, &ConversionJob::finished);
    job.start(file);
    if (!finished.wait(60000))
        return -1;
    out = job.takeOutput();
    return finished.at(0).at(0).toInt();
}

void TestConverter::commandLine()
{
    QCOMPARE(Converter::arguments(QStringLiteral("a b.swf")),
             QStringList({"swf2xml", "a b.swf", "stdout"}));

    // The fake echoes its arguments one per line: they arrive unchanged.
    FakeConverter fake;
    fake.setScript("for a in \"$@\"; do echo \"[$a]\"; done");
    QByteArray out;
    QCOMPARE(run(QStringLiteral("we ird'name.swf"), out), 0);
    QCOMPARE(out, QByteArray("[swf2xml]\n[we ird'name.swf]\n[stdout]\n"));
}

void TestConverter::lookupOrder()
{
    QTemporaryDir appDir;
    QTemporaryDir binDir;
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(binDir.path()));
    auto makeExecutable = [](const QString &path) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };

    // Nothing anywhere: the preferred name, whose start will fail.
    QCOMPARE(Converter::program(appDir.path()), QStringLiteral("swfmill.exe"));

    // Only the upstream name on PATH.
    makeExecutable(binDir.filePath("swfmill"));
    QCOMPARE(Converter::program(appDir.path()), QStringLiteral("swfmill"));

    // A bundled converter beside the application beats it...
    const QString bundled = appDir.filePath(Converter::bundledProgramName());
    makeExecutable(bundled);
    QCOMPARE(Converter::program(appDir.path()), bundled);

    // ...unless it isn't executable.
    QFile::setPermissions(bundled, QFile::ReadOwner);
    QCOMPARE(Converter::program(appDir.path()), QStringLiteral("swfmill"));

    // The preferred name on PATH wins over everything.
    QFile::setPermissions(bundled, QFile::ReadOwner | QFile::ExeOwner);
    makeExecutable(binDir.filePath("swfmill.exe"));
    QCOMPARE(Converter::program(appDir.path()), QStringLiteral("swfmill.exe"));

    qputenv("PATH", oldPath);
}

void TestConverter::wholeOutputAndExitCode()
{
    // About 2 MB in many writes: several readyRead() reports, one document.
    FakeConverter fake;
    fake.setScript("i=0; while [ $i -lt 2000 ]; do head -c 1000 /dev/zero | tr '\\0' 'x'; "
                   "echo; i=$((i+1)); done; echo done >&2; exit 3");
    QByteArray out;
    QCOMPARE(run(QStringLiteral("f.swf"), out), 3);
    QCOMPARE(out.size(), 2000 * 1001);
    QCOMPARE(out.count('x'), 2000 * 1000);
}

void TestConverter::startFailure()
{
    FakeConverter fake;
    fake.setUnstartable();
    ConversionJob job;
    QSignalSpy errors(&job, &ConversionJob::errorOccurred);
    QSignalSpy finished(&job, &ConversionJob::finished);
    job.start(QStringLiteral("f.swf"));
    QTRY_COMPARE(errors.size(), 1);
    const auto error = errors.at(0).at(0).value<QProcess::ProcessError>();
    QCOMPARE(error, QProcess::FailedToStart);
    QCOMPARE(Converter::errorText(QStringLiteral("f.swf"), error),
             QStringLiteral("While Converting f.swf:\n\tswfmill failed to start."));
    QCOMPARE(finished.size(), 0);
}

void TestConverter::errorWords()
{
    QCOMPARE(Converter::errorDetail(QProcess::FailedToStart),
             QStringLiteral("swfmill failed to start."));
    for (auto e : {QProcess::Crashed, QProcess::Timedout, QProcess::ReadError, QProcess::WriteError,
                   QProcess::UnknownError})
        QCOMPARE(Converter::errorDetail(e), QStringLiteral("unknown error"));
    QCOMPARE(Converter::kErrorTitle, QStringLiteral("Error Converting SWF"));
    QCOMPARE(Converter::kAbnormalExitText, QStringLiteral("swfmill terminated abnormally"));
}

void TestConverter::outputCap()
{
    // A converter that never stops writing is killed once the cap is passed,
    // and its end is reported as a failure, not as a document.
    FakeConverter fake;
    fake.setScript("exec cat /dev/zero");
    QProcess process;
    QByteArray out;
    bool refused = false;
    QObject::connect(&process, &QProcess::readyRead, [&] {
        if (!Converter::collectOutput(process, out, 1 << 20))
            refused = true;
    });
    QSignalSpy finished(&process, &QProcess::finished);
    Converter::start(process, QStringLiteral("f.swf"));
    QVERIFY(finished.wait(60000));
    QVERIFY(refused);
    QVERIFY(out.size() <= 1 << 20);
    QVERIFY(finished.at(0).at(0).toInt() != 0);

    // A job reports such a run as a crash over the cap, with no output.
    ConversionJob job;
    QSignalSpy errors(&job, &ConversionJob::errorOccurred);
    QSignalSpy ended(&job, &ConversionJob::finished);
    job.start(QStringLiteral("f.swf"));
    QVERIFY(ended.wait(60000));
    QVERIFY(job.overflowed());
    QCOMPARE(errors.size(), 1);
    QVERIFY(job.takeOutput().isEmpty());
    QCOMPARE(
        job.failureText(ended.at(0).at(0).toInt(), ended.at(0).at(1).value<QProcess::ExitStatus>()),
        QStringLiteral("output over %1 bytes").arg(Converter::maxOutputBytes()));
}

void TestConverter::stopEndsChildSilently()
{
    FakeConverter fake;
    fake.setHanging();
    ConversionJob job;
    int reports = 0;
    QObject::connect(&job, &ConversionJob::finished, [&] { ++reports; });
    QObject::connect(&job, &ConversionJob::errorOccurred, [&] { ++reports; });
    job.start(QStringLiteral("f.swf"));
    QTRY_VERIFY(fake.pid() > 0);
    const qint64 pid = fake.pid();
    QVERIFY(FakeConverter::processAlive(pid));

    job.stop();
    QVERIFY(!job.isRunning());
    QVERIFY(!FakeConverter::processAlive(pid));
    QCoreApplication::processEvents();
    QCOMPARE(reports, 0);

    // The same for a job destroyed while its child runs.
    auto *second = new ConversionJob;
    QObject::connect(second, &ConversionJob::finished, [&] { ++reports; });
    QFile::remove(fake.pidPath());
    second->start(QStringLiteral("f.swf"));
    QTRY_VERIFY(fake.pid() > 0);
    const qint64 secondPid = fake.pid();
    delete second;
    QVERIFY(!FakeConverter::processAlive(secondPid));
    QCoreApplication::processEvents();
    QCOMPARE(reports, 0);

    // A crash and an exit code are told apart in a failure list.
    QCOMPARE(job.failureText(2, QProcess::NormalExit), QStringLiteral("exit code 2"));
    QCOMPARE(job.failureText(11, QProcess::CrashExit), QStringLiteral("crashed"));
}

QTEST_GUILESS_MAIN(TestConverter)
#include "tst_converter.moc"
