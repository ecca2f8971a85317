#pragma once

#include <QString>

// A symbol name made safe to use as one file name inside the output folder:
// path separators and control characters become '_', and a name left empty,
// "." or ".." gets a '_' in front. Every other character is kept.
QString safeFileName(const QString &name);
