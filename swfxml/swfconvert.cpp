// Writing a loaded movie as XML: the header, then every tag in file order.

#include "swfxml/swfconvert.h"
#include "swfxml/xmlout.h"

#include <cstring>

namespace swfxml
{

namespace
{

QByteArray number(qint64 v)
{
    return QByteArray::number(v);
}

// Little-endian reads within one tag's bytes; every read checks the bounds.
class Fields
{
public:
    Fields(const unsigned char *data, std::size_t size) : data(data), size(size) {}

    bool u8(quint32 &v) { return take(1, v); }
    bool u16(quint32 &v) { return take(2, v); }
    bool u32(quint32 &v) { return take(4, v); }
    // A null-terminated string; `text` points into the tag, without the null.
    bool string(const char *&text, std::size_t &length)
    {
        const void *nul = std::memchr(data + pos, 0, size - pos);
        if (!nul)
            return false;
        text = reinterpret_cast<const char *>(data + pos);
        length = std::size_t(static_cast<const unsigned char *>(nul) - (data + pos));
        pos += length + 1;
        return true;
    }
    const char *rest() const { return reinterpret_cast<const char *>(data + pos); }
    std::size_t left() const { return size - pos; }

private:
    bool take(std::size_t n, quint32 &v)
    {
        if (size - pos < n)
            return false;
        v = 0;
        for (std::size_t i = 0; i < n; ++i)
            v |= quint32(data[pos + i]) << (8 * i);
        pos += n;
        return true;
    }
    const unsigned char *data;
    std::size_t size;
    std::size_t pos = 0;
};

// Bits read from the most significant bit of each byte down.
class Bits
{
public:
    Bits(const unsigned char *data, std::size_t size) : data(data), size(size) {}
    bool take(int count, quint32 &v)
    {
        if (bit + std::size_t(count) > size * 8)
            return false;
        v = 0;
        for (int i = 0; i < count; ++i, ++bit)
            v = v << 1 | ((data[bit / 8] >> (7 - bit % 8)) & 1);
        return true;
    }
    std::size_t bytesUsed() const { return (bit + 7) / 8; }

private:
    const unsigned char *data;
    std::size_t size;
    std::size_t bit = 0;
};

// One tag header within a tag list.
struct TagHeader {
    int code = 0;
    std::size_t headerSize = 0;
    std::size_t length = 0;
};

enum class HeaderRead { Ok, TooShort, LongTooShort, PastEnd };

HeaderRead readTagHeader(const unsigned char *p, std::size_t left, TagHeader &tag)
{
    if (left < 2)
        return HeaderRead::TooShort;
    const quint32 codeAndLength = quint32(p[0]) | quint32(p[1]) << 8;
    tag.code = int(codeAndLength >> 6);
    tag.length = codeAndLength & 0x3F;
    tag.headerSize = 2;
    if (tag.length == 0x3F) {
        if (left < 6)
            return HeaderRead::LongTooShort;
        tag.length = std::size_t(p[2]) | std::size_t(p[3]) << 8 | std::size_t(p[4]) << 16 |
                     std::size_t(p[5]) << 24;
        tag.headerSize = 6;
    }
    if (tag.length > left - tag.headerSize)
        return HeaderRead::PastEnd;
    return HeaderRead::Ok;
}

const char *tagName(int code)
{
    switch (code) {
    case 0:
        return "End";
    case 1:
        return "ShowFrame";
    case 20:
        return "DefineBitsLossless";
    case 36:
        return "DefineBitsLossless2";
    case 39:
        return "DefineSprite";
    case 43:
        return "FrameLabel";
    case 56:
        return "ExportAssets";
    case 76:
        return "SymbolClass";
    case 87:
        return "DefineBinaryData";
    }
    return nullptr;
}

// "tag 36 (DefineBitsLossless2) at offset 1234" for messages. Offsets count
// from the start of the file as if it were not compressed.
QByteArray describe(int code, std::size_t offset)
{
    QByteArray text = "tag " + number(code);
    if (const char *name = tagName(code))
        text += QByteArray(" (") + name + ")";
    return text + " at offset " + number(qint64(offset));
}

class Writer
{
public:
    Writer(const Movie &movie, Sink &sink, const Warn &warn)
        : movie(movie), out(sink), warn(warn), utf8(movie.version >= 6),
          body(reinterpret_cast<const unsigned char *>(movie.body.data())),
          bodySize(movie.body.size())
    {
    }

    bool run();

private:
    // Offset in the file (as if uncompressed) of a pointer into the body.
    std::size_t offsetOf(const unsigned char *p) const { return std::size_t(p - body) + 8; }

