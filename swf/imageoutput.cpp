#include "swf/imageoutput.h"

#include <QImage>
#include <QImageWriter>
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

WriteResult writePng(const QImage &image, const QString &path)
{
    if (image.isNull())
        return {QStringLiteral("no image")};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {file.errorString()};
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        file.cancelWriting();
        return {writer.errorString()};
    }
    if (!file.commit())
        return {file.errorString()};
    return {};
}
