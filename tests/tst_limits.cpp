// Hostile sizes for the reading of converter documents: nesting far beyond
// any real document, a hundred thousand tags, a symbol name of a megabyte.
// (Bitmap bombs and huge dimensions are covered by tst_bitmap.)

#include "swf/bitmap.h"
#include "swf/catalogue.h"
#include "tests/cataloguetesting.h"
#include "tests/support/swfwriter.h"

#include <QDomDocument>
#include <QTest>

namespace
{

QByteArray document(const QByteArray &tags)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<swf version=\"10\" compressed=\"0\">"
           "<Header framerate=\"24\" frames=\"1\"><tags>\n" +
           tags + "</tags></Header></swf>\n";
}

QByteArray bitmap(int id, const QByteArray &base64)
{
    return "<DefineBitsLossless2 objectID=\"" + QByteArray::number(id) +
           "\" format=\"5\" width=\"1\" height=\"1\"><data><data>" + base64 +
           "</data></data></DefineBitsLossless2>\n";
}

QByteArray symbolClass(const QByteArray &symbols)
{
    return "<SymbolClass><symbols>" + symbols + "</symbols></SymbolClass>\n";
}

QByteArray symbol(int id, const QByteArray &name)
{
    return "<Symbol objectID=\"" + QByteArray::number(id) + "\" name=\"" + name + "\"/>";
}

// `inner` wrapped in `levels` elements.
QByteArray nested(int levels, const QByteArray &inner)
{
    QByteArray out;
    out.reserve(levels * 7 + inner.size());
    for (int i = 0; i < levels; ++i)
        out += "<n>";
    out += inner;
    for (int i = 0; i < levels; ++i)
        out += "</n>";
    return out;
}

const QByteArray kPixel = swfw::zlib(QByteArray("\xff\x10\x20\x30", 4)).toBase64();

} // namespace

class TestLimits : public QObject
{
    Q_OBJECT

private slots:
    void nestingDepth();
    void hundredThousandTags();
    void megabyteSymbolName();
};

void TestLimits::nestingDepth()
{
    // swf, Header and tags take three levels; nesting fills the rest.
    const QByteArray catalogue =
        "<FrameLabel label=\"deep\"/>" + symbolClass(symbol(1, "pic")) + bitmap(1, kPixel);
    const QByteArray atLimit = document(catalogue + nested(kMaxDocumentDepth - 3, QByteArray()));
    const QByteArray pastLimit = document(catalogue + nested(kMaxDocumentDepth - 3, "<n/>"));

    QDomDocument parsed;
    QVERIFY(parseDocument(atLimit, parsed));
    QVERIFY(!parsed.documentElement().isNull());
    QVERIFY(!parseDocument(pastLimit, parsed));
    QVERIFY(parsed.documentElement().isNull());

    RecordingHandler handler;
    QCOMPARE(readCatalogue(atLimit, handler), CatalogueOutcome::EntryMade);
    QCOMPARE(handler.bitmaps.size(), 1);

    // A million levels would take the DOM minutes to build and overflow the
    // stack when freed; it is refused like any unreadable document.
    DebugLines debug;
    RecordingHandler refused;
    QCOMPARE(readCatalogue(document(catalogue + nested(1000000, QByteArray())), refused),
             CatalogueOutcome::ParseError);
    QCOMPARE(debug.lines, QStringList({"Parser Error Occured"}));
    QVERIFY(refused.events.isEmpty());

    // Quoted "/>" and ">" in attribute values hide no level; markup inside
    // comments, CDATA sections and processing instructions adds none.
    const auto tricky = [&](int levels) {
        QByteArray out = catalogue;
        for (int i = 0; i < levels; ++i)
            out += "<n a=\"/>\" b='>' c=\"'/>\">";
        return document(out + QByteArray("</n>").repeated(levels));
    };
    QVERIFY(parseDocument(tricky(kMaxDocumentDepth - 3), parsed));
    QVERIFY(!parseDocument(tricky(kMaxDocumentDepth - 2), parsed));
    const QByteArray hidden = "<!-- <n><n><n> --><![CDATA[<n><n>]]><?pi <n><n>?>";
    QVERIFY(parseDocument(document(catalogue + nested(kMaxDocumentDepth - 3, hidden.repeated(100))),
                          parsed));
    // Documents in another encoding, or with a document type, are counted by
    // the parser itself.
    const QString deep = QString::fromUtf8(document(nested(kMaxDocumentDepth - 2, QByteArray())));
    const QString fits = QString::fromUtf8(document(nested(kMaxDocumentDepth - 3, QByteArray())));
    const auto utf16 = [](QString text) {
        text.replace(QStringLiteral("UTF-8"), QStringLiteral("UTF-16"));
        return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2)
            .prepend("\xff\xfe");
    };
    QVERIFY(!parseDocument(utf16(deep), parsed));
    QVERIFY(parseDocument(utf16(fits), parsed));
    QVERIFY(!parseDocument("<!DOCTYPE n>" + nested(kMaxDocumentDepth + 1, QByteArray()), parsed));
    QVERIFY(parseDocument("<!DOCTYPE n>" + nested(kMaxDocumentDepth, QByteArray()), parsed));

    // Depth is counted in elements, not in text or in a document that fails
    // anyway.
    QVERIFY(
        parseDocument(document(catalogue + QByteArray(100000, '<').replace('<', "&lt;")), parsed));
    QVERIFY(!parseDocument("<swf><Header></swf>", parsed));
}

void TestLimits::hundredThousandTags()
{
    // Every one a named bitmap: all are handed over, in order.
    constexpr int kTags = 100000;
    QByteArray tags = "<FrameLabel label=\"many\"/>";
    QByteArray symbols;
    for (int id = 1; id < kTags; ++id) {
        tags += bitmap(id, kPixel);
        symbols += symbol(id, "b" + QByteArray::number(id));
    }
    tags += symbolClass(symbols);

    RecordingHandler handler;
    QCOMPARE(readCatalogue(document(tags), handler), CatalogueOutcome::EntryMade);
    QCOMPARE(handler.bitmaps.size(), kTags - 1);
    QCOMPARE(handler.bitmaps.first().name, QStringLiteral("b1"));
    QCOMPARE(handler.bitmaps.last().objectID, kTags - 1);
    const std::optional<QImage> last = previewImage(handler.bitmaps.last().element);
    QVERIFY(last && last->size() == QSize(1, 1));
}

void TestLimits::megabyteSymbolName()
{
    const QByteArray name(1 << 20, 'n');
    RecordingHandler handler;
    QCOMPARE(readCatalogue(document("<FrameLabel label=\"" + name + "\"/>" +
                                    symbolClass(symbol(1, name) + symbol(2, "small")) +
                                    bitmap(1, kPixel) + bitmap(2, kPixel)),
                           handler),
             CatalogueOutcome::EntryMade);
    QCOMPARE(handler.bitmaps.size(), 2);
    QCOMPARE(handler.bitmaps.at(0).name.size(), name.size());
    QCOMPARE(handler.bitmaps.at(0).name, QString::fromLatin1(name));
    QCOMPARE(handler.bitmaps.at(1).name, QStringLiteral("small"));
    QCOMPARE(handler.events.first().size(), qsizetype(7 + name.size())); // "accept " + label
}

QTEST_GUILESS_MAIN(TestLimits)
#include "tst_limits.moc"
