#include "swf/catalogue.h"

#include "swf/bitmap.h"
#include "swf/streamedreading.h"

#include <QDebug>
#include <QDomDocument>
#include <QDomNamedNodeMap>
#include <QHash>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <cstring>

QDomNode childElement(const QDomNode &parent, const QString &name)
{
    if (parent.isNull())
        return {};
    for (QDomNode child = parent.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (child.nodeName() == name)
            return child;
    }
    return {};
}

QList<QDomNode> childElements(const QDomNode &parent, const QString &name)
{
    QList<QDomNode> found;
    if (parent.isNull())
        return found;
    for (QDomNode child = parent.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (child.nodeName() == name)
            found.append(child);
    }
    return found;
}

QString attributeValue(const QDomNode &node, const QString &name)
{
    if (!node.hasAttributes())
        return QString();
    const QDomNamedNodeMap attributes = node.attributes();
    if (!attributes.contains(name))
        return QString();
    return attributes.namedItem(name).nodeValue();
}

namespace
{

// A run of base64 text that is the whole content of one element: the
// element's place among all elements in document order, and the run's bytes
// in the document.
struct TextRun {
    int element;
    qsizetype offset;
    qsizetype length;
};

// Deepest nesting of `xml` as the XML parser reads it, counted up to
// `limit` + 1: one streaming pass, linear in the size. A document that isn't
// well-formed is counted as far as it reads.
int streamedDepth(const QByteArray &xml, int limit)
{
    QXmlStreamReader reader(xml);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    int deepest = 0;
    while (!reader.atEnd() && deepest <= limit) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            deepest = std::max(deepest, ++depth);
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return deepest;
}

// Whether the bytes of `xml` can be scanned for markup directly: UTF-8 (with
// or without its byte order mark, and without a declaration naming another
// encoding), starting with markup. Then every '<' outside comments, CDATA
// sections and processing instructions starts a tag, as no byte of another
// character can be an ASCII one.
bool scannable(QByteArrayView xml)
{
    if (xml.startsWith("\xEF\xBB\xBF"))
        xml = xml.sliced(3);
    if (xml.size() < 2 || xml[0] != '<' || xml[1] == '\0')
        return false;
    if (!xml.startsWith("<?xml"))
        return true;
    const qsizetype close = xml.indexOf("?>");
    if (close < 0)
        return false;
    const QByteArrayView declaration = xml.first(close);
    const qsizetype encoding = declaration.indexOf("encoding");
    if (encoding < 0)
        return true;
    const QByteArray value = declaration.sliced(encoding + 8).toByteArray().toLower();
    return value.contains("\"utf-8\"") || value.contains("'utf-8'");
}

// Runs shorter than this go through the parser: lifting them out saves
// nothing.
constexpr qsizetype kMinLiftedRun = 64;

// Whether every byte of `text` is a base64 character ("A"-"Z", "a"-"z",
// "0"-"9", "+", "/", "="): such text is character data as it stands, with
// nothing for the parser to replace, normalise or refuse.
bool base64Only(QByteArrayView text)
{
    static const auto table = [] {
        std::array<bool, 256> t{};
        for (int c = 'A'; c <= 'Z'; ++c)
            t[size_t(c)] = t[size_t(c - 'A' + 'a')] = true;
        for (int c = '0'; c <= '9'; ++c)
            t[size_t(c)] = true;
        t['+'] = t['/'] = t['='] = true;
        return t;
    }();
    return std::all_of(text.begin(), text.end(), [](char c) { return table[uchar(c)]; });
}

// What the markup of a scannable document shows before it is parsed.
struct MarkupScan {
    // Deepest nesting, counted up to the limit + 1; -1 when the document has
    // a document type declaration, whose entities may add elements and text
    // the bytes don't show.
    int depth = 0;
    // Base64 runs of kMinLiftedRun bytes or more, each the whole content of
    // its element, in document order.
    QList<TextRun> runs;
};

// Scans a scannable document by its markup alone, up to `limit` + 1 levels.
// Start tags open a level, unless they end in "/>" (quoted attribute values
// are skipped); end tags close one. On a well-formed document the depth is
// the parser's count; on one that isn't, it never counts less than the
// parser reads before its error.
MarkupScan scanMarkup(QByteArrayView xml, int limit)
{
    MarkupScan scan;
    const char *p = xml.data();
    const char *const end = p + xml.size();
    const auto skipPast = [&](const char *from, QByteArrayView terminator) {
        const qsizetype at = QByteArrayView(from, end - from).indexOf(terminator);
        return at < 0 ? end : from + at + terminator.size();
    };
    const auto nextMarkup = [&](const char *from) {
        return static_cast<const char *>(std::memchr(from, '<', size_t(end - from)));
    };
    int depth = 0;
    int elements = 0;
    while (p < end && scan.depth <= limit) {
        p = nextMarkup(p);
        if (!p || ++p == end)
            break;
        const QByteArrayView rest(p, end - p);
        if (*p == '/') {
            --depth;
            p = skipPast(p, ">");
        } else if (*p == '?') {
            p = skipPast(p, "?>");
        } else if (rest.startsWith("!--")) {
            p = skipPast(p + 3, "-->");
        } else if (rest.startsWith("![CDATA[")) {
            p = skipPast(p + 8, "]]>");
        } else if (*p == '!') {
            return {-1, {}};
        } else {
            char quote = 0;
            const char *q = p;
            for (; q < end; ++q) {
                if (quote) {
                    if (*q == quote)
                        quote = 0;
                } else if (*q == '"' || *q == '\'') {
                    quote = *q;
                } else if (*q == '>') {
                    break;
                }
            }
            // An empty-element tag reaches one level down without staying.
            scan.depth = std::max(scan.depth, depth + 1);
            const int element = elements++;
            if (q == end)
                break;
            p = q + 1;
            if (q[-1] == '/')
                continue;
            ++depth;
            // Text that runs from the start tag to an end tag is the whole
            // content of the element.
            const char *text = nextMarkup(p);
            if (text && text + 1 < end && text[1] == '/' && text - p >= kMinLiftedRun &&
                base64Only(QByteArrayView(p, text))) {
                scan.runs.append({element, p - xml.data(), text - p});
                p = text;
            }
        }
    }
    return scan;
}

// The document without the bytes of `runs`.
QByteArray withoutRuns(const QByteArray &xml, const QList<TextRun> &runs)
{
    qsizetype lifted = 0;
    for (const TextRun &run : runs)
        lifted += run.length;
    QByteArray out;
    out.reserve(xml.size() - lifted);
    qsizetype from = 0;
    for (const TextRun &run : runs) {
        out.append(xml.constData() + from, run.offset - from);
        from = run.offset + run.length;
    }
    out.append(xml.constData() + from, xml.size() - from);
    return out;
}

// The node after `node` in document order once its children are done: its
// next sibling, or the next sibling of its nearest ancestor that has one.
QDomNode nextAfter(QDomNode node)
{
    while (!node.isNull() && node.nextSibling().isNull())
        node = node.parentNode();
    return node.isNull() ? node : node.nextSibling();
}

// The first character of a lifted run's stand-in. XML allows it nowhere, so
// no parsed text starts with it.
constexpr char16_t kStandInMark = 0xFFFF;

// Gives each element named by `runs` its text back, as the one child the
// parser would have made of it; with `standIns`, a short text naming the
// run instead (kStandInMark and the run's index), which leaves the bytes
// where they are. False when the document's elements don't match the scan
// (an element missing, or not empty).
bool restoreRuns(QDomDocument &document, const QByteArray &xml, const QList<TextRun> &runs,
                 bool standIns)
{
    int element = -1;
    auto run = runs.cbegin();
    QDomNode node = document.firstChild();
    while (!node.isNull() && run != runs.cend()) {
        if (node.isElement() && ++element == run->element) {
            if (node.hasChildNodes())
                return false;
            node.appendChild(document.createTextNode(
                standIns ? QChar(kStandInMark) + QString::number(run - runs.cbegin())
                         : QString::fromLatin1(xml.constData() + run->offset, run->length)));
            ++run;
            node = nextAfter(node);
        } else if (node.hasChildNodes()) {
            node = node.firstChild();
        } else {
            node = nextAfter(node);
        }
    }
    return run == runs.cend();
}

// Converter documents are scanned by their bytes: the scan bounds the depth
// and lifts the long base64 texts out, so that the parser, which takes text
// character by character, reads only the markup around them. Anything else
// is parsed whole; its depth then takes a streaming pass of the parser
// (about as long as building the DOM).
//
// With `lifted`, the runs stay in `xml` and their elements get stand-ins
// (see restoreRuns); `lifted` receives the runs, or none when the document
// was parsed whole.
bool parseDocument(const QByteArray &xml, QDomDocument &document, QList<TextRun> *lifted)
{
    document.clear();
    const MarkupScan scan =
        scannable(xml) ? scanMarkup(xml, kMaxDocumentDepth) : MarkupScan{-1, {}};
    // Past a document's first error the scan goes on counting tags the
    // parser never reads; so a scan that finds it too deep is checked with
    // the parser's own count, which leaves a malformed document its part
    // read before the error.
    const bool scanned = scan.depth >= 0 && scan.depth <= kMaxDocumentDepth;
    const int depth = scanned ? scan.depth : streamedDepth(xml, kMaxDocumentDepth);
    if (depth > kMaxDocumentDepth)
        return false;
    // A document that fails leaves what the parser read before its error,
    // which the preview still searches: that part comes from a parse of the
    // whole document, as its texts would be missing from the lifted one.
    if (!scan.runs.isEmpty() && document.setContent(withoutRuns(xml, scan.runs), false) &&
        restoreRuns(document, xml, scan.runs, lifted)) {
        if (lifted)
            *lifted = scan.runs;
        return true;
    }
    document.clear();
    return document.setContent(xml, false);
}

} // namespace

