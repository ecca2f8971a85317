#pragma once

// SWF to XML conversion, usable without the command-line tool: a file (or any
// byte source) is read and decompressed into memory, then its tags are
// written as one XML document to a sink, a piece at a time.

#include <QByteArray>

#include <cstddef>
#include <functional>

namespace swfxml
{

// Largest FileLength accepted (512 MiB). The decompressed body is held in
// memory and never grows past FileLength - 8, so this bounds the memory a
// file can make the converter take; a header claiming more is refused.
inline constexpr quint32 kMaxFileLength = quint32(512) << 20;

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
};

// Collects the XML in memory.
class ByteArraySink : public Sink
{
public:
    explicit ByteArraySink(QByteArray &out) : out(out) {}
    bool write(const char *data, std::size_t size) override;

private:
    QByteArray &out;
};

// Where the SWF bytes come from.
class Source
{
public:
    virtual ~Source() = default;
    // Reads up to `max` bytes into `buffer`: the count read, 0 at the end,
    // -1 on a read error.
    virtual qint64 read(char *buffer, qint64 max) = 0;
    // Bytes left to read when known (regular file, memory), else -1.
    virtual qint64 remaining() const { return -1; }
    // Why the last read failed.
    virtual QByteArray errorString() const { return "read error"; }
};

// Bytes already in memory (not copied; they must outlive the source).
class MemorySource : public Source
{
public:
    MemorySource(const char *data, qint64 size) : data(data), size(size) {}
    explicit MemorySource(const QByteArray &bytes) : MemorySource(bytes.constData(), bytes.size())
    {
    }
    qint64 read(char *buffer, qint64 max) override;
    qint64 remaining() const override { return size - pos; }

private:
    const char *data;
    qint64 size;
    qint64 pos = 0;
};

// Receives one line of text (no line break) for each problem found in a file
// that is still converted: a FileLength that disagrees with the data, a
// broken compressed stream, a tag running past the end, a malformed tag.
using Warn = std::function<void(const QByteArray &message)>;

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
    quint32 fileLength = 0;
    Buffer body;

    bool compressed() const { return signature != 'F'; }
};

// Reads and decompresses a whole file. Returns false, with the reason in
// `error` (one line, e.g. `not an SWF file (signature "Thi")`), when the data
// is not an SWF file, is refused or can't be decompressed at all; nothing of
// it should then be written. Problems that still leave a readable body are
// reported through `warn`.
bool load(Source &source, Movie &movie, QByteArray *error, const Warn &warn);

// Writes the XML document of a loaded movie. The document is always
// well-formed: tags are written until the end of the body or the first tag
// that can't be read, then every element is closed. Returns false as soon as
// the sink fails.
bool writeXml(const Movie &movie, Sink &sink, const Warn &warn);

enum class Result { Converted, Refused, OutputFailed };

// load() then writeXml(): the in-memory entry point.
Result convert(Source &source, Sink &sink, QByteArray *error, const Warn &warn);
Result convert(const QByteArray &swf, QByteArray &xml, QByteArray *error = nullptr,
               const Warn &warn = {});

} // namespace swfxml
