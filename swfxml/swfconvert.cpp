// Writing a loaded movie as XML: the header, then every tag in file order,
// each read into its record (tags.h) before anything of it is written.

#include "swfxml/swfconvert.h"

#include "swfxml/codec.h"
#include "swfxml/tags.h"
#include "swfxml/xmlout.h"

#include <cstring>

namespace swfxml
{

namespace
{

// Indentation of the element of a tag at `depth`.
int levelOf(int depth)
{
    return 3 + 2 * depth;
}

class Writer
{
public:
    Writer(const Movie &movie, Sink &sink, const Warn &warn)
        : movie(movie), out(sink), warn(warn), utf8(movie.version >= 6),
          body(reinterpret_cast<const unsigned char *>(movie.body.data()))
    {
    }

    bool run();

private:
    void report(const std::string &message) { warn(message.c_str()); }
    void header(const MovieHeader &header);
    void tagList(View list, int depth);
    void tag(const TagHeader &tag, int depth);

    // One per record kind, for a tag at `depth`.
    void write(const TagHeader &tag, const Marker &, int depth);
    void write(const TagHeader &tag, const Opaque &, int depth);
    void write(const TagHeader &tag, const FrameLabel &label, int depth);
    void write(const TagHeader &tag, const SymbolList &list, int depth);
    void write(const TagHeader &tag, const LosslessBitmap &bitmap, int depth);
    void write(const TagHeader &tag, const BinaryData &binary, int depth);
    void write(const TagHeader &tag, const Sprite &sprite, int depth);

    void unknown(const TagHeader &tag, int level);
    void dataElement(View data, int level);
    void open(const char *element);
    void close(const char *element);

