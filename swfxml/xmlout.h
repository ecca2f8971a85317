#pragma once

// Buffered writing of XML text to a sink: markup as given, attribute values
// escaped, binary data as base64.

#include "swfxml/swfconvert.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace swfxml
{

class XmlOut
{
public:
    explicit XmlOut(Sink &sink);

    // Markup copied as it is.
    void raw(const char *text, std::size_t size);
    template <std::size_t N> void lit(const char (&text)[N]) { raw(text, N - 1); }
    void number(std::int64_t value);
    // `level` steps of indentation after a line break.
    void newline(int level);

    // An attribute value: string bytes from the file, decoded as UTF-8
    // (`utf8`, invalid sequences replaced) or as Latin-1, then escaped so
    // that the value survives a round trip through an XML reader. Characters
    // XML 1.0 does not allow become U+FFFD.
    void attributeText(const char *bytes, std::size_t size, bool utf8);

    // Standard base64 with padding, on one line.
    void base64(const char *data, std::size_t size);

    // Hands everything buffered to the sink; false once the sink has failed.
    bool flush();
    bool ok() const { return !failed; }

private:
    void put(char c)
    {
        if (used == kCapacity)
            flush();
        buf[used++] = c;
    }
    void putReplacement() { raw("\xEF\xBF\xBD", 3); }

    // Writes stay few, and a small document's buffer fits in heap memory the
    // reading has used and freed, rather than in pages touched for the first time.
    static constexpr std::size_t kCapacity = std::size_t(1) << 16;
    Sink &sink;
    std::unique_ptr<char[]> buf;
    std::size_t used = 0;
    bool failed = false;
};

} // namespace swfxml
