// Hostile sizes, for the converter and for the reading of its documents:
// a zlib bomb in a CWS body, nesting far beyond any real document, a hundred
// thousand tags, a symbol name of a megabyte. (Bitmap bombs and huge
// dimensions are covered by tst_bitmap, hostile sprite nesting in the
// converter by tst_swfxml.)

#include "swf/bitmap.h"
#include "swf/catalogue.h"
#include "swfxml/swfconvert.h"
#include "tests/cataloguetesting.h"
#include "tests/support/swfwriter.h"

#include <QDomDocument>
#include <QTest>

#include <zlib.h>

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

// A zlib stream of `head` followed by `zeros` zero bytes, made without
// holding them. After a full flush, which empties deflate's window, a block
// of zeros always compresses to the same bytes: they are repeated rather
// than made again, and the zlib header and checksum are written here.
QByteArray zlibZeros(const QByteArray &head, qint64 zeros)
{
    QByteArray out("\x78\xDA", 2);
    z_stream s{};
    deflateInit2(&s, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    static const QByteArray block(1 << 20, '\0');
    char buffer[1 << 16];
    const auto pump = [&](const QByteArray &in, int flush) {
        s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
        s.avail_in = uInt(in.size());
        do {
            s.next_out = reinterpret_cast<Bytef *>(buffer);
            s.avail_out = sizeof buffer;
            deflate(&s, flush);
            out.append(buffer, qsizetype(sizeof buffer - s.avail_out));
        } while (s.avail_out == 0);
    };
    const auto adler = [](const QByteArray &bytes) {
        return adler32(1, reinterpret_cast<const Bytef *>(bytes.constData()), uInt(bytes.size()));
    };
    pump(head, Z_FULL_FLUSH);
    uLong checksum = adler(head);
    const uLong blockChecksum = adler(block);
    QByteArray compressedBlock;
    qint64 left = zeros;
    for (; left >= block.size(); left -= block.size()) {
        if (compressedBlock.isEmpty()) {
            const qsizetype start = out.size();
            pump(block, Z_FULL_FLUSH);
            compressedBlock = out.mid(start);
        } else {
            out += compressedBlock;
        }
        checksum = adler32_combine(checksum, blockChecksum, block.size());
    }
    const QByteArray rest(qsizetype(left), '\0');
    pump(rest, Z_FINISH);
    deflateEnd(&s);
    checksum = adler32_combine(checksum, adler(rest), rest.size());
    return out + swfw::Bytes()
                     .u8(checksum >> 24)
                     .u8(checksum >> 16)
                     .u8(checksum >> 8)
                     .u8(checksum)
                     .data();
}

// A CWS file claiming `fileLength` whose body unpacks to the movie header
// followed by `zeros` zero bytes.
QByteArray cwsBomb(quint32 fileLength, qint64 zeros)
{
    return swfw::Bytes().raw("CWS").u8(10).u32(fileLength).data() +
           zlibZeros(swfw::movieHeader(swfw::Header()), zeros);
}

const QByteArray kPixel = swfw::zlib(QByteArray("\xff\x10\x20\x30", 4)).toBase64();

} // namespace

class TestLimits : public QObject
{
    Q_OBJECT

private slots:
    void cwsBombBoundedByFileLength();
    void fileLengthCap();
    void convertedDocumentsStayReadable();
    void nestingDepth();
    void hundredThousandTags();
    void megabyteSymbolName();
};

void TestLimits::cwsBombBoundedByFileLength()
{
    // 256 MiB of zeros in 256 KiB of file: decompression stops at FileLength,
    // with a warning, and what is read converts to a small document.
    const QByteArray bomb = cwsBomb(64 << 20, qint64(256) << 20);
    QVERIFY(bomb.size() < (1 << 20));
    {
        swfxml::MemorySource source(bomb);
        swfxml::Movie movie;
        QList<QByteArray> warnings;
        QVERIFY(
            swfxml::load(source, movie, nullptr, [&](const QByteArray &w) { warnings.append(w); }));
        QCOMPARE(qint64(movie.body.size()), qint64(64 << 20) - 8);
        QVERIFY(movie.body.capacity() <= movie.body.size() + (1 << 20));
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings.first().contains("decompresses to more than"));
    }
    QByteArray xml;
    QCOMPARE(swfxml::convert(cwsBomb(4096, qint64(256) << 20), xml), swfxml::Result::Converted);
    QVERIFY(xml.size() < 64 * 1024);
    QDomDocument document;
    QVERIFY(parseDocument(xml, document));

    // A bitmap of 65,535 x 65,535 whose data is a bomb of 256 MiB: the
    // converter keeps its bytes as they are, the reading lists it, and the
    // preview and the dump refuse it by its size without inflating it.
    swfw::Tags tags;
    tags.frameLabel("huge")
        .lossless(36, 1, 5, 65535, 65535, zlibZeros(QByteArray(), qint64(256) << 20))
        .symbolClass({{1, "huge"}})
        .end();
    xml.clear();
    QCOMPARE(swfxml::convert(swfw::file(swfw::Header(), tags, swfw::Compression::Zlib), xml),
             swfxml::Result::Converted);
    RecordingHandler handler;
    QCOMPARE(readCatalogue(xml, handler, CatalogueDocument::Kept), CatalogueOutcome::EntryMade);
    QCOMPARE(handler.bitmaps.size(), 1);
    const QualifyingBitmap &huge = handler.bitmaps.first();
    QCOMPARE(huge.width, 65535);
    QCOMPARE(huge.height, 65535);
    QVERIFY(!previewImage(huge.element));
    QVERIFY(dumpImage(huge.dumpText(), huge.width, huge.height).isNull());
}

