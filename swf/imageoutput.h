#pragma once

#include <QImage>
#include <QSaveFile>
#include <QString>

// A symbol name made safe to use as one file name inside the output folder,
// on any disk the folder may be on or be copied to (FAT, exFAT and NTFS
// sticks, Windows and macOS machines):
// - path separators, control characters and : * ? " < > | become '_';
// - a name is cut to kMaxSafeNameBytes of UTF-8, whole characters only, so
//   that " (N)", ".png" and the temporary name it is written under fit the
//   255 bytes a name may have;
// - a last '.' or ' ' becomes '_', an empty name is "_", and a device name
//   of Windows (CON, NUL, COM1...) with or without an extension gets a '_'
//   in front.
// Every other character is kept.
QString safeFileName(const QString &name);
constexpr int kMaxSafeNameBytes = 230;

// Two names with the same key are one file on a disk that ignores case or
// the form of accents: numbered names are given by this key.
QString fileNameKey(const QString &name);

// How writing a file ended: written, or why not.
struct WriteResult {
    QString error; // empty when written; else the reason, in the system's words
    bool written() const { return error.isEmpty(); }
};

// Writes out the bytes `file` still holds in its buffer; false, with the
// system's reason in its errorString(), when they can't be written.
// QSaveFile::commit() puts the file in place even when those last bytes
// can't be written (a full disk would leave a short file under the name), so
// a saved file is flushed this way before it is committed.
bool flushWhole(QFileDevice &file);

// A PNG file written in two steps, so that the image can go before the file
// is made to stay, which waits for the disk. Until committed, nothing is at
// `path` but what was there before; destroyed uncommitted, nothing is left.
class PngFile
{
public:
    explicit PngFile(const QString &path) : file(path) {}
    // Encodes the image (the bytes of Qt's PNG writer at its default
    // quality, see pngencoder.h; true colours for a premultiplied image)
    // into a temporary file beside the path; the image goes with the call.
    WriteResult encode(QImage image);
    // Puts the file in place of whatever was at the path.
    WriteResult commit();

private:
    QSaveFile file;
};

// Writes `image` as a PNG file at `path` (the bytes of Qt's PNG writer at
// its default quality). The file appears only once it is whole: an image
// that can't be encoded, or a folder that refuses it (no room, no
// permission, a directory in the way), leaves whatever was at `path` before
// and no partial file.
// A premultiplied image is written in true colours; handed over by move, it
// is converted in place.
WriteResult writePng(QImage image, const QString &path);
