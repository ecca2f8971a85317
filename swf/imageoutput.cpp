#include "swf/imageoutput.h"

#include "swf/pngencoder.h"

#include <QImage>
#include <QImageWriter>

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

WriteResult PngFile::encode(QImage image)
{
    if (image.isNull())
        return {QStringLiteral("no image")};
    // Qt's PNG writer takes straight-alpha rows as they are, but converts a
    // premultiplied image row by row through two temporary images. Qt's own
    // conversion, done here once and in place, gives the same bytes.
    if (image.format() == QImage::Format_ARGB32_Premultiplied)
        image.convertTo(QImage::Format_ARGB32);
    if (!file.open(QIODevice::WriteOnly))
        return {file.errorString()};
    QString encodingError;
    const bool ours = png::handles(image);
    if (ours) {
        encodingError = png::encode(image, file);
    } else {
        QImageWriter writer(&file, "png");
        if (!writer.write(image))
            encodingError = writer.errorString();
    }
    if (!flushWhole(file) || !encodingError.isEmpty()) {
        // Our encoder names the cause of a failed write; the file may only
        // know that a write stopped part way.
        const QString error =
            (ours && !encodingError.isEmpty()) || file.error() == QFileDevice::NoError
                ? encodingError
                : file.errorString();
        file.cancelWriting();
        return {error};
    }
    return {};
}

bool flushWhole(QFileDevice &file)
{
    if (file.flush())
        return true;
    // A write that stopped part way (the disk filling up under it) leaves
    // no reason; the bytes left in the buffer, tried once more, fail with
    // the system's.
    file.flush();
    return false;
}

WriteResult PngFile::commit()
{
    if (!file.commit())
        return {file.errorString()};
    return {};
}

WriteResult writePng(QImage image, const QString &path)
{
    PngFile file(path);
    const WriteResult encoded = file.encode(std::move(image));
    return encoded.written() ? file.commit() : encoded;
}
