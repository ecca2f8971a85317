// Reading a converter document: the three XML walkers, every stop of the
// reading with its line, the symbol table and the bitmap checks.

#include "swf/bitmap.h"
#include "swf/catalogue.h"
#include "tests/cataloguetesting.h"

#include <QDomDocument>
#include <QTest>

Q_DECLARE_METATYPE(CatalogueOutcome)

namespace
{

// A document of the converter's shape around `tags` content.
QByteArray document(const QByteArray &tags)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<swf version=\"10\" compressed=\"1\">\n"
           "  <Header framerate=\"24\" frames=\"1\">\n"
           "    <size><Rectangle left=\"0\" right=\"8000\" top=\"0\" bottom=\"6000\"/></size>\n"
           "    <tags>\n" +
           tags +
           "    </tags>\n"
           "  </Header>\n"
           "</swf>\n";
}

QByteArray label(const QByteArray &text)
{
    return "<FrameLabel label=\"" + text + "\"><flags/></FrameLabel>\n";
}

QByteArray symbols(const QList<QPair<QByteArray, QByteArray>> &entries)
{
    QByteArray out = "<SymbolClass><symbols>\n";
    for (const auto &e : entries)
        out += "  <Symbol objectID=\"" + e.first + "\" name=\"" + e.second + "\"/>\n";
    return out + "</symbols></SymbolClass>\n";
}

QByteArray bitmap(const QByteArray &attributes, const QByteArray &text = "eJwDAAAAAAE=")
{
    return "<DefineBitsLossless2 " + attributes + "><data><data>" + text +
           "</data></data></DefineBitsLossless2>\n";
}

const QString kParsed = QStringLiteral("Data Parsed Successfully!");

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void xmlWalkers();
    void stops_data();
    void stops();
    void firstElementOnly();
    void symbolTable();
    void bitmapChecks_data();
    void bitmapChecks();
    void handOvers();
    void onlyBinaryData();
    void parsedAsWhole_data();
    void parsedAsWhole();
    void dumpTextAsWhole();
    void previewLookUpAsWhole();
};

void TestCatalogue::xmlWalkers()
{
    QDomDocument doc;
    QVERIFY(doc.setContent(QByteArray("<r><a k=\"1\" e=\"\"/>text<A/><a k=\"2\"/><b/><a/></r>")));
    const QDomNode r = childElement(doc, "r");
    QCOMPARE(r.nodeName(), QStringLiteral("r"));

    // The first of that exact name; capitals count.
    QCOMPARE(attributeValue(childElement(r, "a"), "k"), QStringLiteral("1"));
    QCOMPARE(childElement(r, "A").nextSibling().nodeName(), QStringLiteral("a"));
    QVERIFY(childElement(r, "B").isNull());
    QVERIFY(childElement(QDomNode(), "a").isNull());

    const QList<QDomNode> all = childElements(r, "a");
    QCOMPARE(all.size(), 3);
    QCOMPARE(attributeValue(all.at(1), "k"), QStringLiteral("2"));
    QVERIFY(attributeValue(all.at(2), "k").isNull()); // element without attributes
    QVERIFY(childElements(r, "c").isEmpty());
    QVERIFY(childElements(QDomNode(), "a").isEmpty());

    QVERIFY(attributeValue(all.at(0), "K").isNull());
    QVERIFY(attributeValue(all.at(0), "e").isEmpty());
    QVERIFY(attributeValue(r.childNodes().at(1), "k").isNull()); // a text node
    QVERIFY(attributeValue(QDomNode(), "k").isNull());
}

