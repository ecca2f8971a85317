// Reading a file into memory: header checks and decompression of the body.

#include "swfxml/swfconvert.h"

#include "swfxml/codec.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace swfxml
{

// ---- Buffer, sources and sinks ----

namespace
{

// Asks the kernel to back the 2 MiB-aligned part of a large block with huge
// pages. A converted body of tens of megabytes is written once from start to
// end, and faulting it in 4 KiB at a time costs about a quarter of the
// conversion; with huge pages that mostly goes. A kernel that won't (or has
// none free) keeps small pages, so nothing depends on it.
void adviseHugePages([[maybe_unused]] char *block, [[maybe_unused]] std::size_t size)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
    if (size < 2 * kHugePage)
        return;
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (start + size) & ~(kHugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

} // namespace

Buffer::~Buffer()
{
    std::free(ptr);
}

Buffer::Buffer(Buffer &&other) noexcept : ptr(other.ptr), used(other.used), cap(other.cap)
{
    other.ptr = nullptr;
    other.used = other.cap = 0;
}

Buffer &Buffer::operator=(Buffer &&other) noexcept
{
    if (this != &other) {
        std::free(ptr);
        ptr = other.ptr;
        used = other.used;
        cap = other.cap;
        other.ptr = nullptr;
        other.used = other.cap = 0;
    }
    return *this;
}

bool Buffer::reserve(std::size_t capacity)
{
    if (capacity <= cap)
        return true;
    // realloc() moves large blocks by remapping pages, not by copying, but
    // only while the block's mapping is whole: advice splits it. So only a
    // first allocation, made at the size the block is expected to reach, is
    // advised; a block grown step by step (read from a pipe) keeps small
    // pages and grows without copies.
    const bool first = ptr == nullptr;
    char *grown = static_cast<char *>(std::realloc(ptr, capacity));
    if (!grown)
        return false;
    ptr = grown;
    cap = capacity;
    if (first)
        adviseHugePages(ptr, cap);
    return true;
}

void Buffer::shrink()
{
    if (used == cap)
        return;
    if (used == 0) {
        std::free(ptr);
        ptr = nullptr;
        cap = 0;
        return;
    }
    if (char *smaller = static_cast<char *>(std::realloc(ptr, used))) {
        ptr = smaller;
        cap = used;
    }
}

std::int64_t MemorySource::read(char *buffer, std::int64_t max)
{
    const std::int64_t n = std::min(max, size - pos);
    if (n > 0) {
        std::memcpy(buffer, data + pos, std::size_t(n));
        pos += n;
    }
    return n;
}

namespace
{

constexpr std::size_t kInputChunk = std::size_t(1) << 18;
// First allocation for a body whose final size is not known yet.
constexpr std::size_t kInitialBody = std::size_t(1) << 20;
// A file and its body that are read whole and inflated at once whatever
// their ratio: together at most this size.
constexpr std::size_t kSmallWhole = std::size_t(8) << 20;

// Reads until `size` bytes or the end; the count read, -1 on error.
std::int64_t readUpTo(Source &source, char *buffer, std::int64_t size)
{
    std::int64_t done = 0;
    while (done < size) {
        const std::int64_t n = source.read(buffer + done, size - done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

// Room for more of a body that may not grow past `limit`: at least one byte
// while below it. Grows geometrically, starting from `expected` when known.
bool makeRoom(Buffer &body, std::size_t limit, std::size_t expected)
{
    if (body.size() < body.capacity() || body.size() >= limit)
        return true;
    std::size_t want = body.capacity() ? body.capacity() * 2 : std::max(expected, kInitialBody);
    want = std::min(want, limit);
    return body.reserve(want);
}

// `bytes` for a message: printable ASCII kept, anything else as \xNN.
std::string printable(const std::string &bytes)
{
    std::string out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += ch;
        } else {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// "512 MiB limit; read only its first 536870912 bytes": how a body cut at
// the cap is told.
std::string cutAtCap()
{
    return decimal(kMaxFileLength >> 20) + " MiB limit; read only its first " +
           decimal(kMaxFileLength) + " bytes";
}

// Says that a FileLength beyond the cap was not believed. Given once the
// body has been read, before what was found in it.
void warnCapped(const Movie &movie, const Warn &warn)
{
    warn(("FileLength " + decimal(movie.fileLength) + " is beyond the " +
          decimal(kMaxFileLength >> 20) + " MiB limit; reading what the stream holds, at most " +
          decimal(kMaxFileLength) + " bytes")
             .c_str());
}

// An uncompressed file: the body is whatever follows the header, up to the
// limit, whatever FileLength says.
bool loadPlain(Source &source, Movie &movie, std::string *error, const Warn &warn, bool capped)
{
    const std::size_t limit = kMaxFileLength - 8;
    const std::int64_t known = source.remaining();
    const std::size_t expected =
        known >= 0 ? std::min(std::size_t(known), limit) : std::min(kInitialBody, limit);
    Buffer &body = movie.body;
    if (!body.reserve(std::max<std::size_t>(expected, 1))) {
        *error = "out of memory";
        return false;
    }
    bool tooLarge = false;
    for (;;) {
        if (body.size() == body.capacity()) {
            // Full: one byte more tells whether the file goes on.
            char next;
            const std::int64_t n = source.read(&next, 1);
            if (n < 0) {
                *error = "read error: " + source.errorString();
                return false;
            }
            if (n == 0)
                break;
            if (body.size() >= limit) {
                tooLarge = true;
                break;
            }
            if (!makeRoom(body, limit, expected)) {
                *error = "out of memory";
                return false;
            }
            body.data()[body.size()] = next;
            body.setSize(body.size() + 1);
            continue;
        }
        const std::int64_t n =
            source.read(body.data() + body.size(), std::int64_t(body.capacity() - body.size()));
        if (n < 0) {
            *error = "read error: " + source.errorString();
            return false;
        }
        if (n == 0)
            break;
        body.setSize(body.size() + std::size_t(n));
    }
    body.shrink();
    if (capped)
        warnCapped(movie, warn);
    if (tooLarge)
        warn(("the file is larger than the " + cutAtCap()).c_str());
    const std::int64_t actual = std::int64_t(body.size()) + 8;
    if (!capped && actual != std::int64_t(movie.fileLength))
        warn(("FileLength in the header is " + decimal(movie.fileLength) + " but the file has " +
              decimal(actual) + " bytes; reading the bytes that are there")
                 .c_str());
    return true;
}

// What a decompressor produced.
struct Inflated {
    enum End { Complete, Truncated, Corrupt } end = Complete;
    std::string detail;  // the decompressor's own words for Corrupt
    bool excess = false; // more data than the body may hold
};

// Runs one decompression step: (input, output room) -> produced, and whether
// the stream ended or failed.
class Decoder
{
public:
    enum Status { Progress, StreamEnd, Failed };
    virtual ~Decoder() = default;
    virtual Status step(const unsigned char *&in, std::size_t &inSize, bool finish,
                        unsigned char *out, std::size_t &outSize) = 0;
    std::string detail;
};

class ZlibDecoder : public Decoder
{
public:
    ZlibDecoder() { ready = inflateInit(&zs) == Z_OK; }
    ~ZlibDecoder() override
    {
        if (ready)
            inflateEnd(&zs);
    }
    bool ready = false;

    Status step(const unsigned char *&in, std::size_t &inSize, bool, unsigned char *out,
                std::size_t &outSize) override
    {
        // zlib counts in uInt: hand it at most 1 GiB at a time.
        const uInt inChunk = uInt(std::min<std::size_t>(inSize, std::size_t(1) << 30));
        const uInt outChunk = uInt(std::min<std::size_t>(outSize, std::size_t(1) << 30));
        zs.next_in = const_cast<Bytef *>(in);
        zs.avail_in = inChunk;
        zs.next_out = out;
        zs.avail_out = outChunk;
        const int ret = inflate(&zs, Z_NO_FLUSH);
        const std::size_t consumed = inChunk - zs.avail_in;
        in += consumed;
        inSize -= consumed;
        outSize = outChunk - zs.avail_out;
        if (ret == Z_STREAM_END)
            return StreamEnd;
        if (ret == Z_OK || ret == Z_BUF_ERROR)
            return Progress;
        detail = zs.msg ? std::string(zs.msg) : "zlib error " + decimal(ret);
        return Failed;
    }

private:
    z_stream zs{};
};

class LzmaDecoder : public Decoder
{
public:
    ~LzmaDecoder() override { lzma_end(&strm); }

    // `properties`: the 5 bytes of lc/lp/pb and dictionary size. The
    // dictionary never needs to be larger than the whole output.
    bool init(const unsigned char *properties, std::size_t outputLimit)
    {
        lzma_filter filters[2];
        filters[0].id = LZMA_FILTER_LZMA1;
        filters[0].options = nullptr;
        filters[1].id = LZMA_VLI_UNKNOWN;
        filters[1].options = nullptr;
        if (lzma_properties_decode(&filters[0], nullptr, properties, 5) != LZMA_OK)
            return false;
        auto *options = static_cast<lzma_options_lzma *>(filters[0].options);
        const std::size_t dict = std::max<std::size_t>(outputLimit, LZMA_DICT_SIZE_MIN);
        if (options->dict_size > dict)
            options->dict_size = uint32_t(dict);
        const bool ok = lzma_raw_decoder(&strm, filters) == LZMA_OK;
        std::free(options);
        return ok;
    }

    Status step(const unsigned char *&in, std::size_t &inSize, bool finish, unsigned char *out,
                std::size_t &outSize) override
    {
        strm.next_in = in;
        strm.avail_in = inSize;
        strm.next_out = out;
        strm.avail_out = outSize;
        const lzma_ret ret = lzma_code(&strm, finish ? LZMA_FINISH : LZMA_RUN);
        in = strm.next_in;
        inSize = strm.avail_in;
        outSize -= strm.avail_out;
        if (ret == LZMA_STREAM_END)
            return StreamEnd;
        if (ret == LZMA_OK || ret == LZMA_BUF_ERROR)
            return Progress;
        detail = ret == LZMA_DATA_ERROR  ? std::string("corrupt LZMA data")
                 : ret == LZMA_MEM_ERROR ? std::string("out of memory")
                                         : "LZMA error " + decimal(ret);
        return Failed;
    }

private:
    lzma_stream strm = LZMA_STREAM_INIT;
};

// Decompresses the rest of `source` into `body`, stopping at `limit` bytes;
// then looks a little further to tell whether the stream held more.
// Returns false only on a read error.
bool decompress(Source &source, Decoder &decoder, Buffer &body, std::size_t limit, Inflated &result,
                std::string *error)
{
    std::unique_ptr<unsigned char[]> input(new unsigned char[kInputChunk]);
    const unsigned char *in = input.get();
    std::size_t inSize = 0;
    bool eof = false;
    unsigned char probe[4096];
    int stalls = 0;
    const std::int64_t known = source.remaining();
    // Typical compression: a guess for the first allocation only.
    const std::size_t expected = known >= 0 ? std::min(limit, std::size_t(known) * 4) : 0;

    for (;;) {
        if (inSize == 0 && !eof) {
            const std::int64_t n = source.read(reinterpret_cast<char *>(input.get()), kInputChunk);
            if (n < 0) {
                *error = "read error: " + source.errorString();
                return false;
            }
            eof = n == 0;
            in = input.get();
            inSize = std::size_t(n);
        }
        const bool full = body.size() >= limit;
        if (!full && !makeRoom(body, limit, expected)) {
            *error = "out of memory";
            return false;
        }
        unsigned char *out =
            full ? probe : reinterpret_cast<unsigned char *>(body.data()) + body.size();
        std::size_t outSize = full ? sizeof probe : body.capacity() - body.size();
        const std::size_t inBefore = inSize;
        const Decoder::Status status = decoder.step(in, inSize, eof, out, outSize);
        if (full) {
            if (outSize > 0) {
                result.excess = true;
                return true;
            }
        } else {
            body.setSize(body.size() + outSize);
        }
        if (status == Decoder::StreamEnd)
            return true;
        if (status == Decoder::Failed) {
            // Past the limit, a broken tail does not matter (unless nothing
            // at all could be decompressed).
            if (!full || body.size() == 0) {
                result.end = Inflated::Corrupt;
                result.detail = decoder.detail;
            }
            return true;
        }
        if (inSize == inBefore && outSize == 0) {
            // No progress: out of input, or a decoder that is stuck.
            if (eof && inSize == 0) {
                if (!full)
                    result.end = Inflated::Truncated;
                return true;
            }
            if (++stalls == 3) {
                if (!full || body.size() == 0) {
                    result.end = Inflated::Corrupt;
                    result.detail = "the decoder makes no progress";
                }
                return true;
            }
        } else {
            stalls = 0;
        }
    }
}

// A compressed file. With a FileLength beyond the cap (`capped`) the body
// is what the stream holds, up to the cap, and only damage to the stream is
// reported: its length says nothing.
bool loadCompressed(Source &source, Movie &movie, std::string *error, const Warn &warn, bool capped)
{
    const std::size_t limit = capped                 ? kMaxFileLength - 8
                              : movie.fileLength > 8 ? movie.fileLength - 8
                                                     : 0;
    // zlib's streaming decoder is made only when it is needed (see below).
    std::unique_ptr<Decoder> decoder;
    if (movie.signature == 'Z') {
        // Compressed length (u32, not needed: the stream runs to the end of
        // the file) and the LZMA properties.
        unsigned char lzmaHeader[9];
        const std::int64_t n = readUpTo(source, reinterpret_cast<char *>(lzmaHeader), 9);
        if (n < 0) {
            *error = "read error: " + source.errorString();
            return false;
        }
        if (n < 9) {
            *error =
                "file too short for an LZMA-compressed SWF header (" + decimal(8 + n) + " bytes)";
            return false;
        }
        auto lzma = std::make_unique<LzmaDecoder>();
        if (!lzma->init(lzmaHeader + 4, limit)) {
            *error = "body can't be decompressed (unsupported LZMA properties)";
            return false;
        }
        decoder = std::move(lzma);
    }

    Inflated result;
    // A zlib body from a file of known size is read whole and inflated in
    // one go, which is two to four times as fast as streaming, when holding
    // both costs little: the file is at most half the body (so at most half
    // the body again), or both together are small. Deflate packs at most
    // 1032 bytes into one, so a FileLength beyond that can't be met and
    // takes the streaming way without reserving room for it; so does a
    // FileLength beyond the cap, whose body is of unknown size.
    Buffer input;
    const std::int64_t known = source.remaining();
    // The body's room is taken before the file's: a small copy of the file
    // then lies on top of the heap, where the writing's buffer reuses its
    // pages once it is freed.
    const bool whole =
        movie.signature == 'C' && !capped && known > 0 &&
        (std::size_t(known) <= limit / 2 || std::size_t(known) + limit <= kSmallWhole) &&
        limit / 1032 <= std::size_t(known) && movie.body.reserve(limit) &&
        input.reserve(std::size_t(known));
    // A sound stream that fits is inflated in one call. Anything else (a
    // stream that is corrupt, cut short or longer than the limit) is left to
    // the streaming decompression, so that its warnings and the bytes kept
    // are exactly as always.
    bool inflated = false;
    if (whole) {
        const std::int64_t n = readUpTo(source, input.data(), known);
        if (n < 0) {
            *error = "read error: " + source.errorString();
            return false;
        }
        input.setSize(std::size_t(n));
        const std::ptrdiff_t produced =
            inflateWhole(input.data(), input.size(), movie.body.data(), limit);
        inflated = produced >= 0;
        movie.body.setSize(inflated ? std::size_t(produced) : 0);
    }
    if (!inflated) {
        if (!decoder) {
            auto zlib = std::make_unique<ZlibDecoder>();
            if (!zlib->ready) {
                *error = "out of memory";
                return false;
            }
            decoder = std::move(zlib);
        }
        MemorySource rest(input.data(), std::int64_t(input.size()));
        if (!decompress(whole ? rest : source, *decoder, movie.body, limit, result, error))
            return false;
    }
    input = Buffer();
    Buffer &body = movie.body;
    body.shrink();
    const std::string kind = movie.signature == 'C' ? "zlib" : "LZMA";
    if (body.size() == 0 && result.end != Inflated::Complete) {
        *error = "body can't be decompressed (" +
                 (result.end == Inflated::Corrupt ? result.detail
                                                  : kind + " stream ends before any data") +
                 ")";
        return false;
    }
    const std::string produced = decimal(std::int64_t(body.size()) + 8);
    const std::string fileLength = decimal(movie.fileLength);
    std::string message;
    if (capped)
        warnCapped(movie, warn);
    if (result.excess && capped)
        message = "the body decompresses to more than the " + cutAtCap();
    else if (result.excess)
        message = "the body decompresses to more than the " + fileLength +
                  " bytes FileLength gives; the rest is ignored";
    else if (result.end == Inflated::Corrupt)
        message = "the " + kind + " data is corrupt after " + produced + " of the " + fileLength +
                  " bytes FileLength gives (" + result.detail + ")";
    // Beyond the cap, FileLength says nothing of where the stream ends.
    else if (result.end == Inflated::Truncated && !capped)
        message = "the " + kind + " stream is cut short after " + produced + " of the " +
                  fileLength + " bytes FileLength gives";
    else if (body.size() < limit && !capped)
        message = "the body decompresses to " + produced + " bytes, not the " + fileLength +
                  " FileLength gives";
    if (!message.empty())
        warn(message.c_str());
    return true;
}

// The system's words for `err`, without strerror's shared buffer.
std::string errorText(int err)
{
    char buffer[256];
    // strerror_r returns the text (GNU) or fills the buffer (POSIX).
    struct Pick {
        const char *operator()(const char *text, const char *) const { return text; }
        const char *operator()(int, const char *filled) const { return filled; }
    };
    return Pick()(strerror_r(err, buffer, sizeof buffer), buffer);
}

// A file opened by its descriptor. With `stopFd`, a file of unknown size (a
// pipe, a device) is read once poll() finds data there or the stop readable.
class FdSource : public Source
{
public:
    FdSource(int fd, std::int64_t size, int stopFd)
        : fd(fd), left(size), stopFd(size < 0 ? stopFd : -1)
    {
    }
    std::int64_t read(char *buffer, std::int64_t max) override
    {
        for (;;) {
            if (stopFd >= 0) {
                pollfd waits[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
                if (::poll(waits, 2, -1) < 0 && errno != EINTR) {
                    error = errno;
                    return -1;
                }
                if (waits[1].revents != 0) {
                    stopped = true;
                    return -1;
                }
            }
            const ssize_t n = ::read(fd, buffer, std::size_t(max));
            if (n >= 0) {
                if (left >= 0)
                    left = n <= left ? left - n : 0;
                return n;
            }
            // Opened not to block, a pipe has nothing yet: poll() waits.
            if (errno != EINTR && (errno != EAGAIN || stopFd < 0)) {
                error = errno;
                return -1;
            }
        }
    }
    std::int64_t remaining() const override { return left; }
    std::string errorString() const override { return stopped ? "stopped" : errorText(error); }

private:
    int fd;
    std::int64_t left;
    int stopFd;
    int error = 0;
    bool stopped = false;
};

} // namespace

bool load(Source &source, Movie &movie, std::string *error, const Warn &warn)
{
    std::string dummy;
    if (!error)
        error = &dummy;
    const Warn report = warn ? warn : Warn([](const char *) {});

    char header[8];
    const std::int64_t n = readUpTo(source, header, 8);
    if (n < 0) {
        *error = "read error: " + source.errorString();
        return false;
    }
    if (n == 0) {
        *error = "not an SWF file (empty)";
        return false;
    }
    const std::string signature(header, std::size_t(std::min<std::int64_t>(n, 3)));
    if (signature != "FWS" && signature != "CWS" && signature != "ZWS") {
        *error = "not an SWF file (signature \"" + printable(signature) + "\")";
        return false;
    }
    if (n < 8) {
        *error = "file too short for an SWF header (" + decimal(n) + " bytes)";
        return false;
    }
    const auto *h = reinterpret_cast<const unsigned char *>(header);
    movie.signature = header[0];
    movie.version = h[3];
    movie.fileLength = std::uint32_t(h[4]) | std::uint32_t(h[5]) << 8 | std::uint32_t(h[6]) << 16 |
                       std::uint32_t(h[7]) << 24;
    // Memory never follows a header beyond the cap: such a body is read as
    // far as the data goes, up to the cap.
    const bool capped = movie.fileLength > kMaxFileLength;
    return movie.signature == 'F' ? loadPlain(source, movie, error, report, capped)
                                  : loadCompressed(source, movie, error, report, capped);
}

bool loadFile(const char *path, Movie &movie, std::string *error, const Warn &warn, int stopFd)
{
    std::string dummy;
    if (!error)
        error = &dummy;
    // A pipe's opening waits for a writer, unless it doesn't block; its
    // reads then wait in poll(), for the data or the stop.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | (stopFd >= 0 ? O_NONBLOCK : 0));
    if (fd < 0) {
        *error = "can't open: " + errorText(errno);
        return false;
    }
    struct stat st {
    };
    const bool known = ::fstat(fd, &st) == 0;
    if (known && S_ISDIR(st.st_mode)) {
        *error = "is a directory";
        ::close(fd);
        return false;
    }
    FdSource source(fd, known && S_ISREG(st.st_mode) ? std::int64_t(st.st_size) : -1, stopFd);
    const bool loaded = load(source, movie, error, warn);
    ::close(fd);
    return loaded;
}

} // namespace swfxml
