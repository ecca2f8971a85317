#include "swfxml/codec.h"

#include <libdeflate.h>

#include <array>
#include <cstring>

namespace swfxml
{

namespace
{

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Twelve bits at a time: each half of a three-byte group is a pair of
// characters.
constexpr std::array<char, 8192> kBase64Pairs = [] {
    std::array<char, 8192> table{};
    for (std::size_t i = 0; i < 4096; ++i) {
        table[2 * i] = kBase64Alphabet[i >> 6];
        table[2 * i + 1] = kBase64Alphabet[i & 63];
    }
    return table;
}();

// The value of each alphabet character; 0xFF for any other byte.
constexpr std::array<unsigned char, 256> kBase64Values = [] {
    std::array<unsigned char, 256> table{};
    for (auto &v : table)
        v = 0xFF;
    for (unsigned char i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kBase64Alphabet[i])] = i;
    return table;
}();

} // namespace

std::size_t formatDecimal(std::int64_t value, char *out)
{
    char digits[kMaxDecimalLength];
    char *end = digits + sizeof digits;
    char *p = end;
    const bool negative = value < 0;
    // Work on the negative value so that the smallest int64 needs no care.
    std::int64_t v = negative ? value : -value;
    do {
        *--p = char('0' - v % 10);
        v /= 10;
    } while (v);
    if (negative)
        *--p = '-';
    const auto length = std::size_t(end - p);
    std::memcpy(out, p, length);
    return length;
}

std::string decimal(std::int64_t value)
{
    char digits[kMaxDecimalLength];
    return std::string(digits, formatDecimal(value, digits));
}

char *encodeBase64(const unsigned char *in, std::size_t size, char *out)
{
    for (; size >= 3; size -= 3, in += 3, out += 4) {
        const unsigned v = unsigned(in[0]) << 16 | unsigned(in[1]) << 8 | in[2];
        std::memcpy(out, &kBase64Pairs[2 * (v >> 12)], 2);
        std::memcpy(out + 2, &kBase64Pairs[2 * (v & 4095)], 2);
    }
    if (size > 0) {
        // One or two bytes left: padded to four characters.
        const unsigned v = unsigned(in[0]) << 16 | (size == 2 ? unsigned(in[1]) << 8 : 0u);
        out[0] = kBase64Alphabet[v >> 18];
        out[1] = kBase64Alphabet[v >> 12 & 63];
        out[2] = size == 2 ? kBase64Alphabet[v >> 6 & 63] : '=';
        out[3] = '=';
        out += 4;
    }
    return out;
}

std::size_t decodeBase64(const char *text, std::size_t size, unsigned char *out)
{
    const auto *in = reinterpret_cast<const unsigned char *>(text);
    unsigned char *to = out;
    unsigned bits = 0;
    int count = 0; // bits waiting in `bits`
    std::size_t i = 0;
    while (i < size) {
        // Four characters of the alphabet at a byte boundary: three bytes.
        if (count == 0 && i + 4 <= size) {
            const unsigned a = kBase64Values[in[i]], b = kBase64Values[in[i + 1]],
                           c = kBase64Values[in[i + 2]], d = kBase64Values[in[i + 3]];
            if ((a | b | c | d) < 64) {
                const unsigned v = a << 18 | b << 12 | c << 6 | d;
                to[0] = static_cast<unsigned char>(v >> 16);
                to[1] = static_cast<unsigned char>(v >> 8);
                to[2] = static_cast<unsigned char>(v);
                to += 3;
                i += 4;
                continue;
            }
        }
        const unsigned value = kBase64Values[in[i++]];
        if (value >= 64)
            continue;
        bits = bits << 6 | value;
        count += 6;
        if (count >= 8) {
            count -= 8;
            *to++ = static_cast<unsigned char>(bits >> count);
            bits &= (1u << count) - 1;
        }
    }
    return std::size_t(to - out);
}

std::ptrdiff_t inflateWhole(const void *in, std::size_t size, void *out, std::size_t room)
{
    libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
    if (!decompressor)
        return -1;
    std::size_t consumed = 0;
    std::size_t produced = 0;
    const bool whole = libdeflate_zlib_decompress_ex(decompressor, in, size, out, room, &consumed,
                                                     &produced) == LIBDEFLATE_SUCCESS;
    libdeflate_free_decompressor(decompressor);
    return whole ? std::ptrdiff_t(produced) : -1;
}

} // namespace swfxml
