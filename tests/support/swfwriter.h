#pragma once

// A small SWF writer for tests, benchmarks and the demo folder. It writes
// well-formed files by default and, on request, deliberately broken ones.

#include <QByteArray>
#include <QList>
#include <QPair>

namespace swfw
{

enum class Compression { None, Zlib, Lzma };

// Little-endian field writer.
class Bytes
{
public:
    Bytes &u8(quint32 v);
    Bytes &u16(quint32 v);
    Bytes &u32(quint32 v);
    Bytes &raw(const QByteArray &b);
    Bytes &str(const QByteArray &s); // null-terminated
    const QByteArray &data() const { return buf; }

private:
    QByteArray buf;
};

// zlib stream (RFC 1950) of `data`.
QByteArray zlib(const QByteArray &data, int level = 6);

// Premultiplied A,R,G,B bytes of a `width` x `height` test pattern; `seed`
// varies it. Includes opaque, semi-transparent and fully transparent pixels.
QByteArray testPattern(int width, int height, int seed = 0);

// A tag stream: the body of a file or of a sprite.
class Tags
{
public:
    // Any tag. `forceLong` writes the long header even for short bodies.
    Tags &tag(int code, const QByteArray &body, bool forceLong = false);
    Tags &end() { return tag(0, {}); }
    Tags &showFrame() { return tag(1, {}); }
    Tags &frameLabel(const QByteArray &name, bool anchor = false);
    Tags &symbolClass(const QList<QPair<int, QByteArray>> &symbols);
    Tags &exportAssets(const QList<QPair<int, QByteArray>> &symbols);
    // DefineBitsLossless2 format 5 from premultiplied A,R,G,B bytes.
    Tags &bitmap(int id, int width, int height, const QByteArray &argb);
    // A lossless bitmap tag with its zlib payload as given (code 20 or 36).
    // `colorTableSize` is written only for format 3.
    Tags &lossless(int code, int id, int format, int width, int height, const QByteArray &payload,
                   int colorTableSize = 0);
    Tags &binaryData(int id, const QByteArray &data);
    Tags &sprite(int id, int frames, const Tags &inner);
    // Bytes appended without a tag header (for broken streams).
    Tags &raw(const QByteArray &bytes);

    const QByteArray &data() const { return buf; }

private:
    QByteArray buf;
};

struct Header {
    int version = 10;
    // FrameSize in twips.
    qint32 xmin = 0, xmax = 11000, ymin = 0, ymax = 8000;
    quint16 frameRate = 24 << 8; // 8.8 fixed point
    quint16 frameCount = 1;
    // When set, written instead of the true FileLength.
    qint64 fileLengthOverride = -1;
};

// Header fields after the 8-byte file header: RECT, frame rate and count.
QByteArray movieHeader(const Header &header);

// A whole file: signature, version, FileLength, then the (compressed) body.
QByteArray file(const Header &header, const Tags &tags, Compression compression);

// A ZWS file whose raw LZMA stream has no end marker: the reader learns the
// body's size from FileLength only (allowed by the format, found in real files).
QByteArray lzmaFileWithoutEndMarker(const Header &header, const Tags &tags);

// A CWS file whose zlib stream holds only the first `goodBytes` bytes of the
// body: it then stops short (`invalidBlock` false) or goes on with a block
// of the reserved type, which no inflater accepts.
QByteArray brokenZlibFile(const Header &header, const Tags &tags, qsizetype goodBytes,
                          bool invalidBlock);

// Writes `bytes` to `path`; false on failure.
bool save(const QString &path, const QByteArray &bytes);

} // namespace swfw
