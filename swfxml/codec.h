#pragma once

// Small text and compression helpers shared by the converter and the bitmap
// decoding: decimal numbers, base64 both ways, and inflating a whole zlib
// stream at once. No framework types, no state: safe on any thread.

#include <cstddef>
#include <cstdint>
#include <string>

namespace swfxml
{

// ---- Decimal numbers ----

// Longest decimal text of a 64-bit integer ("-9223372036854775808").
inline constexpr std::size_t kMaxDecimalLength = 20;

// Writes the decimal text of `value` to `out` (room for kMaxDecimalLength
// characters, no terminator); returns its length.
std::size_t formatDecimal(std::int64_t value, char *out);

// The decimal text of `value`, for messages.
std::string decimal(std::int64_t value);

// ---- Base64 (standard alphabet, "=" padding) ----

// Encodes `size` bytes into `out` (room for (size + 2) / 3 * 4 characters),
// padded, on one line; returns the end of the text.
char *encodeBase64(const unsigned char *in, std::size_t size, char *out);

// Room decodeBase64 needs for `size` characters of text.
constexpr std::size_t base64DecodedRoom(std::size_t size)
{
    return size / 4 * 3 + 3;
}

// Decodes base64 text leniently: every character outside the alphabet ("="
// included, wherever it stands) is skipped, the rest is one stream of 6-bit
// values cut into bytes, and bits left over at the end are dropped. Writes to
// `out` (room for base64DecodedRoom(size) bytes); returns the bytes written.
std::size_t decodeBase64(const char *text, std::size_t size, unsigned char *out);

// ---- zlib ----

// Inflates the whole zlib stream `in` into `out` in one call: the bytes it
// made, or -1 when the stream is corrupt, cut short, longer than `room`, or
// no memory is left for the decompressor. Callers that must tell those cases
// apart (or keep what came before a break) stream the data with zlib instead.
std::ptrdiff_t inflateWhole(const void *in, std::size_t size, void *out, std::size_t room);

} // namespace swfxml
