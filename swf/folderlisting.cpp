#include "swf/folderlisting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Length of the valid UTF-8 sequence that starts `bytes`, or 0 when the
// first byte starts none: no overlong form, no surrogate, nothing past
// U+10FFFF, as Qt's own check.
int validSequenceLength(QByteArrayView bytes)
{
    const auto lead = uchar(bytes.front());
    if (lead < 0x80)
        return 1;
    int length = 0;
    char32_t codePoint = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        const auto next = uchar(bytes[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < smallest || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// "\\xHH", with two upper-case hex digits.
QString escaped(uint code)
{
    return QStringLiteral("\\x") + QString::number(code, 16).toUpper().rightJustified(2, u'0');
}

} // namespace

bool isValidUtf8(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const int length = validSequenceLength(bytes);
        if (length == 0)
            return false;
        bytes = bytes.sliced(length);
    }
    return true;
}

bool hasSwfSuffix(const QString &name)
{
    return name.endsWith(QStringLiteral(".swf"), Qt::CaseSensitive);
}

QString readableFileName(const QByteArray &bytes)
{
    QString readable;
    QByteArrayView rest(bytes);
    while (!rest.isEmpty()) {
        const int length = validSequenceLength(rest);
        if (length > 0) {
            readable += QString::fromUtf8(rest.first(length));
            rest = rest.sliced(length);
        } else {
            readable += escaped(uchar(rest.front()));
            rest = rest.sliced(1);
        }
    }
    return readable;
}

QString printableText(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            shown += escaped(c.unicode());
        else
            shown += c;
    }
    return shown;
}

FolderListing listFolder(const QString &path)
{
    FolderListing listing;
    const QDir dir(path);
    if (!dir.exists())
        return listing;
    listing.exists = true;
    // QDir keeps a link to anything but a folder. A link counts as what it
    // points to, and only files are taken: a link to a pipe would keep its
    // conversion waiting for ever.
    for (const QFileInfo &entry : dir.entryInfoList(QDir::Files, QDir::NoSort)) {
        if (entry.isFile())
            listing.names.append(entry.fileName());
    }

    // QDir lists an unreadable folder as an empty one.
    const QByteArray encoded = QFile::encodeName(path);
    const std::unique_ptr<DIR, int (*)(DIR *)> stream(opendir(encoded), closedir);
    if (!stream || ::access(encoded, X_OK) != 0) {
        listing.error = qt_error_string(errno);
        return listing;
    }
    while (const dirent *entry = readdir(stream.get())) {
        const QByteArray name(entry->d_name);
        if (name.startsWith('.') || isValidUtf8(name))
            continue;
        struct stat status {
        };
        if (fstatat(dirfd(stream.get()), entry->d_name, &status, 0) != 0)
            continue;
        if (S_ISREG(status.st_mode) && name.endsWith(".swf"))
            listing.undecodableSwfNames.append({name, readableFileName(name)});
        else if (S_ISDIR(status.st_mode))
            listing.undecodableFolderNames.append({name, readableFileName(name)});
    }
    for (QList<UndecodableName> *names :
         {&listing.undecodableSwfNames, &listing.undecodableFolderNames})
        std::sort(
            names->begin(), names->end(),
            [](const UndecodableName &a, const UndecodableName &b) { return a.bytes < b.bytes; });
    return listing;
}
