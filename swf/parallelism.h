#pragma once

// How many conversions, or images, the program works on at once: one per
// core (QThread::idealThreadCount()), unless the environment variable
// SWF_JOBS names a number from 1 to 64, which is taken instead (to share a
// machine, and for tests). Read once, at the first call.
int parallelJobs();
