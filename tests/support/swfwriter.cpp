#include "tests/support/swfwriter.h"

#include <QFile>

#include <lzma.h>
#include <zlib.h>

namespace swfw
{

Bytes &Bytes::u8(quint32 v)
{
    buf.append(char(v & 0xFF));
    return *this;
}

Bytes &Bytes::u16(quint32 v)
{
    return u8(v).u8(v >> 8);
}

Bytes &Bytes::u32(quint32 v)
{
    return u16(v).u16(v >> 16);
}

Bytes &Bytes::raw(const QByteArray &b)
{
    buf.append(b);
    return *this;
}

Bytes &Bytes::str(const QByteArray &s)
{
    buf.append(s);
    buf.append('\0');
    return *this;
}

QByteArray zlib(const QByteArray &data, int level)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size,
                  reinterpret_cast<const Bytef *>(data.constData()), uLong(data.size()),
                  level) != Z_OK)
        return {};
    out.resize(qsizetype(size));
    return out;
}

QByteArray testPattern(int width, int height, int seed)
{
    QByteArray out;
    out.reserve(qsizetype(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Alpha cycles through opaque, half, a quarter and transparent
            // bands; colours are premultiplied by it.
            static const int alphas[] = {255, 128, 64, 0};
            const int a = alphas[((x + seed) / 4 + y / 4) % 4];
            const int r = (x * 255 / qMax(1, width - 1) + seed * 37) & 0xFF;
            const int g = (y * 255 / qMax(1, height - 1) + seed * 91) & 0xFF;
            const int b = ((x ^ y) * 16 + seed) & 0xFF;
            out.append(char(a));
            out.append(char(r * a / 255));
            out.append(char(g * a / 255));
            out.append(char(b * a / 255));
        }
    }
    return out;
}

Tags &Tags::tag(int code, const QByteArray &body, bool forceLong)
{
    Bytes b;
    if (body.size() >= 0x3F || forceLong)
        b.u16(quint32(code) << 6 | 0x3F).u32(quint32(body.size()));
    else
        b.u16(quint32(code) << 6 | quint32(body.size()));
    buf.append(b.data());
    buf.append(body);
    return *this;
}

Tags &Tags::frameLabel(const QByteArray &name, bool anchor)
{
    Bytes b;
    b.str(name);
    if (anchor)
        b.u8(1);
    return tag(43, b.data());
}

static QByteArray symbolList(const QList<QPair<int, QByteArray>> &symbols)
{
    Bytes b;
    b.u16(quint32(symbols.size()));
    for (const auto &s : symbols)
        b.u16(quint32(s.first)).str(s.second);
    return b.data();
}

Tags &Tags::symbolClass(const QList<QPair<int, QByteArray>> &symbols)
{
    return tag(76, symbolList(symbols));
}

Tags &Tags::exportAssets(const QList<QPair<int, QByteArray>> &symbols)
{
    return tag(56, symbolList(symbols));
}

Tags &Tags::bitmap(int id, int width, int height, const QByteArray &argb)
{
    return lossless(36, id, 5, width, height, zlib(argb));
}

Tags &Tags::lossless(int code, int id, int format, int width, int height, const QByteArray &payload,
                     int colorTableSize)
{
    Bytes b;
    b.u16(quint32(id)).u8(quint32(format)).u16(quint32(width)).u16(quint32(height));
    if (format == 3)
        b.u8(quint32(colorTableSize));
    b.raw(payload);
    return tag(code, b.data());
}

Tags &Tags::binaryData(int id, const QByteArray &data)
{
    Bytes b;
    b.u16(quint32(id)).u32(0).raw(data);
    return tag(87, b.data());
}

Tags &Tags::sprite(int id, int frames, const Tags &inner)
{
    Bytes b;
    b.u16(quint32(id)).u16(quint32(frames)).raw(inner.data());
    return tag(39, b.data());
}

Tags &Tags::raw(const QByteArray &bytes)
{
    buf.append(bytes);
    return *this;
}

// Bits written from the most significant bit of each byte down.
class BitWriter
{
public:
    void put(quint32 value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            current = quint8(current << 1 | ((value >> i) & 1));
            if (++count == 8)
                flush();
        }
    }
    QByteArray finish()
    {
        if (count)
            put(0, 8 - count);
        return out;
    }

private:
    void flush()
    {
        out.append(char(current));
        current = 0;
        count = 0;
    }
    QByteArray out;
    quint8 current = 0;
    int count = 0;
};

static int signedBits(qint32 v)
{
    int bits = 1;
    while (bits < 32 && (v < -(qint64(1) << (bits - 1)) || v >= (qint64(1) << (bits - 1))))
        ++bits;
    return bits;
}

QByteArray movieHeader(const Header &h)
{
    int nbits = 1;
    for (qint32 v : {h.xmin, h.xmax, h.ymin, h.ymax})
        nbits = qMax(nbits, signedBits(v));
    BitWriter bits;
    bits.put(quint32(nbits), 5);
    for (qint32 v : {h.xmin, h.xmax, h.ymin, h.ymax})
        bits.put(quint32(v), nbits);
    Bytes b;
    b.raw(bits.finish()).u16(h.frameRate).u16(h.frameCount);
    return b.data();
}

