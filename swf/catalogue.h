#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <QDomNode>
#include <QList>
#include <QString>

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

struct LiftedTexts;

// A named format-5 lossless bitmap found by the catalogue reading.
struct QualifyingBitmap {
    // The DefineBitsLossless2 element; use it during the hand-over: its
    // document is freed when the reading ends. Long base64 texts are left
    // out of that document (their elements hold short stand-ins): read the
    // bitmap's text through dumpText().
    QDomNode element;
    int objectID = 0;
    int width = 0;
    int height = 0;
    QString name; // symbol name, never empty

    // The text the dump decodes: the element's first child's first child's
    // first child, names unchecked, as dumpBitmapText() reads it from a
    // whole document. Uncopied, a text the reading left in the converter's
    // output is handed over as it lies there (QByteArray::fromRawData): valid
    // only while the buffer given to readCatalogue lives, unchanged.
    enum class Copy { Always, WhenNeeded };
    QByteArray dumpText(Copy copy = Copy::Always) const;
    const LiftedTexts *lifted = nullptr;
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

// Reads the catalogue of one converter document: frame label, symbol table
// and named format-5 bitmaps, writing its diagnostic lines with qDebug().
// Only the first FrameLabel and the first SymbolClass under swf/Header/tags
// count; a later Symbol for the same objectID replaces the earlier name.
// Bitmaps that aren't format 5, lack an attribute, have a non-numeric one or
// have no symbol name are skipped silently. The document is parsed and freed
// within the call.
CatalogueOutcome readCatalogue(const QByteArray &xml, CatalogueHandler &handler);
