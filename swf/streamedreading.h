#pragma once

// Inside the catalogue reading (catalogue.cpp): what a reading found in a
// document, and the streamed reading, which builds no DOM.

#include "swf/catalogue.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QVarLengthArray>

#include <array>
#include <initializer_list>
#include <vector>

// What a reading found in a document, whichever way it read it: the
// elements a catalogue is made of, each an `Element` (a node of a parsed
// document, or an element the streamed reading kept).
template <typename Element> struct Found {
    // The first of swf, Header, tags, FrameLabel, SymbolClass and symbols
    // missing, if one is; nothing below it counts then.
    Catalogue::Stop missing = Catalogue::Stop::None;
    Element frameLabel;
    QList<Element> symbols;
    QList<Element> images; // every DefineBitsLossless2 node under tags
    qsizetype binaries = 0;
};

// A text of a document: where it lies in `bytes`, the document or a copy.
struct TextSlice {
    QByteArray bytes;
    qsizetype offset = 0;
    qsizetype length = 0;
};

struct StreamedAttribute {
    QByteArrayView name;
    QByteArrayView value; // as written, between the quotes
};

// An element the streamed reading kept: its attributes, as written in the
// document's bytes, and its dump text.
struct StreamedElement {
    const std::vector<StreamedAttribute> *pool = nullptr;
    qsizetype first = 0;
    qsizetype count = 0;
    QByteArrayView dump;
    // Of an image: the text of its first "data" child's first "data"
    // child, when that element's first child is a text.
    QByteArrayView preview;

    bool has(std::initializer_list<const char *> names) const;
    // The value of the attribute `name` as the parser gives it; a null
    // string when absent.
    QString value(const char *name) const;
    // The dump's text, in the document `xml` it was read from.
    TextSlice text(const QByteArray &xml) const;

private:
    const StreamedAttribute *find(QByteArrayView name) const;
};

// Attributes an element may have in the streamed reading; one with more
// goes to the DOM reading.
constexpr qsizetype kMaxStreamedAttributes = 16;

// The streamed reading of a converter document: one pass over its bytes,
// building no DOM. It takes a strict part of XML, every document of which
// the parser takes too, into the same nodes as far as the catalogue looks:
//  - the declaration <?xml version="1.0" encoding="UTF-8"?> at the very
//    start or none, then blanks, the root element, blanks;
//  - start tags "<name" with attributes ' name="value"' (blanks before each,
//    none around '=', each name once, at most kMaxStreamedAttributes) and
//    ">" or "/>"; end tags "</name>";
//  - attribute values of printable ASCII, the predefined entities, the
//    references "&#9;", "&#10;" and "&#13;", and UTF-8 of characters XML
//    allows (not the byte order mark);
//  - names of ASCII letters, digits, '_', '.' and '-', starting with a
//    letter or '_' and not with "xml" in any case (no ':', no reserved
//    names);
//  - text of blanks only, which the DOM drops, or of base64 characters
//    only, which it keeps as it stands;
//  - at most kMaxDocumentDepth levels.
// It gives up on anything else: comments, processing instructions, CDATA
// sections, a document type, references in text, other text, a byte order
// mark or another encoding. In what it takes every node is an element or a
// text, and texts are never named like the elements the catalogue looks
// for: elements are found by their names alone.
class StreamedReading
{
public:
    explicit StreamedReading(QByteArrayView xml);

    // False when the document isn't of that part of XML.
    bool read();
    Found<StreamedElement> found() const;

private:
    // What an open element is to the catalogue.
    enum class Role { Document, Other, Swf, Header, Tags, SymbolClass, Symbols };
    struct Open {
        QByteArrayView name;
        Role role;
    };

    void skipBlanks();
    QByteArrayView name();
    bool tag();
    bool startTag();
    bool endTag();
    bool text();
    void element(QByteArrayView name, bool empty);
    StreamedElement kept();

    const char *p;
    const char *const end;
    const std::array<uchar, 256> &classes;
    std::array<Open, kMaxDocumentDepth> open{};
    int depth = 0;
    QVarLengthArray<StreamedAttribute, kMaxStreamedAttributes> attributes;
    std::vector<StreamedAttribute> pool;

    bool swf = false;
    bool header = false;
    bool tags = false;
    bool frameLabelSeen = false;
    bool symbolClass = false;
    bool symbolList = false;
    StreamedElement frameLabel;
    QList<StreamedElement> symbols;
    QList<StreamedElement> images;
    qsizetype binaries = 0;
    // The node of the last image's dump chain (its first child's first
    // child's first child) awaited next: 1, 2 or 3 levels below the image;
    // 0 when the chain has ended.
    int chain = 0;
    // The preview's chain under the last image: the children of the element
    // at level `previewParent` are awaited, the first named "data" (step 1,
    // under the image, and 2, under that one), then the first child (step
    // 3), which must be a text; 0 when the chain has ended.
    int previewStep = 0;
    int previewParent = 0;
};
