#include "swf/imageoutput.h"

#include "swf/pngencoder.h"

#include <QImage>
#include <QImageWriter>

namespace
{

bool refusedByDisks(QChar c)
{
    switch (c.unicode()) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
        return true;
    default:
        return c.category() == QChar::Other_Control;
    }
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9: Windows opens the device instead,
// whatever the extension.
bool isDeviceName(const QString &name)
{
    const QString stem = name.left(name.indexOf(QLatin1Char('.'))).toUpper();
    static const QStringList devices{QStringLiteral("CON"), QStringLiteral("PRN"),
                                     QStringLiteral("AUX"), QStringLiteral("NUL")};
    if (devices.contains(stem))
        return true;
    return stem.size() == 4 &&
           (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT"))) &&
           stem[3] >= QLatin1Char('1') && stem[3] <= QLatin1Char('9');
}

// How many UTF-16 units of `name` make at most `maxBytes` of UTF-8, whole
// characters only.
qsizetype unitsWithin(const QString &name, int maxBytes)
{
    int bytes = 0;
    qsizetype i = 0;
    while (i < name.size()) {
        const char16_t c = name[i].unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < name.size() &&
                          QChar::isLowSurrogate(name[i + 1].unicode());
        const int size = pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        i += pair ? 2 : 1;
    }
    return i;
}

} // namespace

QString safeFileName(const QString &name)
{
    QString safe = name.left(unitsWithin(name, kMaxSafeNameBytes));
    for (QChar &c : safe) {
        if (refusedByDisks(c))
            c = QLatin1Char('_');
    }
    // Windows drops a last dot or space, so "a." and "a" would meet there.
    if (safe.endsWith(QLatin1Char('.')) || safe.endsWith(QLatin1Char(' ')))
        safe.back() = QLatin1Char('_');
    if (safe.isEmpty() || isDeviceName(safe))
        safe.prepend(QLatin1Char('_'));
    return safe;
}

QString fileNameKey(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
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
