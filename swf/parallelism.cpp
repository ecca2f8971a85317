#include "swf/parallelism.h"

#include "swf/environment.h"

#include <QThread>
#include <QtGlobal>

#include <algorithm>

int parallelJobs()
{
    static const int jobs =
        int(numberFromEnvironment("SWF_JOBS", 1, 64, std::max(1, QThread::idealThreadCount())));
    return jobs;
}