bool parseDocument(const QByteArray &xml, QDomDocument &document)
{
    return parseDocument(xml, document, nullptr);
}

QByteArray QualifyingBitmap::dumpText(Copy copy) const
{
    if (length == bytes.size())
        return bytes;
    const char *text = bytes.constData() + offset;
    return copy == Copy::WhenNeeded ? QByteArray::fromRawData(text, length)
                                    : QByteArray(text, length);
}

namespace
{

// Present in the sense of the reading: the element has attributes and its
// attribute map holds every one of `names`.
bool hasAttributes(const QDomNode &node, std::initializer_list<const char *> names)
{
    if (!node.hasAttributes())
        return false;
    const QDomNamedNodeMap attributes = node.attributes();
    for (const char *name : names) {
        if (!attributes.contains(QLatin1String(name)))
            return false;
    }
    return true;
}

// A node of a parsed document, whose reading may have lifted texts out of
// it (see parseDocument).
struct DomElement {
    QDomNode node;
    const QList<TextRun> *runs = nullptr;

    bool has(std::initializer_list<const char *> names) const { return hasAttributes(node, names); }
    QString value(const char *name) const { return attributeValue(node, QLatin1String(name)); }
    // The dump's text: a lifted one where it lies in the document `xml`.
    TextSlice text(const QByteArray &xml) const
    {
        const QByteArray text = dumpBitmapText(node);
        static const QByteArray mark = QString(QChar(kStandInMark)).toLocal8Bit();
        if (!text.startsWith(mark))
            return {text, 0, text.size()};
        const TextRun &run = runs->at(text.mid(mark.size()).toInt());
        return {xml, run.offset, run.length};
    }
};

QDomNode domNode(const DomElement &element)
{
    return element.node;
}

QDomNode domNode(const StreamedElement &)
{
    return {};
}

// objectID -> symbol name, a later entry for the same id replacing the
// earlier one. Symbols without a numeric id or a non-empty name are skipped.
template <typename Element> QHash<int, QString> symbolTable(const QList<Element> &symbols)
{
    QHash<int, QString> names;
    for (const Element &symbol : symbols) {
        if (!symbol.has({"objectID", "name"}))
            continue;
        bool ok = false;
        const int id = symbol.value("objectID").toInt(&ok, 10);
        if (!ok)
            continue;
        const QString name = symbol.value("name");
        if (name.isEmpty())
            continue;
        names.insert(id, name);
    }
    return names;
}

// The checks a DefineBitsLossless2 element must pass to be handed over, in
// their order; false skips it silently.
template <typename Element>
bool qualifyingBitmap(const Element &element, const QHash<int, QString> &names,
                      QualifyingBitmap &bitmap)
{
    if (!element.has({"objectID", "format", "width", "height"}))
        return false;
    if (element.value("format").toInt(nullptr, 10) != 5)
        return false;
    bool ok = false;
    bitmap.objectID = element.value("objectID").toInt(&ok, 10);
    if (!ok)
        return false;
    bitmap.width = element.value("width").toInt(&ok, 10);
    if (!ok)
        return false;
    bitmap.height = element.value("height").toInt(&ok, 10);
    if (!ok)
        return false;
    bitmap.name = names.value(bitmap.objectID);
    return !bitmap.name.isEmpty();
}

} // namespace