    void tagList(const unsigned char *data, std::size_t size, int depth);
    void tag(const TagHeader &header, const unsigned char *data, int depth);
    bool bitmap(const char *element, Fields &f, int level);
    bool binaryData(Fields &f, int level);
    bool frameLabel(Fields &f, int level);
    bool symbols(const char *element, Fields &f, int level, std::size_t offset);
    bool sprite(Fields &f, const unsigned char *data, std::size_t size, int depth, int level,
                std::size_t offset);
    void unknown(int code, const unsigned char *data, std::size_t size, int level);
    void dataElement(const char *data, std::size_t size, int level);

    const Movie &movie;
    XmlOut out;
    const Warn &warn;
    const bool utf8;
    const unsigned char *body;
    const std::size_t bodySize;
};

bool Writer::run()
{
    out.lit("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<swf version=\"");
    out.number(movie.version);
    out.lit("\" compressed=\"");
    out.lit(movie.compressed() ? "1" : "0");
    out.lit("\">");

    // FrameSize, FrameRate and FrameCount: whatever of them the body holds.
    Bits bits(body, bodySize);
    quint32 nbits = 0;
    qint64 rect[4] = {};
    bool haveRect = bits.take(5, nbits);
    for (int i = 0; haveRect && i < 4; ++i) {
        quint32 v = 0;
        haveRect = bits.take(int(nbits), v);
        // Sign-extend from nbits.
        rect[i] = nbits && (v >> (nbits - 1)) & 1 ? qint64(v) - (qint64(1) << nbits) : qint64(v);
    }
    const std::size_t rectSize = bits.bytesUsed();
    const bool haveRate = haveRect && bodySize - rectSize >= 2;
    const bool haveCount = haveRect && bodySize - rectSize >= 4;
    const std::size_t tagsStart = haveCount ? rectSize + 4 : bodySize;

    out.newline(1);
    out.lit("<Header");
    if (haveRate) {
        const quint32 whole = body[rectSize + 1];
        const quint32 fraction = body[rectSize];
        out.lit(" framerate=\"");
        out.number(whole);
        if (fraction) {
            // fraction / 256 has at most 8 decimal places: 1/256 = 0.00390625.
            char digits[9];
            quint32 f = fraction * 390625;
            int n = 8;
            while (f % 10 == 0) {
                f /= 10;
                --n;
            }
            digits[0] = '.';
            for (int i = n; i > 0; --i, f /= 10)
                digits[i] = char('0' + f % 10);
            out.raw(digits, std::size_t(n) + 1);
        }
        out.lit("\"");
    }
    if (haveCount) {
        out.lit(" frames=\"");
        out.number(body[rectSize + 2] | body[rectSize + 3] << 8);
        out.lit("\"");
    }
    out.lit(">");
    if (haveRect) {
        out.newline(2);
        out.lit("<size>");
        out.newline(3);
        out.lit("<Rectangle left=\"");
        out.number(rect[0]);
        out.lit("\" right=\"");
        out.number(rect[1]);
        out.lit("\" top=\"");
        out.number(rect[2]);
        out.lit("\" bottom=\"");
        out.number(rect[3]);
        out.lit("\"/>");
        out.newline(2);
        out.lit("</size>");
    }
    if (!haveCount)
        warn("the body ends inside the movie header (" + number(qint64(bodySize)) +
             " bytes); no tags");

    out.newline(2);
    if (tagsStart < bodySize) {
        out.lit("<tags>");
        tagList(body + tagsStart, bodySize - tagsStart, 0);
        out.newline(2);
        out.lit("</tags>");
    } else {
        out.lit("<tags/>");
        if (haveCount)
            warn("no tags: the body ends after the movie header");
    }
    out.newline(1);
    out.lit("</Header>\n</swf>\n");
    return out.flush();
}

// The tags of the file (depth 0) or of a sprite (depth >= 1). The top-level
// list goes on after End until the body ends; a sprite's list ends at its
// End. A sprite's list has been checked before (see sprite()).
void Writer::tagList(const unsigned char *data, std::size_t size, int depth)
{
    std::size_t pos = 0;
    bool sawEnd = false;
    while (pos < size && out.ok()) {
        TagHeader header;
        const HeaderRead read = readTagHeader(data + pos, size - pos, header);
        if (read == HeaderRead::TooShort) {
            warn(number(qint64(size - pos)) + " byte at offset " +
                 number(qint64(offsetOf(data + pos))) + " is too short for a tag header; ignored");
            return;
        }
        if (read == HeaderRead::LongTooShort) {
            warn(describe(header.code, offsetOf(data + pos)) +
                 ": the body ends inside its long tag header; ignored");
            return;
        }
        if (read == HeaderRead::PastEnd) {
            warn(describe(header.code, offsetOf(data + pos)) + " claims " +
                 number(qint64(header.length)) + " bytes, but only " +
                 number(qint64(size - pos - header.headerSize)) + " are left; not written");
            return;
        }
        tag(header, data + pos, depth);
        pos += header.headerSize + header.length;
        if (header.code == 0) {
            sawEnd = true;
            if (depth > 0)
                break;
        }
    }
    if (!sawEnd && depth == 0)
        warn("no End tag before the end of the body");
}

void Writer::tag(const TagHeader &header, const unsigned char *data, int depth)
{
    const int level = 3 + 2 * depth;
    const unsigned char *payload = data + header.headerSize;
    const std::size_t size = header.length;
    const std::size_t offset = offsetOf(data);
    Fields f(payload, size);
    out.newline(level);
    bool written = true;
    switch (header.code) {
    case 0:
    case 1:
        if (size == 0) {
            if (header.code == 0)
                out.lit("<End/>");
            else
                out.lit("<ShowFrame/>");
            return;
        }
        // Keeps the unexpected payload.
        unknown(header.code, payload, size, level);
        return;
    case 20:
        written = bitmap("DefineBitsLossless", f, level);
        break;
    case 36:
        written = bitmap("DefineBitsLossless2", f, level);
        break;
    case 39:
        written = sprite(f, payload, size, depth, level, offset);
        break;
    case 43:
        written = frameLabel(f, level);
        break;
    case 56:
        written = symbols("Export", f, level, offset);
        break;
    case 76:
        written = symbols("SymbolClass", f, level, offset);
        break;
    case 87:
        written = binaryData(f, level);
        break;
    default:
        unknown(header.code, payload, size, level);
        return;
    }
    if (!written) {
        if (header.code != 39 || depth + 1 <= kMaxSpriteDepth)
            warn(describe(header.code, offset) +
                 " is too short for its fields; written as UnknownTag");
        unknown(header.code, payload, size, level);
    }
}

// DefineBitsLossless(2): fields as attributes, the rest of the tag (the zlib
// data, colour table included) as base64.
bool Writer::bitmap(const char *element, Fields &f, int level)
{
    quint32 id, format, width, height, colorTableSize = 0;
    if (!f.u16(id) || !f.u8(format) || !f.u16(width) || !f.u16(height) ||
        (format == 3 && !f.u8(colorTableSize)))
        return false;
    out.lit("<");
    out.raw(element, std::strlen(element));
    out.lit(" objectID=\"");
    out.number(id);
    out.lit("\" format=\"");
    out.number(format);
    out.lit("\" width=\"");
    out.number(width);
    out.lit("\" height=\"");
    out.number(height);
    if (format == 3) {
        out.lit("\" n_colormap=\"");
        out.number(colorTableSize);
    }
    out.lit("\">");
    dataElement(f.rest(), f.left(), level + 1);
    out.newline(level);
    out.lit("</");
    out.raw(element, std::strlen(element));
    out.lit(">");
    return true;
}

bool Writer::binaryData(Fields &f, int level)
{
    quint32 id, reserved;
    if (!f.u16(id) || !f.u32(reserved))
        return false;
    out.lit("<DefineBinaryData objectID=\"");
    out.number(id);
    out.lit("\">");
    dataElement(f.rest(), f.left(), level + 1);
    out.newline(level);
    out.lit("</DefineBinaryData>");
    return true;
}

// <data><data>BASE64</data></data>, the inner one empty for no bytes.
void Writer::dataElement(const char *data, std::size_t size, int level)
{
    out.newline(level);
    out.lit("<data>");
    out.newline(level + 1);
    if (size == 0) {
        out.lit("<data/>");
    } else {
        out.lit("<data>");
        out.base64(data, size);
        out.lit("</data>");
    }
    out.newline(level);
    out.lit("</data>");
}

bool Writer::frameLabel(Fields &f, int level)
{
    const char *name;
    std::size_t length;
    if (!f.string(name, length))
        return false;
    out.lit("<FrameLabel label=\"");
    out.attributeText(name, length, utf8);
    out.lit("\">");
    out.newline(level + 1);
    // The named-anchor flag (and anything else after the name).
    if (f.left() == 0) {
        out.lit("<flags/>");
    } else {
        out.lit("<flags><data>");
        out.base64(f.rest(), f.left());
        out.lit("</data></flags>");
    }
    out.newline(level);
    out.lit("</FrameLabel>");
    return true;
}

// SymbolClass and ExportAssets: a count, then (id, name) pairs. The whole
// list is checked before anything of it is written.
bool Writer::symbols(const char *element, Fields &f, int level, std::size_t offset)
{
    quint32 count;
    if (!f.u16(count))
        return false;
    Fields check = f;
    for (quint32 i = 0; i < count; ++i) {
        quint32 id;
        const char *name;
        std::size_t length;
        if (!check.u16(id) || !check.string(name, length))
            return false;
    }
    out.lit("<");
    out.raw(element, std::strlen(element));
    out.lit(">");
    out.newline(level + 1);
    if (count == 0) {
        out.lit("<symbols/>");
    } else {
        out.lit("<symbols>");
        for (quint32 i = 0; i < count; ++i) {
            quint32 id = 0;
            const char *name = nullptr;
            std::size_t length = 0;
            f.u16(id);
            f.string(name, length);
            out.newline(level + 2);
            out.lit("<Symbol objectID=\"");
            out.number(id);
            out.lit("\" name=\"");
            out.attributeText(name, length, utf8);
            out.lit("\"/>");
        }
        out.newline(level + 1);
        out.lit("</symbols>");
    }
    out.newline(level);
    out.lit("</");
    out.raw(element, std::strlen(element));
    out.lit(">");
    if (f.left())
        warn(describe(element[0] == 'E' ? 56 : 76, offset) + ": " + number(qint64(f.left())) +
             " bytes after the last symbol ignored");
    return true;
}

// A sprite's own tag list is checked before anything of it is written, so
// that a broken one is kept whole as an UnknownTag rather than cut short.
bool Writer::sprite(Fields &f, const unsigned char *data, std::size_t size, int depth, int level,
                    std::size_t offset)
{
    quint32 id, frames;
    if (depth + 1 > kMaxSpriteDepth) {
        warn(describe(39, offset) + " is nested more than " + number(kMaxSpriteDepth) +
             " sprites deep; written as UnknownTag");
        return false;
    }
    if (!f.u16(id) || !f.u16(frames))
        return false;
    const unsigned char *inner = data + 4;
    const std::size_t innerSize = size - 4;

    std::size_t pos = 0;
    bool sawEnd = false;
    while (pos < innerSize) {
        TagHeader header;
        const HeaderRead read = readTagHeader(inner + pos, innerSize - pos, header);
        if (read != HeaderRead::Ok) {
            warn(describe(39, offset) + ": its tag list breaks off at offset " +
                 number(qint64(offsetOf(inner + pos))) + "; written as UnknownTag");
            unknown(39, data, size, level);
            return true;
        }
        pos += header.headerSize + header.length;
        if (header.code == 0) {
            sawEnd = true;
            break;
        }
    }
    if (!sawEnd)
        warn(describe(39, offset) + ": its tag list has no End tag");
    else if (pos < innerSize)
        warn(describe(39, offset) + ": " + number(qint64(innerSize - pos)) +
             " bytes after its End tag ignored");

    out.lit("<DefineSprite objectID=\"");
    out.number(id);
    out.lit("\" frames=\"");
    out.number(frames);
    out.lit("\">");
    out.newline(level + 1);
    if (innerSize == 0) {
        out.lit("<tags/>");
    } else {
        out.lit("<tags>");
        tagList(inner, innerSize, depth + 1);
        out.newline(level + 1);
        out.lit("</tags>");
    }
    out.newline(level);
    out.lit("</DefineSprite>");
    return true;
}

void Writer::unknown(int code, const unsigned char *data, std::size_t size, int level)
{
    char id[16];
    static const char hex[] = "0123456789ABCDEF";
    // Upper-case hexadecimal, at least two digits (codes are 10 bits).
    int n = 0;
    id[n++] = '0';
    id[n++] = 'x';
    if (code > 0xFF)
        id[n++] = hex[(code >> 8) & 0xF];
    id[n++] = hex[(code >> 4) & 0xF];
    id[n++] = hex[code & 0xF];
    out.lit("<UnknownTag id=\"");
    out.raw(id, std::size_t(n));
    if (size == 0) {
        out.lit("\"/>");
        return;
    }
    out.lit("\">");
    out.newline(level + 1);
    out.lit("<data>");
    out.base64(reinterpret_cast<const char *>(data), size);
    out.lit("</data>");
    out.newline(level);
    out.lit("</UnknownTag>");
}

} // namespace

bool writeXml(const Movie &movie, Sink &sink, const Warn &warn)
{
    const Warn report = warn ? warn : Warn([](const QByteArray &) {});
    Writer writer(movie, sink, report);
    return writer.run();
}

Result convert(Source &source, Sink &sink, QByteArray *error, const Warn &warn)
{
    Movie movie;
    if (!load(source, movie, error, warn))
        return Result::Refused;
    return writeXml(movie, sink, warn) ? Result::Converted : Result::OutputFailed;
}

Result convert(const QByteArray &swf, QByteArray &xml, QByteArray *error, const Warn &warn)
{
    MemorySource source(swf);
    ByteArraySink sink(xml);
    return convert(source, sink, error, warn);
}

} // namespace swfxml