void TestCatalogue::stops_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<CatalogueOutcome>("outcome");
    QTest::addColumn<QStringList>("events");

    const QByteArray syms = symbols({{"1", "Icon"}, {"2", "Other"}});
    const QByteArray bmp = bitmap("objectID=\"1\" format=\"5\" width=\"1\" height=\"1\"");
    const QStringList none;

    QTest::newRow("not well-formed")
        << QByteArray("<swf><Header></swf>") << true << QStringList{"Parser Error Occured"}
        << CatalogueOutcome::ParseError << none;
    QTest::newRow("empty output") << QByteArray() << true << QStringList{"Parser Error Occured"}
                                  << CatalogueOutcome::ParseError << none;
    QTest::newRow("root not swf") << QByteArray("<SWF><Header><tags/></Header></SWF>") << true
                                  << QStringList{kParsed, "Couldn't Find `/swf`"}
                                  << CatalogueOutcome::MissingElement << none;
    QTest::newRow("no Header") << QByteArray("<swf><header><tags/></header></swf>") << true
                               << QStringList{kParsed, "Couldn't Find `/swf/Header`"}
                               << CatalogueOutcome::MissingElement << none;
    QTest::newRow("no tags") << QByteArray("<swf><Header><Tags/></Header></swf>") << true
                             << QStringList{kParsed, "Couldn't Find `/swf/Header/tags`"}
                             << CatalogueOutcome::MissingElement << none;
    // A label only inside a sprite isn't a top-level one.
    QTest::newRow("no FrameLabel")
        << document("<DefineSprite objectID=\"3\" frames=\"1\"><tags>" + label("inner") +
                    "</tags></DefineSprite><Framelabel label=\"x\"/>" + syms + bmp)
        << true << QStringList{kParsed, "Missing `/swf/Header/tags/FrameLabel`"}
        << CatalogueOutcome::MissingElement << none;
    QTest::newRow("no SymbolClass")
        << document(label("L") +
                    "<Export><symbols><Symbol objectID=\"1\" name=\"A\"/></symbols>"
                    "</Export>" +
                    bmp)
        << true << QStringList{kParsed, "Missing `/swf/Header/tags/SymbolClass`"}
        << CatalogueOutcome::MissingElement << none;
    QTest::newRow("no symbols")
        << document(label("L") + "<SymbolClass><Symbol objectID=\"1\" name=\"A\"/></SymbolClass>")
        << true << QStringList{kParsed, "Missing `/swf/Header/tags/SymbolClass/symbols`"}
        << CatalogueOutcome::MissingElement << none;
    QTest::newRow("no Symbol") << document(label("L") + symbols({}) + bmp) << true
                               << QStringList{kParsed, "No Symbols Found"}
                               << CatalogueOutcome::NoSymbols << none;
    // Symbols are counted before the label is looked at.
    QTest::newRow("no Symbol, empty label")
        << document(label("") + symbols({})) << true << QStringList{kParsed, "No Symbols Found"}
        << CatalogueOutcome::NoSymbols << none;
    QTest::newRow("label empty") << document(label("") + syms + bmp) << true
                                 << QStringList{kParsed, "2 Symbols Found", "FrameLabel Empty"}
                                 << CatalogueOutcome::EmptyLabel << none;
    QTest::newRow("label absent") << document("<FrameLabel/>" + syms + bmp) << true
                                  << QStringList{kParsed, "2 Symbols Found", "FrameLabel Empty"}
                                  << CatalogueOutcome::EmptyLabel << none;
    QTest::newRow("label refused") << document(label("L") + syms + bmp) << false
                                   << QStringList{kParsed, "2 Symbols Found", "Already Loaded"}
                                   << CatalogueOutcome::LabelRefused << QStringList{"accept L"};
    QTest::newRow("no resources") << document(label("L") + syms +
                                              "<DefineBitsLossless objectID=\"1\" format=\"5\" "
                                              "width=\"1\" height=\"1\"/>")
                                  << true
                                  << QStringList{kParsed, "2 Symbols Found", "0 Images 0 Resources",
                                                 "No Resources In SWF"}
                                  << CatalogueOutcome::NoResources << QStringList{"accept L"};
    QTest::newRow("entry") << document(label("L") + syms + bmp) << true
                           << QStringList{kParsed, "2 Symbols Found", "1 Images 0 Resources"}
                           << CatalogueOutcome::EntryMade
                           << QStringList{"accept L", "begin L", "bitmap 1"};
}

void TestCatalogue::stops()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, accept);
    QFETCH(QStringList, lines);
    QFETCH(CatalogueOutcome, outcome);
    QFETCH(QStringList, events);

    RecordingHandler handler;
    handler.accept = accept;
    DebugLines debug;
    QCOMPARE(readCatalogue(xml, handler), outcome);
    QCOMPARE(debug.lines, lines);
    QCOMPARE(handler.events, events);
}