// Fills catalogues from what a reading found.
struct CatalogueReading {
    template <typename Element>
    static void fill(Catalogue &catalogue, const Found<Element> &found, CatalogueDocument document);
    static Catalogue parsed(const QByteArray &xml, CatalogueDocument document);
    static std::optional<Catalogue> streamed(const QByteArray &xml);
};

template <typename Element>
void CatalogueReading::fill(Catalogue &catalogue, const Found<Element> &found,
                            CatalogueDocument document)
{
    using Stop = Catalogue::Stop;
    catalogue.stop = found.missing;
    if (found.missing != Stop::None)
        return;
    if (found.symbols.isEmpty()) {
        catalogue.stop = Stop::NoSymbols;
        return;
    }
    catalogue.symbolCount = found.symbols.size();
    catalogue.label = found.frameLabel.value("label");
    if (catalogue.label.isEmpty()) {
        catalogue.stop = Stop::EmptyLabel;
        return;
    }
    catalogue.imageCount = found.images.size();
    // Binary data is only counted; it never becomes an entry of its own.
    catalogue.binaryCount = found.binaries;
    const QHash<int, QString> names = symbolTable(found.symbols);
    for (const Element &element : found.images) {
        QualifyingBitmap bitmap;
        if (!qualifyingBitmap(element, names, bitmap))
            continue;
        TextSlice text = element.text(catalogue.xml);
        bitmap.bytes = std::move(text.bytes);
        bitmap.offset = text.offset;
        bitmap.length = text.length;
        if (document == CatalogueDocument::Kept)
            bitmap.element = domNode(element);
        catalogue.bitmaps.append(std::move(bitmap));
    }
}

