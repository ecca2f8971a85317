// Reading the movie header and the tags of a body into records.

#include "swfxml/tags.h"

#include "swfxml/codec.h"
#include "swfxml/swfconvert.h"

#include <algorithm>
#include <cstring>

namespace swfxml
{

namespace
{

// Little-endian reads within one tag's payload; every read checks the bounds.
class Fields
{
public:
    explicit Fields(View payload) : data(payload.data), size(payload.size) {}

    bool u8(unsigned &v) { return take(1, v); }
    bool u16(std::uint16_t &v)
    {
        unsigned wide = 0;
        const bool ok = take(2, wide);
        v = std::uint16_t(wide);
        return ok;
    }
    bool u32(unsigned &v) { return take(4, v); }
    // A null-terminated string, without the null.
    bool string(View &text)
    {
        const void *nul = std::memchr(data + pos, 0, size - pos);
        if (!nul)
            return false;
        text.data = data + pos;
        text.size = std::size_t(static_cast<const unsigned char *>(nul) - (data + pos));
        pos += text.size + 1;
        return true;
    }
    View rest() const { return View{data + pos, size - pos}; }

private:
    bool take(std::size_t n, unsigned &v)
    {
        if (size - pos < n)
            return false;
        v = 0;
        for (std::size_t i = 0; i < n; ++i)
            v |= unsigned(data[pos + i]) << (8 * i);
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
    explicit Bits(View bytes) : data(bytes.data), size(bytes.size) {}
    bool take(int count, std::uint32_t &v)
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

// A record as the result of its reading, made in place.
template <typename T> Parsed<Record> record(T &&value)
{
    return Parsed<Record>(std::in_place, std::forward<T>(value));
}

Problem problemAt(Problem::Kind kind, const TagHeader &tag)
{
    Problem p{kind};
    p.code = tag.code;
    p.offset = tag.offset;
    return p;
}

Parsed<Record> readFrameLabel(const TagHeader &tag)
{
    Fields f(tag.payload);
    FrameLabel label;
    if (!f.string(label.name))
        return problemAt(Problem::FieldsTooShort, tag);
    label.flags = f.rest();
    return record(label);
}

// SymbolClass and ExportAssets: a count, then (id, name) pairs.
Parsed<Record> readSymbolList(const TagHeader &tag)
{
    Fields f(tag.payload);
    std::uint16_t count;
    if (!f.u16(count))
        return problemAt(Problem::FieldsTooShort, tag);
    SymbolList list;
    // Each symbol takes at least three bytes: never reserve by a count the
    // payload can't hold.
    list.symbols.reserve(std::min<std::size_t>(count, f.rest().size / 3));
    for (unsigned i = 0; i < count; ++i) {
        Symbol symbol;
        if (!f.u16(symbol.id) || !f.string(symbol.name))
            return problemAt(Problem::FieldsTooShort, tag);
        list.symbols.push_back(symbol);
    }
    list.extra = f.rest().size;
    return record(std::move(list));
}

Parsed<Record> readLosslessBitmap(const TagHeader &tag)
{
    Fields f(tag.payload);
    LosslessBitmap bitmap;
    if (!f.u16(bitmap.id) || !f.u8(bitmap.format) || !f.u16(bitmap.width) ||
        !f.u16(bitmap.height) || (bitmap.format == 3 && !f.u8(bitmap.colorTableSize)))
        return problemAt(Problem::FieldsTooShort, tag);
    bitmap.data = f.rest();
    return record(bitmap);
}

Parsed<Record> readBinaryData(const TagHeader &tag)
{
    Fields f(tag.payload);
    BinaryData binary;
    unsigned reserved;
    if (!f.u16(binary.id) || !f.u32(reserved))
        return problemAt(Problem::FieldsTooShort, tag);
    binary.data = f.rest();
    return record(binary);
}

// A sprite's own tag list is read through here, so that a broken one is
// known (and the sprite kept whole) before anything of it is written. Its
// tags' records are read as they are written.
Parsed<Record> readSprite(const unsigned char *body, const TagHeader &tag, int depth)
{
    if (depth + 1 > kMaxSpriteDepth)
        return problemAt(Problem::NestedTooDeep, tag);
    Fields f(tag.payload);
    Sprite sprite;
    if (!f.u16(sprite.id) || !f.u16(sprite.frames))
        return problemAt(Problem::FieldsTooShort, tag);
    const View inner = f.rest();
    TagReader reader(body, inner);
    std::size_t used = 0;
    while (!reader.atEnd()) {
        const Parsed<TagHeader> next = reader.next();
        if (!next.ok()) {
            Problem p = problemAt(Problem::SpriteListBroken, tag);
            p.count = next.problem().offset;
            return p;
        }
        const TagHeader &child = next.value();
        used = std::size_t(child.payload.data + child.payload.size - inner.data);
        if (child.code == int(TagCode::End)) {
            sprite.hasEnd = true;
            break;
        }
    }
    sprite.tags = View{inner.data, used};
    sprite.extra = inner.size - used;
    return record(sprite);
}

} // namespace

const char *tagName(int code)
{
    switch (TagCode(code)) {
    case TagCode::End:
        return "End";
    case TagCode::ShowFrame:
        return "ShowFrame";
    case TagCode::DefineBitsLossless:
        return "DefineBitsLossless";
    case TagCode::DefineBitsLossless2:
        return "DefineBitsLossless2";
    case TagCode::DefineSprite:
        return "DefineSprite";
    case TagCode::FrameLabel:
        return "FrameLabel";
    case TagCode::ExportAssets:
        return "ExportAssets";
    case TagCode::SymbolClass:
        return "SymbolClass";
    case TagCode::DefineBinaryData:
        return "DefineBinaryData";
    }
    return nullptr;
}

std::string tagAt(int code, std::size_t offset)
{
    std::string text = "tag " + decimal(code);
    if (const char *name = tagName(code))
        text += std::string(" (") + name + ")";
    return text + " at offset " + decimal(std::int64_t(offset));
}

std::string describe(const Problem &problem)
{
    const std::string text = problem.kind == Problem::HeaderTooShort
                                 ? std::string()
                                 : tagAt(problem.code, problem.offset);
    switch (problem.kind) {
    case Problem::HeaderTooShort:
        return decimal(std::int64_t(problem.count)) + " byte at offset " +
               decimal(std::int64_t(problem.offset)) + " is too short for a tag header; ignored";
    case Problem::LongHeaderCut:
        return text + ": the body ends inside its long tag header; ignored";
    case Problem::PastEnd:
        return text + " claims " + decimal(std::int64_t(problem.count)) + " bytes, but only " +
               decimal(std::int64_t(problem.left)) + " are left; not written";
    case Problem::FieldsTooShort:
        return text + " is too short for its fields; written as UnknownTag";
    case Problem::NestedTooDeep:
        return text + " is nested more than " + decimal(kMaxSpriteDepth) +
               " sprites deep; written as UnknownTag";
    case Problem::SpriteListBroken:
        return text + ": its tag list breaks off at offset " +
               decimal(std::int64_t(problem.count)) + "; written as UnknownTag";
    }
    return text;
}

MovieHeader readMovieHeader(View body)
{
    MovieHeader header;
    Bits bits(body);
    std::uint32_t nbits = 0;
    header.hasRect = bits.take(5, nbits);
    for (int i = 0; header.hasRect && i < 4; ++i) {
        std::uint32_t v = 0;
        header.hasRect = bits.take(int(nbits), v);
        // Sign-extend from nbits.
        header.rect[i] = nbits && (v >> (nbits - 1)) & 1
                             ? std::int64_t(v) - (std::int64_t(1) << nbits)
                             : std::int64_t(v);
    }
    const std::size_t rectSize = bits.bytesUsed();
    header.hasRate = header.hasRect && body.size - rectSize >= 2;
    header.hasCount = header.hasRect && body.size - rectSize >= 4;
    if (header.hasRate) {
        header.rateFraction = body.data[rectSize];
        header.rateWhole = body.data[rectSize + 1];
    }
    if (header.hasCount) {
        header.frames = unsigned(body.data[rectSize + 2] | body.data[rectSize + 3] << 8);
        header.tags = View{body.data + rectSize + 4, body.size - rectSize - 4};
    }
    return header;
}

Parsed<TagHeader> TagReader::next()
{
    const unsigned char *p = list.data + pos;
    const std::size_t left = list.size - pos;
    TagHeader tag;
    tag.offset = std::size_t(p - body) + 8;
    if (left < 2) {
        pos = list.size;
        Problem problem{Problem::HeaderTooShort};
        problem.offset = tag.offset;
        problem.count = left;
        return problem;
    }
    const unsigned codeAndLength = unsigned(p[0]) | unsigned(p[1]) << 8;
    tag.code = int(codeAndLength >> 6);
    std::size_t length = codeAndLength & 0x3F;
    std::size_t headerSize = 2;
    if (length == 0x3F) {
        if (left < 6) {
            pos = list.size;
            return problemAt(Problem::LongHeaderCut, tag);
        }
        length = std::size_t(p[2]) | std::size_t(p[3]) << 8 | std::size_t(p[4]) << 16 |
                 std::size_t(p[5]) << 24;
        headerSize = 6;
    }
    if (length > left - headerSize) {
        pos = list.size;
        Problem problem = problemAt(Problem::PastEnd, tag);
        problem.count = length;
        problem.left = left - headerSize;
        return problem;
    }
    tag.payload = View{p + headerSize, length};
    pos += headerSize + length;
    return tag;
}

Parsed<Record> readRecord(const unsigned char *body, const TagHeader &tag, int depth)
{
    switch (TagCode(tag.code)) {
    case TagCode::End:
    case TagCode::ShowFrame:
        // An unexpected payload is kept.
        if (tag.payload.size == 0)
            return record(Marker{});
        return record(Opaque{});
    case TagCode::DefineBitsLossless:
    case TagCode::DefineBitsLossless2:
        return readLosslessBitmap(tag);
    case TagCode::DefineSprite:
        return readSprite(body, tag, depth);
    case TagCode::FrameLabel:
        return readFrameLabel(tag);
    case TagCode::ExportAssets:
    case TagCode::SymbolClass:
        return readSymbolList(tag);
    case TagCode::DefineBinaryData:
        return readBinaryData(tag);
    }
    return record(Opaque{});
}

} // namespace swfxml