void TestCatalogue::firstElementOnly()
{
    // Second FrameLabel, second SymbolClass and a second tags list are never
    // consulted; the first label being empty stops the reading.
    const QByteArray bmp1 = bitmap("objectID=\"1\" format=\"5\" width=\"1\" height=\"1\"");
    const QByteArray bmp2 = bitmap("objectID=\"2\" format=\"5\" width=\"1\" height=\"1\"");
    RecordingHandler handler;
    {
        DebugLines debug;
        readCatalogue(document(label("first") + label("second") + symbols({{"1", "One"}}) +
                               symbols({{"2", "Two"}}) + bmp1 + bmp2),
                      handler);
        QCOMPARE(debug.lines.at(1), QStringLiteral("1 Symbols Found"));
    }
    QCOMPARE(handler.events, QStringList({"accept first", "begin first", "bitmap 1"}));

    RecordingHandler emptyFirst;
    DebugLines debug;
    QCOMPARE(readCatalogue(document(label("") + label("second") + symbols({{"1", "One"}}) + bmp1),
                           emptyFirst),
             CatalogueOutcome::EmptyLabel);
    QVERIFY(emptyFirst.events.isEmpty());

    QByteArray twoLists = document(label("a") + symbols({{"1", "One"}}) + bmp1);
    twoLists.replace("</Header>", "<tags>" + label("b") + bmp2 + "</tags></Header>");
    RecordingHandler firstList;
    readCatalogue(twoLists, firstList);
    QCOMPARE(firstList.events, QStringList({"accept a", "begin a", "bitmap 1"}));
}

void TestCatalogue::symbolTable()
{
    // Skipped symbols give no name and don't erase one; a later valid entry
    // replaces the name; every Symbol element counts in the line.
    const QByteArray syms = "<SymbolClass><symbols>\n"
                            "<Symbol objectID=\"1\" name=\"First\"/>\n"
                            "<Symbol objectID=\"1\" name=\"\"/>\n"     // empty name
                            "<Symbol objectID=\"1x\" name=\"Bad\"/>\n" // not a number
                            "<Symbol name=\"NoId\"/>\n"                // no objectID
                            "<Symbol objectID=\"2\"/>\n"               // no name
                            "<Symbol/>\n"                              // no attributes
                            "<Symbol objectID=\"3\" name=\"Three\"/>\n"
                            "<Symbol objectID=\"3\" name=\"Later\"/>\n" // replaces Three
                            "<Symbol objectID=\"abc\" name=\"Zero\"/>\n"
                            "<symbol objectID=\"4\" name=\"Lower\"/>\n" // wrong capitals
                            "</symbols></SymbolClass>\n";
    QByteArray bitmaps;
    for (const char *id : {"1", "2", "3", "4", "0"})
        bitmaps +=
            bitmap("objectID=\"" + QByteArray(id) + "\" format=\"5\" width=\"2\" height=\"3\"");

    RecordingHandler handler;
    DebugLines debug;
    QCOMPARE(readCatalogue(document(label("L") + syms + bitmaps), handler),
             CatalogueOutcome::EntryMade);
    QCOMPARE(debug.lines, QStringList({kParsed, "9 Symbols Found", "5 Images 0 Resources"}));
    QCOMPARE(handler.bitmaps.size(), 2);
    QCOMPARE(handler.bitmaps.at(0).name, QStringLiteral("First"));
    QCOMPARE(handler.bitmaps.at(1).name, QStringLiteral("Later"));
}

void TestCatalogue::bitmapChecks_data()
{
    QTest::addColumn<QByteArray>("attributes");
    QTest::addColumn<bool>("qualifies");

    QTest::newRow("all fine") << QByteArray("objectID=\"1\" format=\"5\" width=\"2\" height=\"3\"")
                              << true;
    // Parsed, but not range-checked: that is the decoder's business.
    QTest::newRow("negative size")
        << QByteArray("objectID=\"1\" format=\"5\" width=\"-2\" height=\"0\"") << true;
    QTest::newRow("no attributes") << QByteArray() << false;
    QTest::newRow("no objectID") << QByteArray("format=\"5\" width=\"2\" height=\"3\"") << false;
    QTest::newRow("no format") << QByteArray("objectID=\"1\" width=\"2\" height=\"3\"") << false;
    QTest::newRow("no width") << QByteArray("objectID=\"1\" format=\"5\" height=\"3\"") << false;
    QTest::newRow("no height") << QByteArray("objectID=\"1\" format=\"5\" width=\"2\"") << false;
    QTest::newRow("Width capitalised")
        << QByteArray("objectID=\"1\" format=\"5\" Width=\"2\" height=\"3\"") << false;
    QTest::newRow("format 3")
        << QByteArray("objectID=\"1\" format=\"3\" width=\"2\" height=\"3\" n_colormap=\"15\"")
        << false;
    QTest::newRow("format not a number")
        << QByteArray("objectID=\"1\" format=\"five\" width=\"2\" height=\"3\"") << false;
    QTest::newRow("objectID not a number")
        << QByteArray("objectID=\"one\" format=\"5\" width=\"2\" height=\"3\"") << false;
    QTest::newRow("width not a number")
        << QByteArray("objectID=\"1\" format=\"5\" width=\"2px\" height=\"3\"") << false;
    QTest::newRow("height not a number")
        << QByteArray("objectID=\"1\" format=\"5\" width=\"2\" height=\"\"") << false;
    QTest::newRow("no symbol name")
        << QByteArray("objectID=\"7\" format=\"5\" width=\"2\" height=\"3\"") << false;
}

