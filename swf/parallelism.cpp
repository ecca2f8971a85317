#include "swf/parallelism.h"

#include <QThread>
#include <QtGlobal>

#include <algorithm>

int parallelJobs()
{
    static const int jobs = [] {
        bool ok = false;
        const int fromEnvironment = qEnvironmentVariableIntValue("SWF_JOBS", &ok);
        if (ok && fromEnvironment >= 1 && fromEnvironment <= 64)
            return fromEnvironment;
        return std::max(1, QThread::idealThreadCount());
    }();
    return jobs;
}