    const Movie &movie;
    XmlOut out;
    const Warn &warn;
    const bool utf8;
    const unsigned char *body;
};

bool Writer::run()
{
    out.lit("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<swf version=\"");
    out.number(movie.version);
    out.lit("\" compressed=\"");
    out.lit(movie.compressed() ? "1" : "0");
    out.lit("\">");
    const MovieHeader movieHeader = readMovieHeader(View{body, movie.body.size()});
    header(movieHeader);
    out.newline(2);
    if (movieHeader.tags.size > 0) {
        out.lit("<tags>");
        tagList(movieHeader.tags, 0);
        out.newline(2);
        out.lit("</tags>");
    } else {
        out.lit("<tags/>");
        if (movieHeader.hasCount)
            report("no tags: the body ends after the movie header");
    }
    out.newline(1);
    out.lit("</Header>\n</swf>\n");
    return out.flush();
}

void Writer::header(const MovieHeader &h)
{
    out.newline(1);
    out.lit("<Header");
    if (h.hasRate) {
        out.lit(" framerate=\"");
        out.number(h.rateWhole);
        if (h.rateFraction) {
            // fraction / 256 has at most 8 decimal places: 1/256 = 0.00390625.
            char digits[9];
            unsigned f = h.rateFraction * 390625;
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
    if (h.hasCount) {
        out.lit(" frames=\"");
        out.number(h.frames);
        out.lit("\"");
    }
    out.lit(">");
    if (h.hasRect) {
        out.newline(2);
        out.lit("<size>");
        out.newline(3);
        out.lit("<Rectangle left=\"");
        out.number(h.rect[0]);
        out.lit("\" right=\"");
        out.number(h.rect[1]);
        out.lit("\" top=\"");
        out.number(h.rect[2]);
        out.lit("\" bottom=\"");
        out.number(h.rect[3]);
        out.lit("\"/>");
        out.newline(2);
        out.lit("</size>");
    }
    if (!h.hasCount)
        report("the body ends inside the movie header (" +
               decimal(std::int64_t(movie.body.size())) + " bytes); no tags");
}

// The tags of the file (depth 0) or of a sprite (depth >= 1). The top-level
// list goes on after End until the body ends; a sprite's list is read up to
// its End only.
void Writer::tagList(View list, int depth)
{
    TagReader reader(body, list);
    bool sawEnd = false;
    while (!reader.atEnd() && out.ok()) {
        const Parsed<TagHeader> next = reader.next();
        if (!next.ok()) {
            report(describe(next.problem()));
            return;
        }
        tag(next.value(), depth);
        sawEnd = sawEnd || next.value().code == int(TagCode::End);
    }
    // An output that stopped taking the document stopped the reading too.
    if (!sawEnd && depth == 0 && out.ok())
        report("no End tag before the end of the body");
}

void Writer::tag(const TagHeader &tag, int depth)
{
    out.newline(levelOf(depth));
    const Parsed<Record> record = readRecord(body, tag, depth);
    if (!record.ok()) {
        report(describe(record.problem()));
        unknown(tag, levelOf(depth));
        return;
    }
    std::visit([&](const auto &r) { write(tag, r, depth); }, record.value());
}

void Writer::write(const TagHeader &tag, const Marker &, int)
{
    if (tag.code == int(TagCode::End))
        out.lit("<End/>");
    else
        out.lit("<ShowFrame/>");
}

void Writer::write(const TagHeader &tag, const Opaque &, int depth)
{
    unknown(tag, levelOf(depth));
}

void Writer::write(const TagHeader &, const FrameLabel &label, int depth)
{
    const int level = levelOf(depth);
    out.lit("<FrameLabel label=\"");
    out.attributeText(label.name.chars(), label.name.size, utf8);
    out.lit("\">");
    out.newline(level + 1);
    if (label.flags.size == 0) {
        out.lit("<flags/>");
    } else {
        out.lit("<flags><data>");
        out.base64(label.flags.chars(), label.flags.size);
        out.lit("</data></flags>");
    }
    out.newline(level);
    out.lit("</FrameLabel>");
}

void Writer::write(const TagHeader &tag, const SymbolList &list, int depth)
{
    const int level = levelOf(depth);
    const char *element = tag.code == int(TagCode::ExportAssets) ? "Export" : "SymbolClass";
    open(element);
    out.lit(">");
    out.newline(level + 1);
    if (list.symbols.empty()) {
        out.lit("<symbols/>");
    } else {
        out.lit("<symbols>");
        for (const Symbol &symbol : list.symbols) {
            out.newline(level + 2);
            out.lit("<Symbol objectID=\"");
            out.number(symbol.id);
            out.lit("\" name=\"");
            out.attributeText(symbol.name.chars(), symbol.name.size, utf8);
            out.lit("\"/>");
        }
        out.newline(level + 1);
        out.lit("</symbols>");
    }
    out.newline(level);
    close(element);
    if (list.extra)
        report(tagAt(tag.code, tag.offset) + ": " + decimal(std::int64_t(list.extra)) +
               " bytes after the last symbol ignored");
}

void Writer::write(const TagHeader &tag, const LosslessBitmap &bitmap, int depth)
{
    const int level = levelOf(depth);
    const char *element = tagName(tag.code);
    open(element);
    out.lit(" objectID=\"");
    out.number(bitmap.id);
    out.lit("\" format=\"");
    out.number(bitmap.format);
    out.lit("\" width=\"");
    out.number(bitmap.width);
    out.lit("\" height=\"");
    out.number(bitmap.height);
    if (bitmap.format == 3) {
        out.lit("\" n_colormap=\"");
        out.number(bitmap.colorTableSize);
    }
    out.lit("\">");
    dataElement(bitmap.data, level + 1);
    out.newline(level);
    close(element);
}

void Writer::write(const TagHeader &, const BinaryData &binary, int depth)
{
    const int level = levelOf(depth);
    out.lit("<DefineBinaryData objectID=\"");
    out.number(binary.id);
    out.lit("\">");
    dataElement(binary.data, level + 1);
    out.newline(level);
    out.lit("</DefineBinaryData>");
}

void Writer::write(const TagHeader &tag, const Sprite &sprite, int depth)
{
    const int level = levelOf(depth);
    if (!sprite.hasEnd)
        report(tagAt(tag.code, tag.offset) + ": its tag list has no End tag");
    else if (sprite.extra)
        report(tagAt(tag.code, tag.offset) + ": " + decimal(std::int64_t(sprite.extra)) +
               " bytes after its End tag ignored");
    out.lit("<DefineSprite objectID=\"");
    out.number(sprite.id);
    out.lit("\" frames=\"");
    out.number(sprite.frames);
    out.lit("\">");
    out.newline(level + 1);
    if (sprite.tags.size == 0) {
        out.lit("<tags/>");
    } else {
        out.lit("<tags>");
        tagList(sprite.tags, depth + 1);
        out.newline(level + 1);
        out.lit("</tags>");
    }
    out.newline(level);
    out.lit("</DefineSprite>");
}

// <data><data>BASE64</data></data>, the inner one empty for no bytes.
void Writer::dataElement(View data, int level)
{
    out.newline(level);
    out.lit("<data>");
    out.newline(level + 1);
    if (data.size == 0) {
        out.lit("<data/>");
    } else {
        out.lit("<data>");
        out.base64(data.chars(), data.size);
        out.lit("</data>");
    }
    out.newline(level);
    out.lit("</data>");
}

void Writer::unknown(const TagHeader &tag, int level)
{
    char id[16];
    static const char hex[] = "0123456789ABCDEF";
    // Upper-case hexadecimal, at least two digits (codes are 10 bits).
    const int code = tag.code;
    int n = 0;
    id[n++] = '0';
    id[n++] = 'x';
    if (code > 0xFF)
        id[n++] = hex[(code >> 8) & 0xF];
    id[n++] = hex[(code >> 4) & 0xF];
    id[n++] = hex[code & 0xF];
    out.lit("<UnknownTag id=\"");
    out.raw(id, std::size_t(n));
    if (tag.payload.size == 0) {
        out.lit("\"/>");
        return;
    }
    out.lit("\">");
    out.newline(level + 1);
    out.lit("<data>");
    out.base64(tag.payload.chars(), tag.payload.size);
    out.lit("</data>");
    out.newline(level);
    out.lit("</UnknownTag>");
}

void Writer::open(const char *element)
{
    out.lit("<");
    out.raw(element, std::strlen(element));
}

void Writer::close(const char *element)
{
    out.lit("</");
    out.raw(element, std::strlen(element));
    out.lit(">");
}

} // namespace

bool writeXml(const Movie &movie, Sink &sink, const Warn &warn)
{
    std::size_t warnings = 0;
    const Warn report = [&warn, &warnings](const char *message) {
        if (warn && ++warnings <= kMaxWarnings)
            warn(message);
    };
    // Nearly all of a document is its tags' data in base64, 4 characters for
    // every 3 bytes; the elements around them add a little.
    sink.expect(movie.body.size() / 3 * 4 + (std::size_t(64) << 10));
    Writer writer(movie, sink, report);
    const bool written = writer.run();
    if (warn && warnings > kMaxWarnings) {
        const std::string more =
            std::to_string(warnings - kMaxWarnings) + " more warnings like these not shown";
        warn(more.c_str());
    }
    return written;
}

Result convert(Source &source, Sink &sink, std::string *error, const Warn &warn)
{
    Movie movie;
    if (!load(source, movie, error, warn))
        return Result::Refused;
    return writeXml(movie, sink, warn) ? Result::Converted : Result::OutputFailed;
}

Result convert(const char *data, std::size_t size, std::string &xml, std::string *error,
               const Warn &warn)
{
    MemorySource source(data, std::int64_t(size));
    AppendSink<std::string> sink(xml);
    return convert(source, sink, error, warn);
}

Result convertFile(const char *path, Sink &sink, std::string *error, const Warn &warn, int stopFd)
{
    Movie movie;
    if (!loadFile(path, movie, error, warn, stopFd))
        return Result::Refused;
    return writeXml(movie, sink, warn) ? Result::Converted : Result::OutputFailed;
}

} // namespace swfxml
