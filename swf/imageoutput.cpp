#include "swf/imageoutput.h"

#include <QImage>
#include <QSaveFile>

QString safeFileName(const QString &name)
{
    QString safe = name;
    for (QChar &c : safe) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    }
    if (safe.isEmpty() || safe == QLatin1String(".") || safe == QLatin1String(".."))
        safe.prepend(QLatin1Char('_'));
    return safe;
}

bool writePng(const QImage &image, const QString &path)
{
    if (image.isNull())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!image.save(&file, "png", -1)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
