#include "swf/bitmap.h"

QByteArray inflateBitmapData(const QByteArray &, qint64)
{
    return {};
}

QImage imageFromARGB(const QByteArray &, int, int)
{
    return {};
}

std::optional<QImage> previewImage(const QDomNode &)
{
    return std::nullopt;
}

QImage dumpImage(const QByteArray &, int, int)
{
    return {};
}

QByteArray dumpBitmapText(const QDomNode &)
{
    return {};
}
