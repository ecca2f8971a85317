#pragma once

#include "swf/conversionjob.h"
#include "swf/dumppipeline.h"

#include <functional>
#include <list>
#include <optional>

// A dump's conversion step that runs the converter as a child process per
// file (ConversionJob), several at once when asked. A converter that can't
// be started, ends with a code other than 0, crashes or writes more than the
// output cap leaves the file not converted, with the process's error kept.
class ProcessConversion final : public ConversionStep
{
public:
    void start(const QString &file, std::function<void(ConversionResult)> done) override;
    void cancel() override;

private:
    struct Run {
        ConversionJob job;
        std::function<void(ConversionResult)> done;
        std::optional<QProcess::ProcessError> error;
        bool idle = false; // ended and reported: the job can run again
    };

    Run &newRun();
    static void report(Run &run, ConversionResult result);

    std::list<Run> runs;
};
