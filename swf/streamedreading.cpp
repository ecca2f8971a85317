#include "swf/streamedreading.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{

// Classes of the bytes the streamed reading takes.
enum ByteClass : uchar {
    Blank = 1,     // space, tab, line feed, carriage return
    Base64 = 2,    // A-Z, a-z, 0-9, '+', '/', '='
    NameStart = 4, // A-Z, a-z, '_'
    NameChar = 8,  // A-Z, a-z, '_', 0-9, '.', '-'
    Plain = 16,    // printable ASCII an attribute value holds as it stands
};

const std::array<uchar, 256> &byteClasses()
{
    static const auto table = [] {
        std::array<uchar, 256> t{};
        for (const char c : {' ', '\t', '\n', '\r'})
            t[uchar(c)] |= Blank;
        for (int c = 0x20; c < 0x7F; ++c) {
            if (c != '<' && c != '&' && c != '"')
                t[size_t(c)] |= Plain;
        }
        for (int c = 'A'; c <= 'Z'; ++c) {
            t[size_t(c)] |= Base64 | NameStart | NameChar;
            t[size_t(c - 'A' + 'a')] |= Base64 | NameStart | NameChar;
        }
        for (int c = '0'; c <= '9'; ++c)
            t[size_t(c)] |= Base64 | NameChar;
        for (const char c : {'+', '/', '='})
            t[uchar(c)] |= Base64;
        t['_'] |= NameStart | NameChar;
        t['.'] |= NameChar;
        t['-'] |= NameChar;
        return t;
    }();
    return table;
}

// The references an attribute value may hold in the streamed reading: the
// predefined entities, and the character references the converter writes
// for blanks (which, written out, the parser would turn into spaces).
struct Reference {
    const char *written;
    char character;
};
constexpr Reference kReferences[] = {
    {"&amp;", '&'},   {"&lt;", '<'},  {"&gt;", '>'},   {"&quot;", '"'},
    {"&apos;", '\''}, {"&#9;", '\t'}, {"&#10;", '\n'}, {"&#13;", '\r'},
};

// The reference `rest` starts with; null if none of kReferences.
const Reference *referenceAt(QByteArrayView rest)
{
    for (const Reference &reference : kReferences) {
        if (rest.startsWith(reference.written))
            return &reference;
    }
    return nullptr;
}

// Bytes of the UTF-8 sequence at `p`: 2 to 4 for a well-formed one of a
// character XML allows, other than the byte order mark (which a decoder
// might drop); 0 for anything else.
int utf8Length(const uchar *p, const uchar *end)
{
    const auto within = [&](int n, uchar low, uchar high) {
        if (end - p < n || p[1] < low || p[1] > high)
            return false;
        for (int i = 2; i < n; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
        }
        return true;
    };
    const uchar lead = *p;
    if (lead >= 0xC2 && lead <= 0xDF)
        return within(2, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const uchar low = lead == 0xE0 ? 0xA0 : 0x80;
        const uchar high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
        if (!within(3, low, high))
            return 0;
        const char32_t c = char32_t(lead & 0x0F) << 12 | char32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F);
        return c == 0xFFFE || c == 0xFFFF || c == 0xFEFF ? 0 : 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4)
        return within(4, lead == 0xF0 ? 0x90 : 0x80, lead == 0xF4 ? 0x8F : 0xBF) ? 4 : 0;
    return 0;
}

// Whether the parser reads an attribute value's bytes as decodedValue()
// does: plain ASCII, kReferences and UTF-8 of characters XML allows. Literal
// blanks (which the parser turns into spaces), other references and bytes
// it refuses are not taken.
bool plainValue(QByteArrayView value)
{
    const std::array<uchar, 256> &classes = byteClasses();
    const auto *p = reinterpret_cast<const uchar *>(value.data());
    const auto *const end = p + value.size();
    while (p < end) {
        if (classes[*p] & Plain) {
            ++p;
        } else if (*p == '&') {
            const Reference *reference =
                referenceAt(QByteArrayView(reinterpret_cast<const char *>(p), end - p));
            if (!reference)
                return false;
            p += std::strlen(reference->written);
        } else {
            const int length = utf8Length(p, end);
            if (!length)
                return false;
            p += length;
        }
    }
    return true;
}