void TestCatalogue::bitmapChecks()
{
    QFETCH(QByteArray, attributes);
    QFETCH(bool, qualifies);

    // The checked element sits between two good ones, so a failing check
    // skips only it, silently.
    const QByteArray good = bitmap("objectID=\"1\" format=\"5\" width=\"4\" height=\"4\"");
    RecordingHandler handler;
    DebugLines debug;
    QCOMPARE(readCatalogue(
                 document(label("L") + symbols({{"1", "Icon"}}) + good + bitmap(attributes) + good),
                 handler),
             CatalogueOutcome::EntryMade);
    QCOMPARE(debug.lines, QStringList({kParsed, "1 Symbols Found", "3 Images 0 Resources"}));
    QCOMPARE(handler.bitmaps.size(), qualifies ? 3 : 2);
}

void TestCatalogue::handOvers()
{
    // Every qualifying bitmap in document order, with its own element; two
    // bitmaps of one name are both handed over.
    const QByteArray tags =
        label("Assets") + symbols({{"5", "Shared"}, {"9", "Nine"}, {"6", "Shared"}}) +
        bitmap("objectID=\"9\" format=\"5\" width=\"10\" height=\"20\"", "TklORQ==") +
        "<DefineBinaryData objectID=\"2\"><data><data>AAAA</data></data></DefineBinaryData>\n" +
        bitmap("objectID=\"5\" format=\"5\" width=\"1\" height=\"2\"", "RklWRQ==") +
        bitmap("objectID=\"6\" format=\"5\" width=\"3\" height=\"4\"", "U0lY");
    RecordingHandler handler;
    DebugLines debug;
    QCOMPARE(readCatalogue(document(tags), handler), CatalogueOutcome::EntryMade);
    QCOMPARE(debug.lines, QStringList({kParsed, "3 Symbols Found", "3 Images 1 Resources"}));
    QCOMPARE(handler.events,
             QStringList({"accept Assets", "begin Assets", "bitmap 9", "bitmap 5", "bitmap 6"}));

    const QualifyingBitmap &nine = handler.bitmaps.at(0);
    QCOMPARE(nine.name, QStringLiteral("Nine"));
    QCOMPARE(nine.width, 10);
    QCOMPARE(nine.height, 20);
    QCOMPARE(handler.bitmaps.at(1).name, QStringLiteral("Shared"));
    QCOMPARE(handler.bitmaps.at(2).name, QStringLiteral("Shared"));
    QCOMPARE(handler.bitmaps.at(2).width, 3);
    QCOMPARE(handler.bitmaps.at(2).height, 4);
    // The text is the bitmap's own, and so is the element of a reading that
    // keeps its document.
    QCOMPARE(handler.bitmaps.at(1).dumpText(), QByteArray("RklWRQ=="));
    const Catalogue kept = readCatalogue(document(tags), CatalogueDocument::Kept);
    QCOMPARE(kept.bitmaps.at(1).element.toElement().text(), QStringLiteral("RklWRQ=="));
}

void TestCatalogue::onlyBinaryData()
{
    // An entry is still made, and bitmaps that all fail leave it empty too.
    const QByteArray binary = "<DefineBinaryData objectID=\"2\"><data><data>AAAA</data></data>"
                              "</DefineBinaryData>\n";
    RecordingHandler handler;
    DebugLines debug;
    QCOMPARE(
        readCatalogue(document(label("Bin") + symbols({{"2", "Blob"}}) + binary + binary), handler),
        CatalogueOutcome::EntryMade);
    QCOMPARE(debug.lines, QStringList({kParsed, "1 Symbols Found", "0 Images 2 Resources"}));
    QCOMPARE(handler.events, QStringList({"accept Bin", "begin Bin"}));

    RecordingHandler unnamed;
    QCOMPARE(readCatalogue(document(label("U") + symbols({{"2", "Blob"}}) +
                                    bitmap("objectID=\"1\" format=\"5\" width=\"1\" height=\"1\"")),
                           unnamed),
             CatalogueOutcome::EntryMade);
    QCOMPARE(unnamed.events, QStringList({"accept U", "begin U"}));
}