Catalogue CatalogueReading::parsed(const QByteArray &xml, CatalogueDocument document)
{
    Catalogue catalogue;
    QDomDocument parsed;
    QList<TextRun> runs;
    if (!parseDocument(xml, parsed, &runs))
        return catalogue;
    catalogue.xml = xml;

    using Stop = Catalogue::Stop;
    const QDomNode swf = childElement(parsed, QStringLiteral("swf"));
    const QDomNode header = childElement(swf, QStringLiteral("Header"));
    const QDomNode tags = childElement(header, QStringLiteral("tags"));
    const QDomNode frameLabel = childElement(tags, QStringLiteral("FrameLabel"));
    const QDomNode symbolClass = childElement(tags, QStringLiteral("SymbolClass"));
    const QDomNode symbols = childElement(symbolClass, QStringLiteral("symbols"));
    const std::pair<const QDomNode &, Stop> path[] = {
        {swf, Stop::NoSwf},
        {header, Stop::NoHeader},
        {tags, Stop::NoTags},
        {frameLabel, Stop::NoFrameLabel},
        {symbolClass, Stop::NoSymbolClass},
        {symbols, Stop::NoSymbolList},
    };
    Found<DomElement> found;
    for (const auto &[node, stop] : path) {
        if (node.isNull()) {
            found.missing = stop;
            break;
        }
    }
    const auto elements = [&](const QDomNode &parent, const QString &name) {
        QList<DomElement> all;
        for (const QDomNode &node : childElements(parent, name))
            all.append({node, &runs});
        return all;
    };
    found.frameLabel = {frameLabel, &runs};
    found.symbols = elements(symbols, QStringLiteral("Symbol"));
    found.images = elements(tags, QStringLiteral("DefineBitsLossless2"));
    found.binaries = childElements(tags, QStringLiteral("DefineBinaryData")).size();
    fill(catalogue, found, document);
    if (document == CatalogueDocument::Kept)
        catalogue.document = parsed;
    return catalogue;
}

std::optional<Catalogue> CatalogueReading::streamed(const QByteArray &xml)
{
    StreamedReading reading(xml);
    if (!reading.read())
        return std::nullopt;
    Catalogue catalogue;
    catalogue.xml = xml;
    fill(catalogue, reading.found(), CatalogueDocument::Dropped);
    return catalogue;
}

