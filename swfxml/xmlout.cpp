#include "swfxml/xmlout.h"

#include "swfxml/codec.h"

#include <cstring>

namespace swfxml
{

namespace
{

// Length of the well-formed UTF-8 sequence at `s` (at most `n` bytes), with
// its code point in `cp`; 0 when the bytes are not well-formed. `bad` is then
// the length of the maximal ill-formed prefix to replace by one U+FFFD.
std::size_t decodeUtf8(const unsigned char *s, std::size_t n, char32_t &cp, std::size_t &bad)
{
    const unsigned char c = s[0];
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF; // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F; // nothing past U+10FFFF
    } else {
        bad = 1;
        return 0;
    }
    for (std::size_t i = 1; i < len; ++i) {
        const unsigned char min = i == 1 ? lo : 0x80;
        const unsigned char max = i == 1 ? hi : 0xBF;
        if (i >= n || s[i] < min || s[i] > max) {
            bad = i;
            return 0;
        }
        cp = cp << 6 | (s[i] & 0x3F);
    }
    return len;
}

} // namespace

XmlOut::XmlOut(Sink &sink) : sink(sink), buf(new char[kCapacity]) {}

bool XmlOut::flush()
{
    if (used && !failed && !sink.write(buf.get(), used))
        failed = true;
    used = 0;
    return !failed;
}

void XmlOut::raw(const char *text, std::size_t size)
{
    if (size <= kCapacity - used) {
        std::memcpy(buf.get() + used, text, size);
        used += size;
        return;
    }
    if (!flush())
        return;
    if (size < kCapacity) {
        std::memcpy(buf.get(), text, size);
        used = size;
    } else if (!sink.write(text, size)) {
        failed = true;
    }
}

void XmlOut::number(std::int64_t value)
{
    char digits[kMaxDecimalLength];
    raw(digits, formatDecimal(value, digits));
}

void XmlOut::newline(int level)
{
    static const char spaces[] = "\n                                                  ";
    std::size_t n = 1 + std::size_t(level) * 2;
    if (n > sizeof spaces - 1)
        n = sizeof spaces - 1;
    raw(spaces, n);
}

void XmlOut::attributeText(const char *bytes, std::size_t size, bool utf8)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes);
    std::size_t i = 0;
    while (i < size) {
        const unsigned char c = s[i];
        if (c >= 0x80) {
            if (!utf8) {
                // Latin-1: the byte is the code point.
                put(char(0xC0 | c >> 6));
                put(char(0x80 | (c & 0x3F)));
                ++i;
                continue;
            }
            char32_t cp = 0;
            std::size_t bad = 0;
            const std::size_t len = decodeUtf8(s + i, size - i, cp, bad);
            if (!len) {
                putReplacement();
                i += bad;
            } else {
                // U+FFFE and U+FFFF are not XML characters.
                if (cp == 0xFFFE || cp == 0xFFFF)
                    putReplacement();
                else
                    raw(bytes + i, len);
                i += len;
            }
            continue;
        }
        switch (c) {
        case '<':
            lit("&lt;");
            break;
        case '>':
            lit("&gt;");
            break;
        case '&':
            lit("&amp;");
            break;
        case '"':
            lit("&quot;");
            break;
        // An XML reader turns literal white space in attribute values into
        // plain spaces; character references come back as written.
        case '\t':
            lit("&#9;");
            break;
        case '\n':
            lit("&#10;");
            break;
        case '\r':
            lit("&#13;");
            break;
        default:
            if (c < 0x20)
                putReplacement();
            else
                put(char(c));
        }
        ++i;
    }
}

void XmlOut::base64(const char *data, std::size_t size)
{
    const auto *in = reinterpret_cast<const unsigned char *>(data);
    // Encoded straight into the buffer, whole groups of three bytes at a
    // time until the rest fits.
    while (size > 0 && !failed) {
        const std::size_t room = (kCapacity - used) / 4 * 3;
        const std::size_t take = size <= room ? size : room;
        if (take == 0) {
            flush();
            continue;
        }
        used = std::size_t(encodeBase64(in, take, buf.get() + used) - buf.get());
        in += take;
        size -= take;
    }
}

} // namespace swfxml