void TestCatalogue::parsedAsWhole_data()
{
    // Long base64 texts are lifted out of the parser's way; wherever they
    // stand, the document must come out exactly as the parser alone makes it.
    QTest::addColumn<QByteArray>("xml");
    const QByteArray b64 = QByteArray("eJzt+/8=AbCd0123").repeated(12);
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    QTest::newRow("bitmaps") << document(
        label("x") + bitmap("objectID=\"1\" format=\"5\" width=\"2\" height=\"2\"", b64) +
        "<UnknownTag id=\"0x5A\"><data>" + b64 + "</data></UnknownTag>" +
        bitmap("objectID=\"2\" format=\"5\" width=\"1\" height=\"1\"", b64));
    QTest::newRow("root text") << "<a>" + b64 + "</a>";
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF<a><b>" + b64 + "</b></a>";
    QTest::newRow("shortest lifted")
        << "<a><b>" + b64.left(64) + "</b><c>" + b64.left(63) + "</c></a>";
    QTest::newRow("mixed content") << "<a><b>" + b64 + "<c/>" + b64 + "</b><d>" + b64 +
                                          "<!-- c --></d><e>" + b64 + "<![CDATA[x]]></e></a>";
    QTest::newRow("blank or entity inside") << "<a><b>" + b64 + " " + b64 + "</b><c>" + b64 +
                                                   "&amp;</c><d>" + b64 + "\r\n" + b64 + "</d></a>";
    QTest::newRow("hidden markup") << "<a><!-- <b>" + b64 + "</b> --><![CDATA[<c>" + b64 +
                                          "</c>]]><?pi <d>" + b64 + "</d>?><e>" + b64 + "</e></a>";
    QTest::newRow("quoted brackets") << "<a x=\"<b>\" y='/>'>" + b64 + "</a>";
    QTest::newRow("after empty tags") << "<a><b/>" + b64 + "<c/><d></d><e>" + b64 + "</e></a>";
    QTest::newRow("document type")
        << "<!DOCTYPE a [<!ENTITY e \"<b/>\">]><a>&e;<c>" + b64 + "</c></a>";
    QTest::newRow("latin-1 declared")
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>" + b64 + "\xE9</a>";
    QTest::newRow("after the root") << "<a/>" + b64;
    QTest::newRow("before the root") << head + b64 + "<a/>";
    QTest::newRow("mismatched end") << "<a><b>" + b64 + "</c></a>";
    QTest::newRow("unclosed") << "<a><b>" + b64;
    QTest::newRow("bad start tag") << "<a><b c>" + b64 + "</b></a>";
    QTest::newRow("second root") << "<a>" + b64 + "</a><b>" + b64 + "</b>";
    QTest::newRow("tag in a value") << "<a x=\"<\">" + b64 + "</a>";
    // Deep only after the error: the part before it is still the parser's.
    QTest::newRow("deep after an error") << "<?pi?><a><\"\">" + QByteArray("<b>").repeated(300);
}

void TestCatalogue::parsedAsWhole()
{
    QFETCH(QByteArray, xml);
    QDomDocument expected;
    const bool wellFormed = expected.setContent(xml, false);
    QDomDocument parsed;
    QCOMPARE(parseDocument(xml, parsed), wellFormed);
    QCOMPARE(parsed.toByteArray(), expected.toByteArray());
}