// A value plainValue() took, as the parser gives it.
QString decodedValue(QByteArrayView value)
{
    if (!value.contains('&'))
        return QString::fromUtf8(value);
    QByteArray bytes;
    bytes.reserve(value.size());
    for (qsizetype i = 0; i < value.size();) {
        const Reference *reference = value[i] == '&' ? referenceAt(value.sliced(i)) : nullptr;
        if (reference) {
            bytes += reference->character;
            i += qsizetype(std::strlen(reference->written));
        } else {
            bytes += value[i++];
        }
    }
    return QString::fromUtf8(bytes);
}

// The first byte from `p` on that isn't a base64 character; `end` if none.
const char *skipBase64(const char *p, const char *end)
{
#if defined(__SSE2__)
    // Sixteen bytes at a time: letters (either case), digits, '+', '/', '='.
    // Bytes from 0x80 up compare as negative and fall in no range.
    const auto in = [](__m128i v, char low, char high) {
        return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(char(low - 1))),
                             _mm_cmplt_epi8(v, _mm_set1_epi8(char(high + 1))));
    };
    const auto is = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i letters = in(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'z');
        const __m128i others = _mm_or_si128(_mm_or_si128(in(v, '0', '9'), is(v, '+')),
                                            _mm_or_si128(is(v, '/'), is(v, '=')));
        const int mask = _mm_movemask_epi8(_mm_or_si128(letters, others));
        if (mask != 0xFFFF)
            return p + qCountTrailingZeroBits(uint(~mask));
    }
#endif
    const std::array<uchar, 256> &classes = byteClasses();
    while (p < end && (classes[uchar(*p)] & Base64))
        ++p;
    return p;
}

} // namespace

const StreamedAttribute *StreamedElement::find(QByteArrayView name) const
{
    for (qsizetype i = first; i < first + count; ++i) {
        if ((*pool)[size_t(i)].name == name)
            return &(*pool)[size_t(i)];
    }
    return nullptr;
}

bool StreamedElement::has(std::initializer_list<const char *> names) const
{
    return std::all_of(names.begin(), names.end(),
                       [this](const char *name) { return find(name) != nullptr; });
}

QString StreamedElement::value(const char *name) const
{
    const StreamedAttribute *attribute = find(name);
    return attribute ? decodedValue(attribute->value) : QString();
}

TextSlice StreamedElement::text(const QByteArray &xml) const
{
    if (dump.isEmpty())
        return {};
    return {xml, dump.data() - xml.constData(), dump.size()};
}

StreamedReading::StreamedReading(QByteArrayView xml)
    : p(xml.data()), end(xml.data() + xml.size()), classes(byteClasses())
{
}

void StreamedReading::skipBlanks()
{
    while (p < end && (classes[uchar(*p)] & Blank))
        ++p;
}

bool StreamedReading::read()
{
    static const QByteArrayView declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    if (QByteArrayView(p, end).startsWith(declaration))
        p += declaration.size();
    skipBlanks();
    if (!startTag())
        return false;
    while (depth > 0) {
        if (!text() || !tag())
            return false;
    }
    skipBlanks();
    return p == end;
}

QByteArrayView StreamedReading::name()
{
    const char *from = p;
    if (p == end || !(classes[uchar(*p)] & NameStart))
        return {};
    while (++p < end && (classes[uchar(*p)] & NameChar)) {
    }
    const QByteArrayView name(from, p);
    if (name.size() >= 3 && qstrnicmp(from, 3, "xml", 3) == 0)
        return {};
    return name;
}

// At '<': an end tag or a start tag.
bool StreamedReading::tag()
{
    return end - p > 1 && p[1] == '/' ? endTag() : startTag();
}

bool StreamedReading::startTag()
{
    if (p == end || *p != '<')
        return false;
    ++p;
    const QByteArrayView element = name();
    if (element.isEmpty() || depth == kMaxDocumentDepth)
        return false;
    attributes.clear();
    bool empty = false;
    for (;;) {
        const char *before = p;
        skipBlanks();
        if (p == end)
            return false;
        if (*p == '>') {
            ++p;
            break;
        }
        if (*p == '/') {
            if (end - p < 2 || p[1] != '>')
                return false;
            p += 2;
            empty = true;
            break;
        }
        if (p == before || attributes.size() == kMaxStreamedAttributes)
            return false;
        const QByteArrayView attribute = name();
        if (attribute.isEmpty() || end - p < 2 || p[0] != '=' || p[1] != '"')
            return false;
        p += 2;
        const auto *close = static_cast<const char *>(std::memchr(p, '"', size_t(end - p)));
        if (!close || !plainValue(QByteArrayView(p, close)))
            return false;
        for (const StreamedAttribute &other : attributes) {
            if (other.name == attribute)
                return false;
        }
        attributes.append({attribute, QByteArrayView(p, close)});
        p = close + 1;
    }
    this->element(element, empty);
    return true;
}

