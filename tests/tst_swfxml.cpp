// The converter library: SWF files from the project's writer, converted in
// memory and read back with QDomDocument.

#include "swfxml/swfconvert.h"
#include "tests/support/swfwriter.h"
#include "tst_swfxml_util.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace swfw;
using xmlcheck::elements;

namespace
{

struct Converted {
    swfxml::Result result = swfxml::Result::Refused;
    QByteArray xml;
    QByteArray error;
    QList<QByteArray> warnings;
    QDomDocument doc;

    QDomElement root() const { return doc.documentElement(); }
    QDomElement header() const { return root().firstChildElement("Header"); }
    QList<QDomElement> tags() const { return elements(xmlcheck::tagsElement(doc)); }
    QStringList tagNames() const
    {
        QStringList names;
        for (const QDomElement &e : tags())
            names << e.tagName();
        return names;
    }
};

Converted convert(const QByteArray &swf)
{
    Converted c;
    c.result = swfxml::convert(swf, c.xml, &c.error,
                               [&c](const QByteArray &message) { c.warnings << message; });
    if (c.result == swfxml::Result::Converted)
        c.doc.setContent(c.xml);
    return c;
}

Header version(int v)
{
    Header h;
    h.version = v;
    return h;
}

// The document must be well-formed; `c` must have converted.
#define VERIFY_DOCUMENT(c)                                                                         \
    do {                                                                                           \
        QCOMPARE(int((c).result), int(swfxml::Result::Converted));                                 \
        const QString problem = xmlcheck::problem((c).xml);                                        \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                          \
    } while (false)

} // namespace

class TestSwfXml : public QObject
{
    Q_OBJECT

private slots:
    void compressionKinds_data();
    void compressionKinds();
    void movieHeader_data();
    void movieHeader();
    void tagHeaders();
    void everyTagKind();
    void tagsAfterEnd();
    void base64Text();
    void nestedSprites();
    void hostileStrings_data();
    void hostileStrings();
    void malformedTagsKeptWhole();
    void shortBodies();
    void concurrentConversions();
};

void TestSwfXml::compressionKinds_data()
{
    QTest::addColumn<QByteArray>("swf");
    QTest::addColumn<QString>("compressed");
    Tags t;
    t.frameLabel("assets").bitmap(1, 5, 3, testPattern(5, 3)).showFrame().end();
    const Header h = version(13);
    QTest::newRow("FWS") << file(h, t, Compression::None) << "0";
    QTest::newRow("CWS") << file(h, t, Compression::Zlib) << "1";
    QTest::newRow("ZWS") << file(h, t, Compression::Lzma) << "1";
    QTest::newRow("ZWS without end marker") << lzmaFileWithoutEndMarker(h, t) << "1";
}

void TestSwfXml::compressionKinds()
{
    QFETCH(QByteArray, swf);
    QFETCH(QString, compressed);
    const Converted c = convert(swf);
    VERIFY_DOCUMENT(c);
    QCOMPARE(c.warnings, QList<QByteArray>());
    QCOMPARE(c.root().attribute("version"), QString("13"));
    QCOMPARE(c.root().attribute("compressed"), compressed);
    QCOMPARE(c.tagNames(), QStringList({"FrameLabel", "DefineBitsLossless2", "ShowFrame", "End"}));
    QCOMPARE(xmlcheck::payload(c.tags()[1]), zlib(testPattern(5, 3)));
}

void TestSwfXml::movieHeader_data()
{
    QTest::addColumn<QList<int>>("rect");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("framerate");
    QTest::newRow("common") << QList<int>{0, 11000, 0, 8000} << (24 << 8) << 1 << "24";
    QTest::newRow("NTSC rate") << QList<int>{0, 550, 0, 400} << 0x1DF8 << 2 << "29.96875";
    QTest::newRow("smallest fraction") << QList<int>{0, 1, 0, 1} << 0x0001 << 0 << "0.00390625";
    QTest::newRow("negative") << QList<int>{-200, 300, -1, -1} << 0x0C80 << 65535 << "12.5";
    QTest::newRow("wide") << QList<int>{-1073741824, 1073741823, -5, 0} << 0xFF00 << 7 << "255";
    QTest::newRow("all zero") << QList<int>{0, 0, 0, 0} << 0 << 0 << "0";
}

