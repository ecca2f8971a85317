#pragma once

#include <QtGlobal>

// How many conversions, or images, the program works on at once: one per
// core (QThread::idealThreadCount()), unless the environment variable
// SWF_JOBS names a number from 1 to 64, which is taken instead (to share a
// machine, and for tests). Read once, at the first call.
int parallelJobs();

// The whole number the environment variable `name` holds, when it is set
// and within [lowest, highest]; else `fallback`. A value set but not taken
// is named in a warning, so that a typing slip isn't silently ignored.
qint64 numberFromEnvironment(const char *name, qint64 lowest, qint64 highest, qint64 fallback);
