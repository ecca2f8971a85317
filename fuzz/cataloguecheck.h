#pragma once

// Shared by the catalogue fuzz targets: the streamed reading and the DOM
// reading of one document must give the same catalogue.

#include "fuzz/fuzzsupport.h"
#include "swf/catalogue.h"

#include <QDomDocument>
#include <QSet>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace fuzz
{

// A replay's diagnostic lines and hand-overs, as text.
inline QStringList replayed(const Catalogue &catalogue)
{
    static QStringList *lines = nullptr;
    struct Recorder : CatalogueHandler {
        bool acceptLabel(const QString &label) override
        {
            lines->append(QStringLiteral("accept ") + label);
            return true;
        }
        void beginEntry(const QString &label) override
        {
            lines->append(QStringLiteral("begin ") + label);
        }
        void addBitmap(const QualifyingBitmap &bitmap) override
        {
            lines->append(QStringLiteral("bitmap %1 %2x%3 ")
                              .arg(bitmap.objectID)
                              .arg(bitmap.width)
                              .arg(bitmap.height) +
                          bitmap.name);
            // Uncopied and copied, the same bytes.
            const QByteArray text = bitmap.dumpText();
            FUZZ_CHECK(bitmap.dumpText(QualifyingBitmap::Copy::WhenNeeded) == text);
            lines->append(QString::fromLatin1(text.toBase64()));
        }
    } recorder;
    QStringList out;
    lines = &out;
    const QtMessageHandler quiet = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &text) { lines->append(text); });
    replayCatalogue(catalogue, recorder);
    qInstallMessageHandler(quiet);
    lines = nullptr;
    return out;
}

// The streamed reading gives what the DOM reading gives.
inline void checkSameReading(const Catalogue &streamed, const Catalogue &parsed)
{
    FUZZ_CHECK(streamed.stop == parsed.stop);
    FUZZ_CHECK(streamed.symbolCount == parsed.symbolCount);
    FUZZ_CHECK(streamed.label == parsed.label);
    FUZZ_CHECK(streamed.imageCount == parsed.imageCount);
    FUZZ_CHECK(streamed.binaryCount == parsed.binaryCount);
    FUZZ_CHECK(streamed.bitmaps.size() == parsed.bitmaps.size());
    FUZZ_CHECK(replayed(streamed) == replayed(parsed));
}

// The preview's look-up of every objectID under tags finds what the DOM of
// the document gives: the first element of that id, and its chain.
inline void checkPreviewLookUp(const QByteArray &xml)
{
    QDomDocument document;
    parseDocument(xml, document);
    const QList<QDomNode> elements =
        childElements(childElement(childElement(childElement(document, QStringLiteral("swf")),
                                                QStringLiteral("Header")),
                                   QStringLiteral("tags")),
                      QStringLiteral("DefineBitsLossless2"));
    QSet<int> looked;
    for (const QDomNode &element : elements) {
        const QString id = attributeValue(element, QStringLiteral("objectID"));
        if (id.isNull() || looked.contains(id.toInt()))
            continue;
        looked.insert(id.toInt());
        const PreviewSource expected = previewSource(element);
        const PreviewSource found = previewSource(xml, id.toInt());
        FUZZ_CHECK(found.found == expected.found && found.width == expected.width &&
                   found.height == expected.height && found.text == expected.text);
    }
}

// Reads `xml` streamed, and as production does (streamed or, failing that,
// parsed), and checks both against `parsed`, the DOM reading. Counts the
// inputs the streamed reading took, and says how many at the end.
inline void checkBothReadings(const QByteArray &xml, const Catalogue &parsed)
{
    static int streamedInputs = 0;
    static int allInputs = 0;
    static const bool reported = std::atexit([] {
                                     std::fprintf(stderr, "streamed reading took %d of %d inputs\n",
                                                  streamedInputs, allInputs);
                                 }) == 0;
    Q_UNUSED(reported);
    ++allInputs;
    if (const std::optional<Catalogue> streamed = streamCatalogue(xml)) {
        ++streamedInputs;
        checkSameReading(*streamed, parsed);
    }
    checkSameReading(readCatalogue(xml), parsed);
    checkPreviewLookUp(xml);
}

} // namespace fuzz