static QByteArray lzmaRaw(const QByteArray &data, QByteArray &properties)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.dict_size = 1 << 20;
    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&strm, &options) != LZMA_OK)
        return {};
    QByteArray out(qsizetype(data.size() + data.size() / 2 + 1024), Qt::Uninitialized);
    strm.next_in = reinterpret_cast<const uint8_t *>(data.constData());
    strm.avail_in = size_t(data.size());
    strm.next_out = reinterpret_cast<uint8_t *>(out.data());
    strm.avail_out = size_t(out.size());
    lzma_ret ret;
    while ((ret = lzma_code(&strm, LZMA_FINISH)) == LZMA_OK) {
        const qsizetype used = out.size() - qsizetype(strm.avail_out);
        out.resize(out.size() * 2);
        strm.next_out = reinterpret_cast<uint8_t *>(out.data()) + used;
        strm.avail_out = size_t(out.size() - used);
    }
    const qsizetype total = out.size() - qsizetype(strm.avail_out);
    lzma_end(&strm);
    if (ret != LZMA_STREAM_END)
        return {};
    out.resize(total);
    // The "alone" format: 5 property bytes, 8 bytes of size, then the stream.
    properties = out.left(5);
    return out.mid(13);
}

QByteArray file(const Header &header, const Tags &tags, Compression compression)
{
    const QByteArray body = movieHeader(header) + tags.data();
    const quint32 length = header.fileLengthOverride >= 0 ? quint32(header.fileLengthOverride)
                                                          : quint32(8 + body.size());
    Bytes out;
    switch (compression) {
    case Compression::None:
        out.raw("FWS").u8(quint32(header.version)).u32(length).raw(body);
        break;
    case Compression::Zlib:
        out.raw("CWS").u8(quint32(header.version)).u32(length).raw(zlib(body));
        break;
    case Compression::Lzma: {
        QByteArray properties;
        const QByteArray stream = lzmaRaw(body, properties);
        out.raw("ZWS").u8(quint32(header.version)).u32(length);
        out.u32(quint32(stream.size())).raw(properties).raw(stream);
        break;
    }
    }
    return out.data();
}

QByteArray lzmaFileWithoutEndMarker(const Header &header, const Tags &tags)
{
    const QByteArray body = movieHeader(header) + tags.data();
    const quint32 length = header.fileLengthOverride >= 0 ? quint32(header.fileLengthOverride)
                                                          : quint32(8 + body.size());
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.dict_size = 1 << 20;
    options.ext_flags = 0; // no end marker
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    QByteArray stream(qsizetype(body.size() + body.size() / 2 + 1024), Qt::Uninitialized);
    size_t used = 0;
    if (lzma_raw_buffer_encode(filters, nullptr,
                               reinterpret_cast<const uint8_t *>(body.constData()),
                               size_t(body.size()), reinterpret_cast<uint8_t *>(stream.data()),
                               &used, size_t(stream.size())) != LZMA_OK)
        return {};
    stream.resize(qsizetype(used));
    quint8 properties[5];
    if (lzma_properties_encode(&filters[0], properties) != LZMA_OK)
        return {};
    Bytes out;
    out.raw("ZWS").u8(quint32(header.version)).u32(length).u32(quint32(stream.size()));
    out.raw(QByteArray(reinterpret_cast<const char *>(properties), 5)).raw(stream);
    return out.data();
}

QByteArray brokenZlibFile(const Header &header, const Tags &tags, qsizetype goodBytes,
                          bool invalidBlock)
{
    const QByteArray body = movieHeader(header) + tags.data();
    const quint32 length = header.fileLengthOverride >= 0 ? quint32(header.fileLengthOverride)
                                                          : quint32(8 + body.size());
    goodBytes = qBound(qsizetype(0), goodBytes, body.size());
    z_stream zs{};
    if (deflateInit(&zs, 6) != Z_OK)
        return {};
    QByteArray stream(qsizetype(deflateBound(&zs, uLong(goodBytes)) + 64), Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.constData()));
    zs.avail_in = uInt(goodBytes);
    zs.next_out = reinterpret_cast<Bytef *>(stream.data());
    zs.avail_out = uInt(stream.size());
    // A full flush ends on a byte boundary with every input byte decodable.
    const int ret = deflate(&zs, Z_FULL_FLUSH);
    stream.resize(qsizetype(zs.total_out));
    deflateEnd(&zs);
    if (ret != Z_OK || zs.avail_in != 0)
        return {};
    if (invalidBlock)
        stream.append(char(0x07)); // final block, type 3 (reserved)
    Bytes out;
    out.raw("CWS").u8(quint32(header.version)).u32(length).raw(stream);
    return out.data();
}

bool save(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace swfw
