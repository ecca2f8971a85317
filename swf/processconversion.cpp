#include "swf/processconversion.h"

void ProcessConversion::start(const QString &file, std::function<void(ConversionResult)> done)
{
    Run &run = newRun();
    run.done = std::move(done);
    run.error.reset();
    run.idle = false;
    run.job.start(file);
}

void ProcessConversion::cancel()
{
    for (Run &run : runs) {
        run.done = nullptr;
        run.job.stop();
        run.idle = true;
    }
}

// A run that has ended and reported (never one whose report is still under
// way: its job is inside its own signal), or a new one.
ProcessConversion::Run &ProcessConversion::newRun()
{
    for (Run &run : runs) {
        if (run.idle)
            return run;
    }
    Run &run = runs.emplace_back();
    QObject::connect(
        &run.job, &ConversionJob::errorOccurred, &run.job,
        [&run](QProcess::ProcessError processError) {
            run.error = processError;
            // A converter that never started sends no finished().
            if (processError == QProcess::FailedToStart)
                report(run, {{}, false, 0, run.error, QStringLiteral("could not be started"), {}});
        });
    QObject::connect(&run.job, &ConversionJob::finished, &run.job,
                     [&run](int exitCode, QProcess::ExitStatus status) {
                         ConversionResult result{{}, true, exitCode, run.error, {}, {}};
                         if (exitCode != 0 || status != QProcess::NormalExit ||
                             run.job.overflowed())
                             result.failure = run.job.failureText(exitCode, status);
                         else
                             result.document = run.job.takeOutput();
                         report(run, std::move(result));
                     });
    return run;
}

void ProcessConversion::report(Run &run, ConversionResult result)
{
    const auto callback = std::move(run.done);
    run.done = nullptr;
    if (callback)
        callback(std::move(result));
    run.idle = true;
}
