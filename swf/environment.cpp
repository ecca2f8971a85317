#include "swf/environment.h"

#include <QString>

qint64 numberFromEnvironment(const char *name, qint64 lowest, qint64 highest, qint64 fallback)
{
    const QString text = qEnvironmentVariable(name);
    if (text.isEmpty())
        return fallback; // unset, or set to nothing: the same in a shell
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok, 10);
    if (ok && value >= lowest && value <= highest)
        return value;
    qWarning("%s=\"%s\" is not a whole number from %lld to %lld: %lld is used", name,
             qPrintable(text), static_cast<long long>(lowest), static_cast<long long>(highest),
             static_cast<long long>(fallback));
    return fallback;
}
