#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <QDomNode>
#include <QList>
#include <QString>

#include <optional>

// Walking the converter's XML. Names are compared exactly (case-sensitive).

// Deepest element nesting accepted in a converter document (the root
// element is depth 1). The converter's documents stay far below it: sprites
// nested past a few levels are not written as sprites. Building the DOM of a
// document nested tens of thousands deep takes minutes and freeing it
// recurses once per level, so a deeper document is refused unread.
constexpr int kMaxDocumentDepth = 256;

// Parses a converter document (no namespace processing) into `document`;
// false when it is not well-formed or nests deeper than kMaxDocumentDepth.
bool parseDocument(const QByteArray &xml, QDomDocument &document);

// First child of `parent` whose node name is `name`; a null node if none.
QDomNode childElement(const QDomNode &parent, const QString &name);
// Every child of `parent` named `name`, in document order.
QList<QDomNode> childElements(const QDomNode &parent, const QString &name);
// Value of the attribute `name` of `node`; a null string when absent.
QString attributeValue(const QDomNode &node, const QString &name);

struct CatalogueReading;

// A named format-5 lossless bitmap found by the catalogue reading.
struct QualifyingBitmap {
    // The DefineBitsLossless2 element, from a reading that keeps its
    // document (CatalogueDocument::Kept); null from any other. Long base64
    // texts are left out of that document (their elements hold short
    // stand-ins): read the bitmap's text through dumpText().
    QDomNode element;
    int objectID = 0;
    int width = 0;
    int height = 0;
    QString name; // symbol name, never empty

    // The text the dump decodes: the element's first child's first child's
    // first child, names unchecked, as dumpBitmapText() reads it from a
    // whole document. Uncopied, a text the reading left in the converter's
    // output is handed over as it lies there (QByteArray::fromRawData): valid
    // while this bitmap, a copy of it or its catalogue lives.
    enum class Copy { Always, WhenNeeded };
    QByteArray dumpText(Copy copy = Copy::Always) const;

private:
    friend struct CatalogueReading;
    // The text lies in `bytes`, the converter's output or a copy of the text.
    QByteArray bytes;
    qsizetype offset = 0;
    qsizetype length = 0;
};

// What a caller of the catalogue reading decides or receives.
class CatalogueHandler
{
public:
    virtual ~CatalogueHandler() = default;
    // Whether a file with this frame label is taken; false ends the reading
    // with "Already Loaded".
    virtual bool acceptLabel(const QString &label) = 0;
    // The file is taken: called once, before any bitmap is examined.
    virtual void beginEntry(const QString &label) = 0;
    // One call per qualifying bitmap, in document order.
    virtual void addBitmap(const QualifyingBitmap &bitmap) = 0;
};

// How a reading ended.
enum class CatalogueOutcome {
    ParseError,
    MissingElement, // swf, Header, tags, FrameLabel, SymbolClass or symbols
    NoSymbols,
    EmptyLabel,
    LabelRefused,
    NoResources,
    EntryMade, // beginEntry was called
};

// What a reading of one converter document found, before any caller has
// decided on it: made without the caller's hand-overs and without writing a
// line, so that it can be made ahead of its turn (on any thread), then
// handed over whole to the thread that replays it. It keeps the converter's
// bytes its bitmaps' texts lie in, and the parsed document when asked to.
class Catalogue
{
public:
    // Where the reading stops before the label check, if it does.
    enum class Stop {
        None,
        ParseError,
        NoSwf,
        NoHeader,
        NoTags,
        NoFrameLabel,
        NoSymbolClass,
        NoSymbolList,
        NoSymbols,
        EmptyLabel,
    };

    Stop stop = Stop::ParseError;
    qsizetype symbolCount = 0;
    QString label;
    qsizetype imageCount = 0;
    qsizetype binaryCount = 0;
    // The qualifying bitmaps, in document order; their elements and texts
    // are valid while this catalogue lives.
    QList<QualifyingBitmap> bitmaps;

private:
    friend struct CatalogueReading;
    QByteArray xml;
    QDomDocument document;
};

// Whether a reading keeps the document it parsed, so that its bitmaps carry
// their elements. Dropped, a converter document is streamed (no DOM is
// built) and anything else is parsed and freed within the reading.
enum class CatalogueDocument { Dropped, Kept };

// What the preview decodes of a bitmap: whether its DefineBitsLossless2
// element was found, the element's width and height as written (null when
// absent), and the text of its first "data" child's first "data" child
// (empty when there is none, or that one's first child isn't a text).
struct PreviewSource {
    bool found = false;
    QString width;
    QString height;
    QByteArray text;
};

// The preview's look-up of the bitmap `objectID` in a converter document:
// the first DefineBitsLossless2 under swf/Header/tags with attributes whose
// objectID reads as that number. A document the streamed reading takes is
// read without a DOM (a small file can make a document of millions of
// elements); any other is parsed whole, and of one that isn't well-formed
// the part read before the error is searched.
PreviewSource previewSource(const QByteArray &xml, int objectID);
// The same taken from one element: found when it has attributes.
PreviewSource previewSource(const QDomNode &element);

// Reads the catalogue of one converter document: frame label, symbol table
// and named format-5 bitmaps. Only the first FrameLabel and the first
// SymbolClass under swf/Header/tags count; a later Symbol for the same
// objectID replaces the earlier name. Bitmaps that aren't format 5, lack an
// attribute, have a non-numeric one or have no symbol name are skipped.
// Nothing is written and no caller is asked anything: see replayCatalogue.
// Both ways give the same catalogue, elements aside.
Catalogue readCatalogue(const QByteArray &xml,
                        CatalogueDocument document = CatalogueDocument::Dropped);

// The streamed reading alone: nothing when the document holds anything it
// doesn't read exactly as the DOM would (a document type, comments,
// processing instructions, CDATA sections, references in text, other text
// than base64 and blanks, another encoding, ...).
std::optional<Catalogue> streamCatalogue(const QByteArray &xml);

// Whether a replay writes the reading's diagnostic lines.
enum class CatalogueLines { Write, Quiet };

// Hands a reading over to its caller, writing the reading's diagnostic
// lines with qDebug() as it goes (unless Quiet): the lines up to the label
// check, the caller's decision on the label, the counts, then the entry and
// one hand-over per qualifying bitmap. A caller that decides ahead of its
// turn replays quietly first, then again with the lines when its turn comes.
CatalogueOutcome replayCatalogue(const Catalogue &catalogue, CatalogueHandler &handler,
                                 CatalogueLines lines = CatalogueLines::Write);

// Both at once: reads `xml` and hands the reading over. The document is
// freed within the call.
CatalogueOutcome readCatalogue(const QByteArray &xml, CatalogueHandler &handler,
                               CatalogueDocument document = CatalogueDocument::Dropped);