bool StreamedReading::endTag()
{
    if (depth == 0)
        return false;
    const QByteArrayView name = open[size_t(depth - 1)].name;
    const QByteArrayView rest(p + 2, end);
    if (!rest.startsWith(name) || rest.size() == name.size() || rest[name.size()] != '>')
        return false;
    p += 2 + name.size() + 1;
    if (previewStep && depth == previewParent)
        previewStep = 0;
    --depth;
    chain = 0;
    return true;
}

// Up to the next '<': blanks only, which make no node, or base64 only.
bool StreamedReading::text()
{
    const char *from = p;
    if (p < end && (classes[uchar(*p)] & Blank)) {
        skipBlanks();
        return p < end && *p == '<';
    }
    p = skipBase64(p, end);
    if (p == end || *p != '<')
        return false;
    if (p == from)
        return true;
    if (chain == 3)
        images.last().dump = QByteArrayView(from, p);
    chain = 0;
    if (previewStep == 3 && depth == previewParent) {
        images.last().preview = QByteArrayView(from, p);
        previewStep = 0;
    }
    return true;
}

StreamedElement StreamedReading::kept()
{
    StreamedElement element{&pool, qsizetype(pool.size()), attributes.size(), {}, {}};
    pool.insert(pool.end(), attributes.begin(), attributes.end());
    return element;
}

void StreamedReading::element(QByteArrayView name, bool empty)
{
    // An element is the awaited node of the chain, which ends with it unless
    // it is the first or second child and has children of its own.
    if (chain)
        chain = chain == 3 || empty ? 0 : chain + 1;
    // Children not named "data" are passed over, as the preview looks its
    // chain up by name; where the text is awaited, an element ends it.
    if (previewStep && depth == previewParent) {
        if (previewStep == 3) {
            previewStep = 0;
        } else if (name == "data") {
            previewStep = empty ? 0 : previewStep + 1;
            previewParent = depth + 1;
        }
    }
    Role role = Role::Other;
    switch (depth ? open[size_t(depth - 1)].role : Role::Document) {
    case Role::Document:
        if (name == "swf") {
            swf = true;
            role = Role::Swf;
        }
        break;
    case Role::Swf:
        if (!header && name == "Header") {
            header = true;
            role = Role::Header;
        }
        break;
    case Role::Header:
        if (!tags && name == "tags") {
            tags = true;
            role = Role::Tags;
        }
        break;
    case Role::Tags:
        if (name == "DefineBitsLossless2") {
            images.append(kept());
            chain = empty ? 0 : 1;
            previewStep = empty ? 0 : 1;
            previewParent = depth + 1;
        } else if (name == "DefineBinaryData") {
            ++binaries;
        } else if (!frameLabelSeen && name == "FrameLabel") {
            frameLabelSeen = true;
            frameLabel = kept();
        } else if (!symbolClass && name == "SymbolClass") {
            symbolClass = true;
            role = Role::SymbolClass;
        }
        break;
    case Role::SymbolClass:
        if (!symbolList && name == "symbols") {
            symbolList = true;
            role = Role::Symbols;
        }
        break;
    case Role::Symbols:
        if (name == "Symbol")
            symbols.append(kept());
        break;
    case Role::Other:
        break;
    }
    if (!empty)
        open[size_t(depth++)] = {name, role};
}

Found<StreamedElement> StreamedReading::found() const
{
    using Stop = Catalogue::Stop;
    Found<StreamedElement> found;
    found.missing = !swf              ? Stop::NoSwf
                    : !header         ? Stop::NoHeader
                    : !tags           ? Stop::NoTags
                    : !frameLabelSeen ? Stop::NoFrameLabel
                    : !symbolClass    ? Stop::NoSymbolClass
                    : !symbolList     ? Stop::NoSymbolList
                                      : Stop::None;
    found.frameLabel = frameLabel;
    found.symbols = symbols;
    found.images = images;
    found.binaries = binaries;
    return found;
}
