#pragma once

#include "swf/conversionjob.h"
#include "swf/dumppipeline.h"

#include <functional>
#include <optional>

// A dump's conversion step that runs the converter as a child process, one
// file at a time (ConversionJob). A converter that can't be started, ends
// with a code other than 0, crashes or writes more than the output cap
// leaves the file not converted, with the process's error kept.
class ProcessConversion final : public ConversionStep
{
public:
    ProcessConversion();

    void start(const QString &file, std::function<void(ConversionResult)> done) override;
    void cancel() override;

private:
    void report(ConversionResult result);

    ConversionJob job;
    std::function<void(ConversionResult)> done;
    std::optional<QProcess::ProcessError> error;
};