void TestSwfXml::movieHeader()
{
    QFETCH(QList<int>, rect);
    QFETCH(int, rate);
    QFETCH(int, frames);
    QFETCH(QString, framerate);
    Header h;
    h.xmin = rect[0];
    h.xmax = rect[1];
    h.ymin = rect[2];
    h.ymax = rect[3];
    h.frameRate = quint16(rate);
    h.frameCount = quint16(frames);
    const Converted c = convert(file(h, Tags().end(), Compression::None));
    VERIFY_DOCUMENT(c);
    QCOMPARE(c.header().attribute("framerate"), framerate);
    QCOMPARE(c.header().attribute("frames"), QString::number(frames));
    const QDomElement r = c.header().firstChildElement("size").firstChildElement("Rectangle");
    QCOMPARE(r.attribute("left"), QString::number(rect[0]));
    QCOMPARE(r.attribute("right"), QString::number(rect[1]));
    QCOMPARE(r.attribute("top"), QString::number(rect[2]));
    QCOMPARE(r.attribute("bottom"), QString::number(rect[3]));
    QCOMPARE(c.tagNames(), QStringList({"End"}));

    if (QTest::currentDataTag() == QLatin1String("all zero")) {
        // Nbits 0: the RECT is one byte and every field is 0.
        const QByteArray zeroBits("FWS\x0A\x11\x00\x00\x00\x00\x00\x18\x01\x00\x00\x00", 15);
        const Converted z = convert(zeroBits + QByteArray(2, '\0'));
        VERIFY_DOCUMENT(z);
        QCOMPARE(z.warnings, QList<QByteArray>());
        const QDomElement zr = z.header().firstChildElement("size").firstChildElement("Rectangle");
        QCOMPARE(zr.attribute("right"), QString("0"));
        QCOMPARE(z.header().attribute("framerate"), QString("24"));
        QCOMPARE(z.tagNames(), QStringList({"End", "End"}));
    }
}

void TestSwfXml::tagHeaders()
{
    // The same tags with short and with long headers read the same; 62 bytes
    // is the longest short body, 63 needs the long form.
    const QByteArray body62(62, 'a'), body63(63, 'b');
    Tags shortForm, longForm;
    shortForm.tag(1000, body62).tag(8, "x").tag(90, {}).frameLabel("L").tag(2, body63).end();
    longForm.tag(1000, body62, true).tag(8, "x", true).tag(90, {}, true);
    longForm.tag(43, QByteArray("L") + '\0', true).tag(2, body63, true).tag(0, {}, true);
    QVERIFY(longForm.data().size() > shortForm.data().size());
    const Converted a = convert(file({}, shortForm, Compression::None));
    const Converted b = convert(file({}, longForm, Compression::None));
    VERIFY_DOCUMENT(a);
    QCOMPARE(a.xml, b.xml);
    const auto tags = a.tags();
    QCOMPARE(a.tagNames(), QStringList({"UnknownTag", "UnknownTag", "UnknownTag", "FrameLabel",
                                        "UnknownTag", "End"}));
    QCOMPARE(tags[0].attribute("id"), QString("0x3E8"));
    QCOMPARE(xmlcheck::payload(tags[0]), body62);
    QCOMPARE(tags[1].attribute("id"), QString("0x08"));
    QCOMPARE(xmlcheck::payload(tags[1]), QByteArray("x"));
    QCOMPARE(tags[2].attribute("id"), QString("0x5A"));
    QVERIFY(tags[2].firstChildElement("data").isNull());
    QCOMPARE(tags[3].attribute("label"), QString("L"));
    QCOMPARE(xmlcheck::payload(tags[4]), body63);
}