PreviewSource previewSource(const QDomNode &element)
{
    if (!element.hasAttributes())
        return {};
    const QDomNode inner =
        childElement(childElement(element, QStringLiteral("data")), QStringLiteral("data"));
    return {true, attributeValue(element, QStringLiteral("width")),
            attributeValue(element, QStringLiteral("height")),
            inner.firstChild().nodeValue().toLocal8Bit()};
}

PreviewSource previewSource(const QByteArray &xml, int objectID)
{
    const auto wanted = [objectID](const QString &id) {
        return !id.isNull() && id.toInt() == objectID;
    };
    StreamedReading reading(xml);
    if (reading.read()) {
        for (const StreamedElement &image : reading.found().images) {
            if (image.count > 0 && wanted(image.value("objectID")))
                return {true, image.value("width"), image.value("height"),
                        image.preview.toByteArray()};
        }
        return {};
    }
    QDomDocument document;
    parseDocument(xml, document);
    const QDomNode tags = childElement(
        childElement(childElement(document, QStringLiteral("swf")), QStringLiteral("Header")),
        QStringLiteral("tags"));
    for (const QDomNode &element : childElements(tags, QStringLiteral("DefineBitsLossless2"))) {
        if (element.hasAttributes() && wanted(attributeValue(element, QStringLiteral("objectID"))))
            return previewSource(element);
    }
    return {};
}

Catalogue readCatalogue(const QByteArray &xml, CatalogueDocument document)
{
    if (document == CatalogueDocument::Dropped) {
        if (std::optional<Catalogue> catalogue = CatalogueReading::streamed(xml))
            return std::move(*catalogue);
    }
    return CatalogueReading::parsed(xml, document);
}

std::optional<Catalogue> streamCatalogue(const QByteArray &xml)
{
    return CatalogueReading::streamed(xml);
}

CatalogueOutcome replayCatalogue(const Catalogue &catalogue, CatalogueHandler &handler,
                                 CatalogueLines lines)
{
    // One diagnostic line of the items given, as qDebug() streams them.
    const auto say = [lines](const auto &...items) {
        if (lines == CatalogueLines::Quiet)
            return;
        QDebug line = qDebug();
        ((line << items), ...);
    };
    using Stop = Catalogue::Stop;
    if (catalogue.stop == Stop::ParseError) {
        say("Parser Error Occured");
        return CatalogueOutcome::ParseError;
    }
    say("Data Parsed Successfully!");
    switch (catalogue.stop) {
    case Stop::NoSwf:
        say("Couldn't Find `/swf`");
        return CatalogueOutcome::MissingElement;
    case Stop::NoHeader:
        say("Couldn't Find `/swf/Header`");
        return CatalogueOutcome::MissingElement;
    case Stop::NoTags:
        say("Couldn't Find `/swf/Header/tags`");
        return CatalogueOutcome::MissingElement;
    case Stop::NoFrameLabel:
        say("Missing `/swf/Header/tags/FrameLabel`");
        return CatalogueOutcome::MissingElement;
    case Stop::NoSymbolClass:
        say("Missing `/swf/Header/tags/SymbolClass`");
        return CatalogueOutcome::MissingElement;
    case Stop::NoSymbolList:
        say("Missing `/swf/Header/tags/SymbolClass/symbols`");
        return CatalogueOutcome::MissingElement;
    case Stop::NoSymbols:
        say("No Symbols Found");
        return CatalogueOutcome::NoSymbols;
    default:
        break;
    }
    say(catalogue.symbolCount, "Symbols Found");
    if (catalogue.stop == Stop::EmptyLabel) {
        say("FrameLabel Empty");
        return CatalogueOutcome::EmptyLabel;
    }
    if (!handler.acceptLabel(catalogue.label)) {
        say("Already Loaded");
        return CatalogueOutcome::LabelRefused;
    }
    say(catalogue.imageCount, "Images", catalogue.binaryCount, "Resources");
    if (catalogue.imageCount == 0 && catalogue.binaryCount == 0) {
        say("No Resources In SWF");
        return CatalogueOutcome::NoResources;
    }
    handler.beginEntry(catalogue.label);
    for (const QualifyingBitmap &bitmap : catalogue.bitmaps)
        handler.addBitmap(bitmap);
    return CatalogueOutcome::EntryMade;
}

CatalogueOutcome readCatalogue(const QByteArray &xml, CatalogueHandler &handler,
                               CatalogueDocument document)
{
    return replayCatalogue(readCatalogue(xml, document), handler);
}
