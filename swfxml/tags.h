#pragma once

// The decoded form of a movie body: the movie header, and one typed record
// per tag. Records hold views into the body (which must outlive them), never
// copies of it. Every reading function checks its bounds and returns either
// its record or the Problem that stopped it, with the offset where the file
// broke.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace swfxml
{

enum class TagCode : int {
    End = 0,
    ShowFrame = 1,
    DefineBitsLossless = 20,
    DefineBitsLossless2 = 36,
    DefineSprite = 39,
    FrameLabel = 43,
    ExportAssets = 56,
    SymbolClass = 76,
    DefineBinaryData = 87,
};

// Name of a tag the converter reads, or nullptr.
const char *tagName(int code);

// Bytes inside the body.
struct View {
    const unsigned char *data = nullptr;
    std::size_t size = 0;

    const char *chars() const { return reinterpret_cast<const char *>(data); }
};

// What stopped a reading function, and where. Offsets count from the start
// of the file as if it were not compressed.
struct Problem {
    enum Kind {
        HeaderTooShort,   // `count` bytes at `offset` can't hold a tag header
        LongHeaderCut,    // the body ends inside the long header of the tag at `offset`
        PastEnd,          // the tag claims `count` bytes where `left` are there
        FieldsTooShort,   // the tag's payload ends inside its fields
        NestedTooDeep,    // a sprite deeper than kMaxSpriteDepth
        SpriteListBroken, // a sprite's own tag list breaks off at offset `count`
    };
    Kind kind;
    int code = 0;
    std::size_t offset = 0;
    std::size_t count = 0;
    std::size_t left = 0;
};

// One line for a warning, e.g. "tag 36 (DefineBitsLossless2) at offset 1234
// is too short for its fields; written as UnknownTag".
std::string describe(const Problem &problem);

// "tag 36 (DefineBitsLossless2) at offset 1234": how every message names a tag.
std::string tagAt(int code, std::size_t offset);

// Either a value or the Problem that stopped its reading.
template <typename T> class Parsed
{
public:
    Parsed(T value) : state(std::move(value)) {}
    Parsed(const Problem &problem) : state(problem) {}
    // The value made in place from `args`.
    template <typename... Args>
    explicit Parsed(std::in_place_t, Args &&...args)
        : state(std::in_place_index<0>, std::forward<Args>(args)...)
    {
    }

    bool ok() const { return state.index() == 0; }
    const T &value() const { return *std::get_if<0>(&state); }
    const Problem &problem() const { return *std::get_if<1>(&state); }

private:
    std::variant<T, Problem> state;
};

// FrameSize, FrameRate and FrameCount: whatever of them the body holds.
struct MovieHeader {
    bool hasRect = false;
    std::int64_t rect[4] = {}; // Xmin, Xmax, Ymin, Ymax in twips
    bool hasRate = false;
    unsigned rateWhole = 0, rateFraction = 0; // 8.8 fixed point, as two bytes
    bool hasCount = false;
    unsigned frames = 0;
    View tags; // the top-level tag list; empty when the body ends before it
};

MovieHeader readMovieHeader(View body);

struct TagHeader {
    int code = 0;
    std::size_t offset = 0; // of the tag header, in the file
    View payload;
};

// Tag headers of one tag list, in order. After a Problem the list is over.
class TagReader
{
public:
    // `body` is the start of the movie body, for offsets.
    TagReader(const unsigned char *body, View list) : body(body), list(list) {}
    bool atEnd() const { return pos >= list.size; }
    Parsed<TagHeader> next();

private:
    const unsigned char *body;
    View list;
    std::size_t pos = 0;
};

// ---- Records ----

// End or ShowFrame without a payload.
struct Marker {
};

// Any other tag, and a known tag kept whole (End or ShowFrame with a payload):
// written with the tag's payload as it is.
struct Opaque {
};

struct FrameLabel {
    View name;  // without its terminating null
    View flags; // the named-anchor byte, and anything else after the name
};

struct Symbol {
    std::uint16_t id = 0;
    View name;
};

// SymbolClass and ExportAssets.
struct SymbolList {
    std::vector<Symbol> symbols;
    std::size_t extra = 0; // bytes after the last symbol
};

// DefineBitsLossless and DefineBitsLossless2.
struct LosslessBitmap {
    std::uint16_t id = 0;
    unsigned format = 0;
    std::uint16_t width = 0, height = 0;
    unsigned colorTableSize = 0; // only read for format 3
    View data;                   // the zlib stream, colour table included
};

struct BinaryData {
    std::uint16_t id = 0;
    View data;
};

struct Sprite {
    std::uint16_t id = 0;
    std::uint16_t frames = 0;
    // Its tag list up to its End (or to its end when there is none); every
    // header in it has been read, so reading them again can't fail.
    View tags;
    bool hasEnd = false;
    std::size_t extra = 0; // bytes after its End
};

using Record =
    std::variant<Marker, Opaque, FrameLabel, SymbolList, LosslessBitmap, BinaryData, Sprite>;

// The record of a tag at `depth` (0 for the top-level list, n inside a
// sprite of depth n). A problem means the tag is to be kept whole as an
// unknown tag.
Parsed<Record> readRecord(const unsigned char *body, const TagHeader &tag, int depth);

} // namespace swfxml