void TestCatalogue::dumpTextAsWhole()
{
    // The reading leaves long base64 texts out of its document; each bitmap
    // still hands over the text the dump would read from the whole one,
    // whatever its shape. Twelve bitmaps, so stand-ins reach two digits.
    const QByteArray b64 = QByteArray("eJzt+/8=AbCd0123").repeated(8);
    const QList<QByteArray> inner = {
        "<data><data>" + b64 + "</data></data>",
        "<data><data>" + b64.left(20) + "</data></data>",
        "<x><y>" + b64 + "</y><data/></x>",
        "<data>" + b64 + "</data>",
        "<data><data><z>" + b64 + "</z></data></data>",
        "<data><data>" + b64 + "<!-- c -->" + b64 + "</data></data>",
        "<data><data>" + b64 + " " + b64 + "</data></data>",
        "<data/><data><data>" + b64 + "</data></data>",
        "<data><data></data></data>",
        "<data><data>" + b64.left(64) + "</data><data>" + b64 + "</data></data>",
        "",
        "<data><data>" + b64.left(100) + "=</data></data>",
    };
    QByteArray tags = label("x");
    QList<QPair<QByteArray, QByteArray>> names;
    for (int i = 0; i < inner.size(); ++i) {
        const QByteArray id = QByteArray::number(i + 1);
        tags += "<DefineBitsLossless2 objectID=\"" + id +
                "\" format=\"5\" width=\"1\" height=\"1\">" + inner[i] + "</DefineBitsLossless2>\n";
        names.append({id, "b" + id});
    }
    const QByteArray xml = document(tags + symbols(names));

    QDomDocument whole;
    QVERIFY(whole.setContent(xml, false));
    QList<QByteArray> expected;
    for (const QDomNode &element :
         childElements(childElement(childElement(childElement(whole, "swf"), "Header"), "tags"),
                       "DefineBitsLossless2"))
        expected.append(dumpBitmapText(element));

    struct TextHandler : RecordingHandler {
        void addBitmap(const QualifyingBitmap &bitmap) override
        {
            texts.append(bitmap.dumpText());
            uncopied.append(bitmap.dumpText(QualifyingBitmap::Copy::WhenNeeded));
        }
        QList<QByteArray> texts;
        QList<QByteArray> uncopied;
    } handler;
    DebugLines quiet;
    QCOMPARE(readCatalogue(xml, handler), CatalogueOutcome::EntryMade);
    QCOMPARE(handler.texts, expected);
    QCOMPARE(handler.uncopied, expected);
    QCOMPARE(handler.texts.first(), b64);
    // Uncopied, a lifted text is the converter's output itself.
    const char *first = handler.uncopied.first().constData();
    QVERIFY(first > xml.constData() && first < xml.constData() + xml.size());
    QVERIFY(handler.texts.first().constData() != first);
}

void TestCatalogue::previewLookUpAsWhole()
{
    // The preview looks its bitmap up without a DOM when the document
    // allows; it must find what the DOM would: the first element of the
    // id, and its chain by names, past other children and texts.
    const QList<QByteArray> inner = {
        "<data><data>AAAA</data></data>",
        "<x><data><data>BBBB</data></data></x><data><data>CCCC</data></data>",
        "<data/><data><data>DDDD</data></data>",
        "<data><x/>EEEE<data>FFFF</data><data>GGGG</data></data>",
        "<data><data><z>HHHH</z>IIII</data></data>",
        "<data><data>\n  <z/>JJJJ</data></data>",
        "<data><data></data></data>",
        "<data><data/></data>",
        "",
        "<data>KKKK</data>",
    };
    QByteArray tags = label("x");
    for (int i = 0; i < inner.size(); ++i)
        tags += "<DefineBitsLossless2 objectID=\"" + QByteArray::number(i + 1) + "\" width=\"" +
                QByteArray::number(i) + "\">" + inner[i] + "</DefineBitsLossless2>\n";
    tags += "<DefineBitsLossless2 objectID=\"1\" width=\"9\"><data><data>LLLL</data></data>"
            "</DefineBitsLossless2><DefineBitsLossless2/>";
    const QByteArray xml = document(tags);
    QVERIFY(streamCatalogue(xml));

    QDomDocument whole;
    QVERIFY(whole.setContent(xml, false));
    const QList<QDomNode> elements =
        childElements(childElement(childElement(childElement(whole, "swf"), "Header"), "tags"),
                      "DefineBitsLossless2");
    for (int id = 0; id <= inner.size() + 1; ++id) {
        PreviewSource expected;
        for (const QDomNode &element : elements) {
            const QString objectID = attributeValue(element, "objectID");
            if (!objectID.isNull() && objectID.toInt() == id) {
                expected = previewSource(element);
                break;
            }
        }
        const PreviewSource found = previewSource(xml, id);
        QCOMPARE(found.found, expected.found);
        QCOMPARE(found.width, expected.width);
        QCOMPARE(found.height, expected.height);
        QCOMPARE(found.text, expected.text);
    }
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