void TestSwfXml::everyTagKind()
{
    const QByteArray pixels = testPattern(7, 5, 3);
    const QByteArray palette = zlib(QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    const QByteArray binary("\x00\x01\xFF"
                            "binary",
                            9);
    Tags inner;
    inner.frameLabel("inside a sprite").showFrame().end();
    Tags t;
    t.tag(69, QByteArray("\x08\0\0\0", 4)) // FileAttributes
        .frameLabel("assets", true)
        .bitmap(1, 7, 5, pixels)
        .lossless(36, 4, 3, 8, 8, palette, 15)
        .lossless(20, 5, 5, 2, 2, zlib(QByteArray(16, '\x7F')))
        .lossless(20, 6, 3, 1, 1, zlib("abc"), 0)
        .binaryData(2, binary)
        .sprite(3, 1, inner)
        .symbolClass({{1, "com.example.Icon"}, {0, "Main"}})
        .exportAssets({{4, "palette"}})
        .showFrame()
        .end();
    const Converted c = convert(file(version(10), t, Compression::Zlib));
    VERIFY_DOCUMENT(c);
    QCOMPARE(c.warnings, QList<QByteArray>());
    const auto tags = c.tags();
    QCOMPARE(c.tagNames(),
             QStringList({"UnknownTag", "FrameLabel", "DefineBitsLossless2", "DefineBitsLossless2",
                          "DefineBitsLossless", "DefineBitsLossless", "DefineBinaryData",
                          "DefineSprite", "SymbolClass", "Export", "ShowFrame", "End"}));

    QCOMPARE(tags[0].attribute("id"), QString("0x45"));
    QCOMPARE(tags[1].attribute("label"), QString("assets"));
    QCOMPARE(tags[1].firstChildElement("flags").firstChildElement("data").text(), QString("AQ=="));

    auto attributes = [](const QDomElement &e) {
        QStringList out;
        const QDomNamedNodeMap map = e.attributes();
        for (int i = 0; i < map.count(); ++i)
            out << map.item(i).nodeName() + '=' + map.item(i).nodeValue();
        out.sort();
        return out;
    };
    QCOMPARE(attributes(tags[2]), QStringList({"format=5", "height=5", "objectID=1", "width=7"}));
    QCOMPARE(xmlcheck::payload(tags[2]), zlib(pixels));
    QCOMPARE(attributes(tags[3]),
             QStringList({"format=3", "height=8", "n_colormap=15", "objectID=4", "width=8"}));
    QCOMPARE(xmlcheck::payload(tags[3]), palette);
    QCOMPARE(attributes(tags[4]), QStringList({"format=5", "height=2", "objectID=5", "width=2"}));
    QCOMPARE(xmlcheck::payload(tags[4]), zlib(QByteArray(16, '\x7F')));
    QCOMPARE(attributes(tags[5]),
             QStringList({"format=3", "height=1", "n_colormap=0", "objectID=6", "width=1"}));

    QCOMPARE(attributes(tags[6]), QStringList({"objectID=2"}));
    QCOMPARE(xmlcheck::payload(tags[6]), binary);

    QCOMPARE(attributes(tags[7]), QStringList({"frames=1", "objectID=3"}));
    const auto nested = elements(tags[7].firstChildElement("tags"));
    QCOMPARE(nested.size(), 3);
    QCOMPARE(nested[0].attribute("label"), QString("inside a sprite"));
    QVERIFY(!nested[0].firstChildElement("flags").isNull());
    QVERIFY(nested[0].firstChildElement("flags").firstChildElement("data").isNull());
    QCOMPARE(nested[1].tagName(), QString("ShowFrame"));
    QCOMPARE(nested[2].tagName(), QString("End"));

    const auto symbols = elements(tags[8].firstChildElement("symbols"), "Symbol");
    QCOMPARE(symbols.size(), 2);
    QCOMPARE(symbols[0].attribute("objectID"), QString("1"));
    QCOMPARE(symbols[0].attribute("name"), QString("com.example.Icon"));
    QCOMPARE(symbols[1].attribute("objectID"), QString("0"));
    QCOMPARE(symbols[1].attribute("name"), QString("Main"));
    const auto exported = elements(tags[9].firstChildElement("symbols"), "Symbol");
    QCOMPARE(exported.size(), 1);
    QCOMPARE(exported[0].attribute("name"), QString("palette"));

    // Only top-level tags sit directly under swf/Header/tags.
    QCOMPARE(c.doc.elementsByTagName("FrameLabel").size(), 2);
    QCOMPARE(elements(xmlcheck::tagsElement(c.doc), "FrameLabel").size(), 1);

    // Empty payloads: an empty inner data element, no symbols.
    Tags empty;
    empty.lossless(36, 9, 5, 0, 0, {}).binaryData(8, {}).symbolClass({}).end();
    const Converted e = convert(file({}, empty, Compression::None));
    VERIFY_DOCUMENT(e);
    const auto et = e.tags();
    QVERIFY(!et[0].firstChildElement("data").firstChildElement("data").isNull());
    QCOMPARE(et[0].firstChildElement("data").firstChildElement("data").text(), QString());
    QCOMPARE(xmlcheck::payload(et[1]), QByteArray());
    QVERIFY(!et[2].firstChildElement("symbols").isNull());
    QCOMPARE(elements(et[2].firstChildElement("symbols")).size(), 0);
}

void TestSwfXml::tagsAfterEnd()
{
    Tags t;
    t.showFrame().end().frameLabel("late").tag(12, "abc").end().symbolClass({{1, "After"}});
    const Converted c = convert(file({}, t, Compression::Zlib));
    VERIFY_DOCUMENT(c);
    QCOMPARE(c.tagNames(),
             QStringList({"ShowFrame", "End", "FrameLabel", "UnknownTag", "End", "SymbolClass"}));
    // Not "no End tag": one was there.
    QCOMPARE(c.warnings, QList<QByteArray>());

    // A sprite's list stops at its own End; what follows inside it is not a tag.
    Tags sprite;
    sprite.showFrame().end().frameLabel("hidden");
    Tags s;
    s.sprite(5, 1, sprite).end();
    const Converted d = convert(file({}, s, Compression::None));
    VERIFY_DOCUMENT(d);
    QCOMPARE(elements(d.tags()[0].firstChildElement("tags")).size(), 2);
    QCOMPARE(d.warnings.size(), 1);
    QVERIFY(d.warnings[0].contains("after its End tag"));
}

void TestSwfXml::base64Text()
{
    // Each length modulo 3, and data longer than the output buffer with odd
    // lengths around it: the text is standard padded base64 on one line.
    QByteArray big(700001, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char((quint32(i) * 7919u) >> 3);
    const QList<QByteArray> datas = {
        QByteArray(),     "a", "ab", "abc", "abcd", "\xff\xfe\xfd\xfc\xfb", big.left(262143),
        big.left(262145), big};
    Tags t;
    for (int i = 0; i < datas.size(); ++i)
        t.binaryData(i + 1, datas[i]);
    const Converted c = convert(file({}, t.end(), Compression::None));
    VERIFY_DOCUMENT(c);
    for (int i = 0; i < datas.size(); ++i)
        QCOMPARE(c.tags()[i].firstChildElement("data").text().toLatin1(), datas[i].toBase64());
}

void TestSwfXml::nestedSprites()
{
    // Sprites inside sprites: kept as elements up to the depth limit, the
    // deeper ones kept whole as UnknownTag.
    auto nest = [](int depth) {
        Tags t;
        t.frameLabel("deepest").end();
        for (int i = depth; i >= 1; --i) {
            Tags outer;
            outer.sprite(i, 1, t).end();
            t = outer;
        }
        return t;
    };
    for (int depth : {swfxml::kMaxSpriteDepth, swfxml::kMaxSpriteDepth + 1}) {
        Tags inner = nest(depth);
        const Converted c = convert(file({}, inner, Compression::None));
        VERIFY_DOCUMENT(c);
        QDomElement e = c.tags()[0];
        int sprites = 0;
        while (e.tagName() == QLatin1String("DefineSprite")) {
            ++sprites;
            QCOMPARE(e.attribute("objectID"), QString::number(sprites));
            e = e.firstChildElement("tags").firstChildElement();
        }
        QCOMPARE(sprites, qMin(depth, swfxml::kMaxSpriteDepth));
        if (depth <= swfxml::kMaxSpriteDepth) {
            QCOMPARE(e.attribute("label"), QString("deepest"));
            QCOMPARE(c.warnings, QList<QByteArray>());
        } else {
            QCOMPARE(e.tagName(), QString("UnknownTag"));
            QCOMPARE(e.attribute("id"), QString("0x27"));
            // The sprite's bytes, nested content included, are all there.
            Bytes deepest;
            deepest.u16(quint32(depth)).u16(1).raw(Tags().frameLabel("deepest").end().data());
            QCOMPARE(xmlcheck::payload(e), deepest.data());
            QCOMPARE(c.warnings.size(), 1);
            QVERIFY(c.warnings[0].contains("nested"));
        }
    }

    // Hostile nesting, far past any stack: each sprite holds the next one.
    const int levels = 100000;
    Bytes bytes;
    for (int k = 0; k < levels; ++k)
        bytes.u16(39 << 6 | 0x3F).u32(quint32(4 + (levels - 1 - k) * 10 + 2)).u16(1).u16(1);
    bytes.u16(0);
    const Converted h = convert(file({}, Tags().raw(bytes.data()), Compression::None));
    VERIFY_DOCUMENT(h);
    QCOMPARE(h.tags().size(), 1);
    QCOMPARE(h.doc.elementsByTagName("DefineSprite").size(), swfxml::kMaxSpriteDepth);
}

void TestSwfXml::hostileStrings_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    const QString r(QChar(0xFFFD));
    QTest::newRow("markup") << 10 << QByteArray("<a href=\"x\">&amp;'</a>")
                            << "<a href=\"x\">&amp;'</a>";
    QTest::newRow("line breaks and tab")
        << 10 << QByteArray("one\ntwo\r\nthree\tfour") << "one\ntwo\r\nthree\tfour";
    QTest::newRow("control bytes") << 10
                                   << QByteArray("a\x01\x1F\x7F"
                                                 "b")
                                   << "a" + r + r + QChar(0x7F) + "b";
    QTest::newRow("UTF-8") << 9 << QByteArray("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80")
                           << QString::fromUtf8("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80");
    QTest::newRow("invalid UTF-8")
        << 6
        << QByteArray("a\xFF"
                      "b\xC3(c\xE2\x82"
                      "d\xED\xA0\x80"
                      "e\xEF\xBF\xBF"
                      "f\xC0\xAF")
        << "a" + r + "b" + r + "(c" + r + "d" + r + r + r + "e" + r + "f" + r + r;
    QTest::newRow("Latin-1 before version 6")
        << 5 << QByteArray("caf\xE9 \xA9\xFF <&>") << QString::fromLatin1("caf\xE9 \xA9\xFF <&>");
    QTest::newRow("empty") << 10 << QByteArray() << QString();
}

void TestSwfXml::hostileStrings()
{
    QFETCH(int, version);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    Tags t;
    t.frameLabel(bytes).symbolClass({{1, bytes}, {2, "plain"}}).exportAssets({{3, bytes}}).end();
    const Converted c = convert(file(::version(version), t, Compression::None));
    VERIFY_DOCUMENT(c);
    const auto tags = c.tags();
    QCOMPARE(tags.size(), 4);
    QCOMPARE(tags[0].attribute("label"), expected);
    const auto symbols = elements(tags[1].firstChildElement("symbols"));
    QCOMPARE(symbols.size(), 2);
    QCOMPARE(symbols[0].attribute("name"), expected);
    QCOMPARE(symbols[1].attribute("name"), QString("plain"));
    QCOMPARE(elements(tags[2].firstChildElement("symbols"))[0].attribute("name"), expected);
}

void TestSwfXml::malformedTagsKeptWhole()
{
    // Known tags too short for their fields are written as UnknownTag with
    // their bytes, never with invented fields.
    const QList<QPair<int, QByteArray>> cases = {
        {43, "no terminator"},
        {76, QByteArray("\x02\x00\x01\x00one\0\x02\x00tw", 12)}, // second name cut off
        {56, QByteArray("\x01", 1)},
        {36, QByteArray("\x01\x00\x05\x10\x00\x10", 6)},     // no height
        {20, QByteArray("\x01\x00\x03\x01\x00\x01\x00", 7)}, // no colour-table size
        {87, QByteArray("\x01\x00\x00\x00", 4)},             // no reserved field
        {39, QByteArray("\x01\x00\x01", 3)},                 // no frame count
    };
    for (const auto &[code, body] : cases) {
        Tags t;
        t.tag(code, body).end();
        const Converted c = convert(file({}, t, Compression::None));
        VERIFY_DOCUMENT(c);
        const auto tags = c.tags();
        QCOMPARE(tags.size(), 2);
        QCOMPARE(tags[0].tagName(), QString("UnknownTag"));
        QCOMPARE(xmlcheck::tagCode(tags[0]), code);
        QCOMPARE(xmlcheck::payload(tags[0]), body);
        QCOMPARE(c.warnings.size(), 1);
    }

    // A sprite whose inner tag runs past the sprite: kept whole too.
    Tags inner;
    inner.showFrame().raw(QByteArray("\x3F\x03\xFF\x00\x00\x00", 6));
    Tags t;
    t.sprite(7, 1, inner).frameLabel("after").end();
    const Converted c = convert(file({}, t, Compression::None));
    VERIFY_DOCUMENT(c);
    QCOMPARE(c.tagNames(), QStringList({"UnknownTag", "FrameLabel", "End"}));
    QCOMPARE(xmlcheck::payload(c.tags()[0]), QByteArray("\x07\x00\x01\x00", 4) + inner.data());
    QCOMPARE(c.warnings.size(), 1);

    // Every such tag is written, but the warnings stop at a hundred: one more
    // counts the rest.
    Tags many;
    for (int i = 0; i < 150; ++i)
        many.tag(56, QByteArray("\x01", 1));
    const Converted m = convert(file({}, many.end(), Compression::None));
    VERIFY_DOCUMENT(m);
    QCOMPARE(m.tags().size(), 151);
    QCOMPARE(m.warnings.size(), 101);
    QCOMPARE(m.warnings.last(), QByteArray("50 more warnings like these not shown"));
}

void TestSwfXml::shortBodies()
{
    // Headers cut at every length: never more than the body holds.
    const QByteArray whole = file({}, Tags().showFrame().end(), Compression::None);
    for (int n = 8; n <= whole.size(); ++n) {
        const Converted c = convert(whole.left(n));
        VERIFY_DOCUMENT(c);
        const bool hasRect = n >= 8 + 9;
        QCOMPARE(!c.header().firstChildElement("size").isNull(), hasRect);
        QCOMPARE(c.header().hasAttribute("framerate"), n >= 8 + 9 + 2);
        QCOMPARE(c.header().hasAttribute("frames"), n >= 8 + 9 + 4);
        QCOMPARE(c.tags().size(), n == whole.size() ? 2 : n >= whole.size() - 2 ? 1 : 0);
    }
}

void TestSwfXml::concurrentConversions()
{
    // Conversions share nothing: on several threads at once, from memory or
    // from a path, each gives exactly what it gives alone, warnings included.
    QByteArray binary(300000, Qt::Uninitialized);
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((quint32(i) * 2654435761u) >> 24);
    Tags inner;
    inner.frameLabel("inside").showFrame().end();
    Tags t;
    t.frameLabel("threads").bitmap(1, 40, 30, testPattern(40, 30)).binaryData(2, binary);
    t.sprite(3, 1, inner).symbolClass({{1, "Pic"}}).showFrame().end();
    Header lying;
    lying.fileLengthOverride = 0xFFFFFFFF;
    const QList<QByteArray> files = {
        file({}, t, Compression::None),     file({}, t, Compression::Zlib),
        file({}, t, Compression::Lzma),     file(lying, t, Compression::Zlib),
        brokenZlibFile({}, t, 20000, true), QByteArray("CWS\x0A\x00\x01\x00\x00garbage", 15)};
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    std::vector<std::string> paths;
    for (int i = 0; i < files.size(); ++i) {
        paths.push_back(QFile::encodeName(dir.filePath(QString::number(i))).toStdString());
        QVERIFY(save(QString::fromStdString(paths.back()), files[i]));
    }

    struct Outcome {
        swfxml::Result result = swfxml::Result::OutputFailed;
        std::string xml, error;
        std::vector<std::string> warnings;
        bool operator==(const Outcome &o) const
        {
            return result == o.result && xml == o.xml && error == o.error && warnings == o.warnings;
        }
    };
    const auto convert = [&](int i, bool fromPath) {
        Outcome o;
        const swfxml::Warn warn = [&o](const char *w) { o.warnings.push_back(w); };
        if (fromPath) {
            swfxml::AppendSink<std::string> sink(o.xml);
            o.result = swfxml::convertFile(paths[std::size_t(i)].c_str(), sink, &o.error, warn);
        } else {
            o.result = swfxml::convert(files[i].constData(), std::size_t(files[i].size()), o.xml,
                                       &o.error, warn);
        }
        return o;
    };
    std::vector<Outcome> alone;
    for (int i = 0; i < files.size(); ++i) {
        alone.push_back(convert(i, false));
        QVERIFY(convert(i, true) == alone.back());
    }
    QCOMPARE(int(alone[3].result), int(swfxml::Result::Converted));
    QCOMPARE(alone[4].warnings.size(), std::size_t(2));
    QCOMPARE(int(alone[5].result), int(swfxml::Result::Refused));

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int n = 0; n < 4; ++n) {
        threads.emplace_back([&, n] {
            for (int round = 0; round < 10; ++round) {
                for (int k = 0; k < files.size(); ++k) {
                    const int i = (k + n) % int(files.size());
                    if (!(convert(i, (round + n) % 2 == 0) == alone[std::size_t(i)]))
                        ++mismatches;
                }
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(mismatches.load(), 0);
}

QTEST_GUILESS_MAIN(TestSwfXml)
#include "tst_swfxml.moc"
