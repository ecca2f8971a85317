#pragma once

// SWF to XML conversion, usable without the command-line tool: a file (or any
// byte source) is read and decompressed into memory, then its tags are
// written as one XML document to a sink, a piece at a time.
//
// Nothing here keeps state between calls: each conversion owns its buffers
// and decompressors, so several may run at once on different threads (each
// on its own source, sink and Warn; a Warn is called on the thread that
// converts).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

namespace swfxml
{

// Largest FileLength read in full (512 MiB). The decompressed body is held in
// memory and never grows past this cap less the 8 header bytes (nor, when
// compressed, past FileLength - 8). A header claiming more is not believed:
// the body is what the data holds, up to the cap.
inline constexpr std::uint32_t kMaxFileLength = std::uint32_t(512) << 20;

// Sprites nested deeper than this (a top-level DefineSprite is depth 1) are
// written as UnknownTag, so hostile nesting can't exhaust the stack.
inline constexpr int kMaxSpriteDepth = 8;

// Where the XML text goes.
class Sink
{
public:
    virtual ~Sink() = default;
    // Takes `size` bytes; false when they could not be written.
    virtual bool write(const char *data, std::size_t size) = 0;
    // About this many bytes will follow (a hint, given before the first
    // write): a sink that holds them can make room once.
    virtual void expect(std::size_t) {}
};

// Appends the XML to a byte string: std::string, or any type with
// append(const char *, size) and reserve(size).
template <typename Bytes> class AppendSink : public Sink
{
public:
    explicit AppendSink(Bytes &out) : out(out) {}
    bool write(const char *data, std::size_t size) override
    {
        out.append(data, size);
        return true;
    }
    // Growing by doubling would copy a large document about once more and
    // fault in twice its pages.
    void expect(std::size_t size) override { out.reserve(out.size() + size); }

private:
    Bytes &out;
};

// Where the SWF bytes come from.
class Source
{
public:
    virtual ~Source() = default;
    // Reads up to `max` bytes into `buffer`: the count read, 0 at the end,
    // -1 on a read error.
    virtual std::int64_t read(char *buffer, std::int64_t max) = 0;
    // Bytes left to read when known (regular file, memory), else -1.
    virtual std::int64_t remaining() const { return -1; }
    // Why the last read failed.
    virtual std::string errorString() const { return "read error"; }
};

// Bytes already in memory (not copied; they must outlive the source).
class MemorySource : public Source
{
public:
    MemorySource(const char *data, std::int64_t size) : data(data), size(size) {}
    // Any byte string with data() and size().
    template <typename Bytes, typename = decltype(std::declval<const Bytes &>().data())>
    explicit MemorySource(const Bytes &bytes)
        : MemorySource(bytes.data(), std::int64_t(bytes.size()))
    {
    }
    std::int64_t read(char *buffer, std::int64_t max) override;
    std::int64_t remaining() const override { return size - pos; }

private:
    const char *data;
    std::int64_t size;
    std::int64_t pos = 0;
};

// Receives one line of text (no line break) for each problem found in a file
// that is still converted: a FileLength that disagrees with the data or is
// beyond the cap, a broken compressed stream, a tag running past the end, a
// malformed tag.
using Warn = std::function<void(const char *message)>;

// A document gets at most this many warnings from writeXml(), and then one
// more that says how many were left out: a small file can hold millions of
// broken tags.
inline constexpr std::size_t kMaxWarnings = 100;

// Owned, growable byte buffer (realloc-based, so growing a large one does
// not copy it).
class Buffer
{
public:
    Buffer() = default;
    ~Buffer();
    Buffer(Buffer &&other) noexcept;
    Buffer &operator=(Buffer &&other) noexcept;
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;

    const char *data() const { return ptr; }
    char *data() { return ptr; }
    std::size_t size() const { return used; }
    std::size_t capacity() const { return cap; }
    // Makes room for at least `capacity` bytes in total; false when out of memory.
    bool reserve(std::size_t capacity);
    void setSize(std::size_t size) { used = size; }
    // Gives unused capacity back.
    void shrink();

private:
    char *ptr = nullptr;
    std::size_t used = 0;
    std::size_t cap = 0;
};

// A file read into memory: its header and its decompressed body (everything
// after the first 8 bytes: FrameSize, FrameRate, FrameCount and the tags).
struct Movie {
    char signature = 0; // 'F', 'C' or 'Z'
    int version = 0;
    std::uint32_t fileLength = 0; // as the header gives it
    Buffer body;

    bool compressed() const { return signature != 'F'; }
};

enum class Result {
    Converted,   // the whole document was written; problems went to Warn
    Refused,     // not an SWF file, or not readable at all: nothing written
    OutputFailed // the sink failed: the document is incomplete
};

// Reads and decompresses a whole file. Returns false, with the reason in
// `error` (one line, e.g. `not an SWF file (signature "Thi")`), when the data
// is not an SWF file or can't be decompressed at all; nothing of it should
// then be written. Problems that still leave a readable body are reported
// through `warn`.
bool load(Source &source, Movie &movie, std::string *error, const Warn &warn);

// load() from the file at `path` (bytes as the system takes them, opened
// with open(2)); a file that can't be opened, or a folder, is refused with
// the reason in `error` (`can't open: No such file or directory`). With
// `stopFd`, a pipe or device waits neither for a writer nor for data once
// that descriptor is readable: the file is then refused ("read error:
// stopped").
bool loadFile(const char *path, Movie &movie, std::string *error, const Warn &warn,
              int stopFd = -1);

// Writes the XML document of a loaded movie. The document is always
// well-formed: tags are written until the end of the body or the first tag
// that can't be read, then every element is closed. Returns false as soon as
// the sink fails.
bool writeXml(const Movie &movie, Sink &sink, const Warn &warn);

// load() then writeXml(). `error` gets the reason of a refusal; the XML is
// appended to what `sink` or `xml` already holds.
Result convert(Source &source, Sink &sink, std::string *error, const Warn &warn);
Result convert(const char *data, std::size_t size, std::string &xml, std::string *error = nullptr,
               const Warn &warn = {});
Result convertFile(const char *path, Sink &sink, std::string *error = nullptr,
                   const Warn &warn = {}, int stopFd = -1);

// convert() between byte strings of any one type with data(), size(),
// append(const char *, size) and a (const char *, size) constructor. (The
// type of `error` is not deduced, so that it may be nullptr.)
template <typename Bytes>
Result convert(const Bytes &swf, Bytes &xml, std::remove_reference_t<Bytes> *error = nullptr,
               const Warn &warn = {})
{
    MemorySource source(swf);
    AppendSink<Bytes> sink(xml);
    std::string reason;
    const Result result = convert(source, sink, &reason, warn);
    if (error && result != Result::Converted)
        *error = Bytes(reason.data(), reason.size());
    return result;
}

} // namespace swfxml
