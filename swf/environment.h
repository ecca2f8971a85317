#pragma once

#include <QtGlobal>

// The whole number the environment variable `name` holds, when it is set
// and within [lowest, highest]; else `fallback`. A value set but not taken
// is named in a warning, so that a typing slip isn't silently ignored.
qint64 numberFromEnvironment(const char *name, qint64 lowest, qint64 highest, qint64 fallback);
