#include "swfxml/xmlout.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace swfxml
{

namespace
{

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

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

void XmlOut::number(qint64 value)
{
    char digits[24];
    char *end = digits + sizeof digits;
    char *p = end;
    const bool negative = value < 0;
    // Work on the negative value so that the smallest qint64 needs no care.
    qint64 v = negative ? value : -value;
    do {
        *--p = char('0' - v % 10);
        v /= 10;
    } while (v);
    if (negative)
        *--p = '-';
    raw(p, std::size_t(end - p));
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
    // Whole groups of three bytes, encoded straight into the buffer.
    while (size >= 3 && !failed) {
        const std::size_t groups = std::min(size / 3, (kCapacity - used) / 4);
        if (groups == 0) {
            flush();
            continue;
        }
        // Twelve bits at a time: each half of a group is a pair of characters.
        static const std::array<char, 8192> pairs = [] {
            std::array<char, 8192> table{};
            for (std::size_t i = 0; i < 4096; ++i) {
                table[2 * i] = kBase64Alphabet[i >> 6];
                table[2 * i + 1] = kBase64Alphabet[i & 63];
            }
            return table;
        }();
        char *out = buf.get() + used;
        for (std::size_t g = 0; g < groups; ++g, in += 3, out += 4) {
            const unsigned v = unsigned(in[0]) << 16 | unsigned(in[1]) << 8 | in[2];
            std::memcpy(out, &pairs[2 * (v >> 12)], 2);
            std::memcpy(out + 2, &pairs[2 * (v & 4095)], 2);
        }
        used += groups * 4;
        size -= groups * 3;
    }
    if (size > 0 && !failed) {
        // One or two bytes left: padded to four characters.
        const unsigned v = unsigned(in[0]) << 16 | (size == 2 ? unsigned(in[1]) << 8 : 0u);
        const char tail[4] = {kBase64Alphabet[v >> 18], kBase64Alphabet[v >> 12 & 63],
                              size == 2 ? kBase64Alphabet[v >> 6 & 63] : '=', '='};
        raw(tail, sizeof tail);
    }
}

} // namespace swfxml
