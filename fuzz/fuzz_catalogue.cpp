// Catalogue reading from raw XML bytes, with what the window and the dump
// dialog do with each bitmap: the preview (previewImage on every
// DefineBitsLossless2 element under tags of the document parsed whole; the
// preview's own look-up is checked against that document too) and the dump
// decoding of each bitmap handed over (its text, then dumpImage). Every input is read both ways, by
// the streamed reading and by the DOM, and must come out the same.

#include "fuzz/cataloguecheck.h"
#include "fuzz/fuzzsupport.h"
#include "swf/bitmap.h"
#include "swf/catalogue.h"

#include <QByteArray>
#include <QDomDocument>
#include <QImage>
#include <QXmlStreamReader>

#include <algorithm>

#include <cstddef>
#include <cstdint>

namespace
{

class Handler : public CatalogueHandler
{
public:
    bool acceptLabel(const QString &label) override
    {
        FUZZ_CHECK(!label.isEmpty());
        return true;
    }
    void beginEntry(const QString &label) override
    {
        FUZZ_CHECK(!label.isEmpty());
        FUZZ_CHECK(!begun);
        begun = true;
    }
    void addBitmap(const QualifyingBitmap &bitmap) override
    {
        FUZZ_CHECK(begun);
        FUZZ_CHECK(!bitmap.name.isEmpty());
        FUZZ_CHECK(!bitmap.element.isNull());
        // The text handed over is the one the dump would read from the
        // document parsed whole: the same bitmap, by its place among the
        // DefineBitsLossless2 elements under tags.
        int index = 0;
        for (QDomNode n = bitmap.element.previousSibling(); !n.isNull(); n = n.previousSibling())
            index += n.nodeName() == QLatin1String("DefineBitsLossless2");
        FUZZ_CHECK(index < wholeBitmaps.size());
        const QByteArray text = bitmap.dumpText();
        FUZZ_CHECK(text == dumpBitmapText(wholeBitmaps.at(index)));
        // The dump of this bitmap, with the size recorded at catalogue time.
        const QImage dumped = dumpImage(text, bitmap.width, bitmap.height);
        FUZZ_CHECK(dumped.isNull() || dumped.size() == QSize(bitmap.width, bitmap.height));
    }

    QList<QDomNode> wholeBitmaps;
    bool begun = false;
};

// Deepest nesting the XML parser reads in `xml` before its end or its first
// error.
int parserDepth(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    int deepest = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement)
            deepest = std::max(deepest, ++depth);
        else if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return deepest;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietDebugOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char *>(data), qsizetype(size));

    // The depth bound agrees with the parser: a document nested deeper is
    // refused, any other one parses exactly when the DOM takes it, into the
    // same document (lifted texts included), or the same part of it.
    QDomDocument document;
    const bool parsed = parseDocument(xml, document);
    if (parserDepth(xml) > kMaxDocumentDepth) {
        FUZZ_CHECK(!parsed);
    } else {
        QDomDocument whole;
        FUZZ_CHECK(parsed == whole.setContent(xml, false));
        FUZZ_CHECK(document.toByteArray() == whole.toByteArray());
    }
    const QDomNode tags = childElement(
        childElement(childElement(document, QStringLiteral("swf")), QStringLiteral("Header")),
        QStringLiteral("tags"));

    Handler handler;
    handler.wholeBitmaps = childElements(tags, QStringLiteral("DefineBitsLossless2"));
    const Catalogue kept = readCatalogue(xml, CatalogueDocument::Kept);
    const CatalogueOutcome outcome = replayCatalogue(kept, handler);
    FUZZ_CHECK(handler.begun == (outcome == CatalogueOutcome::EntryMade));

    fuzz::checkBothReadings(xml, kept);

    // The preview converts the file again and looks the bitmap up itself.
    for (const QDomNode &element : childElements(tags, QStringLiteral("DefineBitsLossless2"))) {
        const std::optional<QImage> image = previewImage(element);
        if (image && !image->isNull())
            FUZZ_CHECK(image->width() > 0 && image->height() > 0);
    }
    return 0;
}