void TestLimits::fileLengthCap()
{
    // A header claiming more than 512 MiB is not believed: the file is read
    // as far as its data goes, with one warning, whatever the compression.
    for (const QByteArray signature : {"FWS", "CWS", "ZWS"}) {
        QByteArray file = swfw::file(swfw::Header(), swfw::Tags().end(),
                                     signature == "FWS"   ? swfw::Compression::None
                                     : signature == "CWS" ? swfw::Compression::Zlib
                                                          : swfw::Compression::Lzma);
        const auto withLength = [&](quint32 length) {
            QByteArray f = file;
            const QByteArray field = swfw::Bytes().u32(length).data();
            f.replace(4, 4, field);
            return f;
        };
        for (const quint32 length : {swfxml::kMaxFileLength + 1, quint32(0xFFFFFFFF)}) {
            QByteArray xml;
            QList<QByteArray> warnings;
            QCOMPARE(swfxml::convert(withLength(length), xml, nullptr,
                                     [&](const QByteArray &w) { warnings.append(w); }),
                     swfxml::Result::Converted);
            QCOMPARE(warnings.size(), 1);
            QVERIFY2(warnings[0].startsWith("FileLength " + QByteArray::number(length) +
                                            " is beyond the 512 MiB limit"),
                     warnings[0].constData());
            QVERIFY(xml.contains("<End/>"));
        }
        QByteArray xml;
        QCOMPARE(swfxml::convert(withLength(swfxml::kMaxFileLength), xml),
                 swfxml::Result::Converted);
    }

    // Whatever the header says, the body never grows past the cap.
    const QByteArray bomb = cwsBomb(0xFFFFFFFF, qint64(600) << 20);
    swfxml::MemorySource source(bomb);
    swfxml::Movie movie;
    QList<QByteArray> warnings;
    QVERIFY(swfxml::load(source, movie, nullptr, [&](const QByteArray &w) { warnings.append(w); }));
    QCOMPARE(qint64(movie.body.size()), qint64(swfxml::kMaxFileLength) - 8);
    QCOMPARE(warnings.size(), 2);
    QVERIFY2(warnings[1].contains("more than the 512 MiB limit"), warnings[1].constData());
}

void TestLimits::convertedDocumentsStayReadable()
{
    // 100,000 tags: 50,000 named bitmaps and their symbols, converted and
    // read back.
    constexpr int kBitmaps = 50000;
    swfw::Tags tags;
    tags.frameLabel("many");
    QList<QPair<int, QByteArray>> symbols;
    const QByteArray pixel("\xff\x10\x20\x30", 4);
    for (int id = 1; id <= kBitmaps; ++id) {
        tags.bitmap(id, 1, 1, pixel);
        symbols.append({id, "b" + QByteArray::number(id)});
    }
    for (int i = 0; i < kBitmaps - 3; ++i)
        tags.showFrame();
    tags.symbolClass(symbols).end();
    QByteArray xml;
    QCOMPARE(swfxml::convert(swfw::file(swfw::Header(), tags, swfw::Compression::Zlib), xml),
             swfxml::Result::Converted);
    RecordingHandler handler;
    QCOMPARE(readCatalogue(xml, handler), CatalogueOutcome::EntryMade);
    QCOMPARE(handler.bitmaps.size(), kBitmaps);
    QCOMPARE(handler.bitmaps.last().name, QStringLiteral("b%1").arg(kBitmaps));
    QCOMPARE(dumpImage(handler.bitmaps.last().dumpText(), 1, 1).pixel(0, 0), QRgb(0xff102030));

    // A label and a symbol name of a megabyte each come through whole.
    const QByteArray name(1 << 20, 'n');
    xml.clear(); // the converter appends to its output
    swfw::Tags big;
    big.frameLabel(name).bitmap(1, 1, 1, pixel).symbolClass({{1, name}}).end();
    QCOMPARE(swfxml::convert(swfw::file(swfw::Header(), big, swfw::Compression::None), xml),
             swfxml::Result::Converted);
    RecordingHandler named;
    QCOMPARE(readCatalogue(xml, named), CatalogueOutcome::EntryMade);
    QCOMPARE(named.events.first(), "accept " + QString::fromLatin1(name));
    QCOMPARE(named.bitmaps.size(), 1);
    QCOMPARE(named.bitmaps.first().name, QString::fromLatin1(name));

    // Sprites nested 100,000 deep are flattened past the converter's depth,
    // well within the reading's own limit.
    QVERIFY(3 + 2 * swfxml::kMaxSpriteDepth + 4 < kMaxDocumentDepth);
    const int levels = 100000;
    swfw::Bytes nestedSprites;
    for (int k = 0; k < levels; ++k)
        nestedSprites.u16(39 << 6 | 0x3F).u32(quint32(4 + (levels - 1 - k) * 10 + 2)).u16(1).u16(1);
    nestedSprites.u16(0);
    xml.clear();
    QCOMPARE(swfxml::convert(swfw::file(swfw::Header(), swfw::Tags().raw(nestedSprites.data()),
                                        swfw::Compression::None),
                             xml),
             swfxml::Result::Converted);
    QDomDocument document;
    QVERIFY(parseDocument(xml, document));
}

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
    QCOMPARE(dumpImage(handler.bitmaps.last().dumpText(), 1, 1).size(), QSize(1, 1));
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
