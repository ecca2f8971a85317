#include "swf/processconversion.h"

ProcessConversion::ProcessConversion()
{
    QObject::connect(&job, &ConversionJob::errorOccurred, &job,
                     [this](QProcess::ProcessError processError) {
                         error = processError;
                         // A converter that never started sends no finished().
                         if (processError == QProcess::FailedToStart)
                             report({{}, false, 0, error, QStringLiteral("could not be started")});
                     });
    QObject::connect(&job, &ConversionJob::finished, &job,
                     [this](int exitCode, QProcess::ExitStatus status) {
                         ConversionResult result{{}, true, exitCode, error, {}};
                         if (exitCode != 0 || status != QProcess::NormalExit || job.overflowed())
                             result.failure = job.failureText(exitCode, status);
                         else
                             result.document = job.takeOutput();
                         report(std::move(result));
                     });
}

void ProcessConversion::start(const QString &file, std::function<void(ConversionResult)> onDone)
{
    done = std::move(onDone);
    error.reset();
    job.start(file);
}

void ProcessConversion::cancel()
{
    done = nullptr;
    job.stop();
}

void ProcessConversion::report(ConversionResult result)
{
    const auto callback = std::move(done);
    done = nullptr;
    if (callback)
        callback(std::move(result));
}
