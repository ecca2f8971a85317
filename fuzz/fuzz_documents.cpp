// The streamed catalogue reading against the DOM reading, on documents built
// from the input: each byte is a step (open an element, close one, write a
// text), its words taken from the catalogue's own names and values and from
// constructs the DOM reads its own way, so that most documents are
// well-formed and many are of the converter's plain kind, where the streamed
// reading takes them.

#include "fuzz/cataloguecheck.h"
#include "fuzz/fuzzsupport.h"
#include "swf/catalogue.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace
{

const char *const kPrologs[] = {
    "",
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
    "<?xml version=\"1.0\"?>",
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>",
    "\xEF\xBB\xBF",
    " \n",
    "<!DOCTYPE swf>",
    "<!DOCTYPE swf [<!ENTITY e \"<FrameLabel label='e'/>\">]>",
    "<!-- c -->",
    "<?pi x?>",
};

const char *const kNames[] = {
    "swf",
    "Header",
    "tags",
    "FrameLabel",
    "SymbolClass",
    "symbols",
    "Symbol",
    "DefineBitsLossless2",
    "DefineBinaryData",
    "data",
    "x",
    "Swf",
    "xmlns",
    "a:b",
    "_1",
    "a.b-c",
};

const char *const kAttributes[] = {
    "objectID", "format", "width", "height", "name", "label", "Width", "xmlns", "p:label", "xml",
};

const char *const kValues[] = {
    "1",
    "2",
    "5",
    "3",
    "0",
    "-1",
    " 7",
    "+5",
    "8 ",
    "0x5",
    "",
    "abc",
    "99999999999",
    "a&amp;b&lt;&gt;&quot;&apos;",
    "&#9;&#10;&#13;",
    "&#x41;&#65;",
    "&#0;",
    "&e;",
    "&amp",
    "\xC3\xB6\xE2\x9C\x93\xF0\x9F\x98\x80",
    "\xEF\xBB\xBF",
    "\xEF\xBF\xBE",
    "\xC0\x80",
    "\xED\xA0\x80",
    "\xFF",
    "\x7F",
    "\x01",
    "a\tb\nc\r",
    "<",
    ">",
    "'",
};

const char *const kTexts[] = {
    "\n  ",
    " ",
    "\r\n",
    "\t",
    "AAAA",
    "eJzt+/8=",
    "x",
    " eJ ",
    "eJ\nzt",
    "a&amp;b",
    "&#65;",
    "&lt;",
    "&e;",
    "<![CDATA[eJzt]]>",
    "<![CDATA[]]>",
    "<!-- c -->",
    "<?pi x?>",
    "<?FrameLabel label=\"p\"?>",
    "<?Symbol objectID=\"1\" name=\"p\"?>",
    "]]>",
    "\xC3\xB6",
    "\xFF",
    "\x01",
    "<",
};

template <typename T, size_t N> const T &pick(const T (&list)[N], uint8_t byte)
{
    return list[byte % N];
}

// Builds the document of `data`, one step per byte:
//   0-95    opens an element: name, then up to 7 attributes (name, value);
//           bit 0 of the next byte makes it empty, bit 1 puts a blank
//           before ">", bit 2 quotes with ' rather than "
//   96-159  closes the innermost open element (bit 0: with a blank before
//           ">")
//   160-223 writes a text of the list
//   224-255 writes base64 of up to 255 characters
// Elements left open are closed at the end, unless the first byte is odd.
QByteArray documentOf(const uint8_t *data, size_t size)
{
    size_t i = 0;
    const auto next = [&]() -> uint8_t { return i < size ? data[i++] : 0; };
    const uint8_t first = next();
    QByteArray xml = pick(kPrologs, first >> 1);
    QList<QByteArray> open;
    while (i < size) {
        const uint8_t step = next();
        if (step < 96) {
            const QByteArray name = pick(kNames, step);
            xml += '<' + name;
            const uint8_t shape = next();
            const char quote = shape & 4 ? '\'' : '"';
            for (int a = 0, count = next() % 8; a < count; ++a) {
                xml += ' ';
                xml += pick(kAttributes, next());
                xml += '=';
                xml += quote;
                xml += pick(kValues, next());
                xml += quote;
            }
            if (shape & 2)
                xml += ' ';
            if (shape & 1) {
                xml += "/>";
            } else {
                xml += '>';
                open.append(name);
            }
        } else if (step < 160) {
            if (!open.isEmpty())
                xml += "</" + open.takeLast() + (step & 1 ? " >" : ">");
        } else if (step < 224) {
            xml += pick(kTexts, next());
        } else {
            static const QByteArray alphabet =
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
            for (int n = next(), c = 0; c < n; ++c)
                xml += alphabet.at((c * 7 + n) % alphabet.size());
        }
    }
    if (!(first & 1)) {
        while (!open.isEmpty())
            xml += "</" + open.takeLast() + '>';
    }
    return xml;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietDebugOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray xml = documentOf(data, size);
    fuzz::checkBothReadings(xml, readCatalogue(xml, CatalogueDocument::Kept));
    return 0;
}
