#include "swf/catalogue.h"

#include <QDebug>
#include <QDomDocument>
#include <QDomNamedNodeMap>
#include <QHash>
#include <QXmlStreamReader>

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

// Whether no element of `xml` lies deeper than kMaxDocumentDepth. A single
// streaming pass, linear in the size; a document that is not well-formed
// passes here and is refused by the DOM parse, which reads it the same way.
bool withinDepthLimit(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > kMaxDocumentDepth)
                return false;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return true;
}

} // namespace

bool parseDocument(const QByteArray &xml, QDomDocument &document)
{
    document.clear();
    return withinDepthLimit(xml) && document.setContent(xml, false);
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

// objectID -> symbol name, a later entry for the same id replacing the
// earlier one. Symbols without a numeric id or a non-empty name are skipped.
QHash<int, QString> symbolTable(const QList<QDomNode> &symbols)
{
    QHash<int, QString> names;
    for (const QDomNode &symbol : symbols) {
        if (!hasAttributes(symbol, {"objectID", "name"}))
            continue;
        bool ok = false;
        const int id = attributeValue(symbol, QStringLiteral("objectID")).toInt(&ok, 10);
        if (!ok)
            continue;
        const QString name = attributeValue(symbol, QStringLiteral("name"));
        if (name.isEmpty())
            continue;
        names.insert(id, name);
    }
    return names;
}

// The checks a DefineBitsLossless2 element must pass to be handed over, in
// their order; false skips it silently.
bool qualifyingBitmap(const QDomNode &element, const QHash<int, QString> &names,
                      QualifyingBitmap &bitmap)
{
    if (!hasAttributes(element, {"objectID", "format", "width", "height"}))
        return false;
    if (attributeValue(element, QStringLiteral("format")).toInt(nullptr, 10) != 5)
        return false;
    bool ok = false;
    bitmap.objectID = attributeValue(element, QStringLiteral("objectID")).toInt(&ok, 10);
    if (!ok)
        return false;
    bitmap.width = attributeValue(element, QStringLiteral("width")).toInt(&ok, 10);
    if (!ok)
        return false;
    bitmap.height = attributeValue(element, QStringLiteral("height")).toInt(&ok, 10);
    if (!ok)
        return false;
    bitmap.name = names.value(bitmap.objectID);
    if (bitmap.name.isEmpty())
        return false;
    bitmap.element = element;
    return true;
}

} // namespace

CatalogueOutcome readCatalogue(const QByteArray &xml, CatalogueHandler &handler)
{
    QDomDocument document;
    if (!parseDocument(xml, document)) {
        qDebug() << "Parser Error Occured";
        return CatalogueOutcome::ParseError;
    }
    qDebug() << "Data Parsed Successfully!";

    const QDomNode swf = childElement(document, QStringLiteral("swf"));
    if (swf.isNull()) {
        qDebug() << "Couldn't Find `/swf`";
        return CatalogueOutcome::MissingElement;
    }
    const QDomNode header = childElement(swf, QStringLiteral("Header"));
    if (header.isNull()) {
        qDebug() << "Couldn't Find `/swf/Header`";
        return CatalogueOutcome::MissingElement;
    }
    const QDomNode tags = childElement(header, QStringLiteral("tags"));
    if (tags.isNull()) {
        qDebug() << "Couldn't Find `/swf/Header/tags`";
        return CatalogueOutcome::MissingElement;
    }
    const QDomNode frameLabel = childElement(tags, QStringLiteral("FrameLabel"));
    if (frameLabel.isNull()) {
        qDebug() << "Missing `/swf/Header/tags/FrameLabel`";
        return CatalogueOutcome::MissingElement;
    }
    const QDomNode symbolClass = childElement(tags, QStringLiteral("SymbolClass"));
    if (symbolClass.isNull()) {
        qDebug() << "Missing `/swf/Header/tags/SymbolClass`";
        return CatalogueOutcome::MissingElement;
    }
    const QDomNode symbols = childElement(symbolClass, QStringLiteral("symbols"));
    if (symbols.isNull()) {
        qDebug() << "Missing `/swf/Header/tags/SymbolClass/symbols`";
        return CatalogueOutcome::MissingElement;
    }

    const QList<QDomNode> symbolList = childElements(symbols, QStringLiteral("Symbol"));
    if (symbolList.isEmpty()) {
        qDebug() << "No Symbols Found";
        return CatalogueOutcome::NoSymbols;
    }
    qDebug() << symbolList.size() << "Symbols Found";
    const QHash<int, QString> symbolNames = symbolTable(symbolList);

    const QString label = attributeValue(frameLabel, QStringLiteral("label"));
    if (label.isEmpty()) {
        qDebug() << "FrameLabel Empty";
        return CatalogueOutcome::EmptyLabel;
    }
    if (!handler.acceptLabel(label)) {
        qDebug() << "Already Loaded";
        return CatalogueOutcome::LabelRefused;
    }

    const QList<QDomNode> images = childElements(tags, QStringLiteral("DefineBitsLossless2"));
    const QList<QDomNode> binaries = childElements(tags, QStringLiteral("DefineBinaryData"));
    qDebug() << images.size() << "Images" << binaries.size() << "Resources";
    if (images.isEmpty() && binaries.isEmpty()) {
        qDebug() << "No Resources In SWF";
        return CatalogueOutcome::NoResources;
    }

    handler.beginEntry(label);
    // Binary data is only counted; it never becomes an entry of its own.
    for (const QDomNode &element : images) {
        QualifyingBitmap bitmap;
        if (qualifyingBitmap(element, symbolNames, bitmap))
            handler.addBitmap(bitmap);
    }
    return CatalogueOutcome::EntryMade;
}
