// Writes the seed corpora of the fuzz targets into a folder:
//   OUT/swfxml/     SWF files from the test writer: every compression, the
//                   tags the converter knows, nested sprites, broken files
//   OUT/catalogue/  the converter's documents of those files, and documents
//                   in the shapes the tests use (missing parts, odd values)
//   OUT/documents/  steps that build documents of the converter's kind
//   OUT/bitmap/     width, height, mode and data for the bitmap decoder
//
// Usage: fuzz_seeds OUT

#include "swfxml/swfconvert.h"
#include "tests/support/guitest.h"
#include "tests/support/swfwriter.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QList>
#include <QPair>

#include <cstdio>

using namespace swfw;

namespace
{

int written = 0;

bool saveSeed(const QString &folder, const QByteArray &bytes)
{
    const QString name =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
    if (!save(QDir(folder).filePath(name), bytes)) {
        std::fprintf(stderr, "fuzz_seeds: can't write %s\n", qPrintable(folder));
        return false;
    }
    ++written;
    return true;
}

// Tag streams of small files, each ending with End.
QList<Tags> tagStreams()
{
    QList<Tags> streams;

    Tags plain;
    plain.frameLabel("label")
        .bitmap(1, 3, 2, testPattern(3, 2))
        .bitmap(2, 1, 1, testPattern(1, 1, 7))
        .symbolClass({{1, "pic"}, {2, "dot"}})
        .showFrame()
        .end();
    streams << plain;

    Tags mixed;
    mixed.frameLabel("mixed", true)
        .exportAssets({{1, "exported"}})
        .lossless(20, 1, 5, 2, 2, zlib(QByteArray(16, '\x7f')))
        .lossless(36, 2, 3, 2, 1, zlib(QByteArray(8, '\x01')), 1)
        .lossless(36, 3, 4, 2, 2, zlib(QByteArray(8, '\x02')))
        .binaryData(4, "binary bytes")
        .tag(2, QByteArray(10, 'u'))
        .tag(9, "\x01\x02\x03", true)
        .symbolClass({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {0, "Main"}})
        .showFrame()
        .end();
    streams << mixed;

    Tags inner;
    inner.frameLabel("inside").showFrame().end();
    Tags nested = inner;
    for (int depth = 0; depth < 3; ++depth) {
        Tags outer;
        outer.sprite(10 + depth, 1, nested).showFrame().end();
        nested = outer;
    }
    Tags sprites;
    sprites.sprite(5, 2, inner).raw(nested.data());
    streams << sprites;

    // Broken streams: a tag longer than the file, a short tag header, tags
    // after End.
    Tags broken;
    broken.frameLabel("cut").raw(QByteArray("\xbf\x00\xff\xff\x00\x00", 6));
    streams << broken;
    Tags shortHeader;
    shortHeader.showFrame().raw("\x3f");
    streams << shortHeader;
    Tags afterEnd;
    afterEnd.end().frameLabel("after").end();
    streams << afterEnd;
    return streams;
}

bool writeSwfSeeds(const QString &swfFolder, const QString &xmlFolder)
{
    for (const Tags &tags : tagStreams()) {
        for (Compression c : {Compression::None, Compression::Zlib, Compression::Lzma}) {
            const QByteArray swf = file(Header(), tags, c);
            if (!saveSeed(swfFolder, swf))
                return false;
            QByteArray xml;
            if (swfxml::convert(swf, xml) == swfxml::Result::Converted && !saveSeed(xmlFolder, xml))
                return false;
        }
    }
    // Headers that lie about the length, an empty body, an unknown version.
    Tags one;
    one.showFrame().end();
    for (qint64 length : {qint64(8), qint64(30), qint64(1) << 20}) {
        Header header;
        header.fileLengthOverride = length;
        for (Compression c : {Compression::None, Compression::Zlib, Compression::Lzma}) {
            if (!saveSeed(swfFolder, file(header, one, c)))
                return false;
        }
    }
    Header old;
    old.version = 1;
    old.frameCount = 0;
    return saveSeed(swfFolder, file(old, Tags(), Compression::None)) &&
           saveSeed(swfFolder, QByteArray("FWS\x0a\x08\x00\x00\x00", 8));
}

bool writeDocumentSeeds(const QString &folder)
{
    const QByteArray pixels = testPattern(2, 2);
    QList<QByteArray> docs;
    docs << converterDocument("label", {{1, "pic"}}, {{1, 2, 2, pixels}})
         << converterDocument("two", {{1, "a"}, {2, "b"}, {1, "again"}},
                              {{1, 2, 2, pixels}, {2, 1, 3, testPattern(1, 3, 1)}}, 2)
         << converterDocument("fmt", {{1, "x"}}, {{1, 2, 2, pixels, "3"}})
         << converterDocument("", {{1, "x"}}, {{1, 2, 2, pixels}})
         << converterDocument("nosym", {}, {{1, 2, 2, pixels}})
         << converterDocument("bins", {{1, "x"}}, {}, 1)
         << converterDocument(QByteArray(), {{1, "x"}}, {{1, 2, 2, pixels}});
    // Odd sizes and data: zero and negative sides, too little data, data
    // that isn't zlib, missing data children.
    QByteArray odd = converterDocument("odd", {{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}},
                                       {{1, 0, 2, pixels}, {2, 4, 4, pixels}});
    odd.replace("</tags>", "<DefineBitsLossless2 objectID=\"3\" format=\"5\" width=\"-1\" "
                           "height=\"2\"><data><data>bm90IHpsaWI=</data></data>"
                           "</DefineBitsLossless2><DefineBitsLossless2 objectID=\"4\" "
                           "format=\"5\" width=\"1\" height=\"1\"/></tags>");
    docs << odd;
    docs << "<swf/>"
         << "<swf><Header><tags/></Header></swf>"
         << "<?xml version=\"1.0\"?><!DOCTYPE swf [<!ENTITY e \"x\">]><swf>&e;</swf>";
    // A good document with one odd construct each, which the DOM reads its
    // own way: the streamed reading must give up on it or read it alike.
    const QByteArray good = converterDocument("odd", {{1, "a"}, {2, "b"}},
                                              {{1, 2, 2, pixels}, {2, 1, 1, testPattern(1, 1)}}, 1);
    const QList<QPair<QByteArray, QByteArray>> changes = {
        {"<tags>\n", "<tags><?FrameLabel label=\"pi\"?>"},
        {"<tags>\n", "<tags><!-- <FrameLabel label=\"c\"/> -->"},
        {"<data><data>", "<data><![CDATA[x]]><data>"},
        {"<data><data>", "<data><data><![CDATA[eJ]]>"},
        {"<data><data>", "<data><data>&#65;"},
        {"<data><data>", "<data>x<data>"},
        {"<data><data>", "<data><data> eJ"},
        {"<data><data>", "<data>\r\n<data>\r\n"},
        {"<data><data>", "<data/><data><data>"},
        {"</data></data>", "<x/></data></data>"},
        {"label=\"odd\"", "label=\"o&#10;d&#9;d&amp;&lt;&gt;&quot;&apos;\""},
        {"label=\"odd\"", "label=\"o\nd\td\""},
        {"label=\"odd\"", "label='odd'"},
        {"label=\"odd\"", "label = \"odd\""},
        {"label=\"odd\"", "label=\"\xc3\xb6\xe2\x9c\x93\xf0\x9f\x98\x80\""},
        {"label=\"odd\"", "label=\"\xef\xbb\xbf\xef\xbf\xbe\xc0\x80\xed\xa0\x80\""},
        {"label=\"odd\"", "label=\"odd\" label=\"twice\""},
        {"label=\"odd\"", "xmlns=\"u\" label=\"odd\""},
        {"label=\"odd\"", "p:label=\"odd\" label=\"x&#x41;&#0;\""},
        {"<FrameLabel", "<FrameLabel\x7f"},
        {"name=\"a\"", "name=\"&e;\""},
        {"<Symbol ", "<Symbol\t"},
        {"</symbols>", "</symbols >"},
        {"<Header", "<xmlHeader/><Header"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "\xef\xbb\xbf<?xml version=\"1.0\"?>"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", " <?xml version=\"1.0\"?>"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<!DOCTYPE swf>"},
        {"</swf>", "</swf><!-- end -->"},
        {"</swf>", "</swf>x"},
        {"<End/>", "<End/>&amp;"},
    };
    for (const auto &[from, to] : changes)
        docs << QByteArray(good).replace(from, to);
    for (const QByteArray &doc : docs) {
        if (!saveSeed(folder, doc))
            return false;
    }
    return true;
}

// Steps of fuzz_documents (see documentOf there) that build a catalogue of
// the converter's kind: swf, Header, tags, a label, a symbol and a bitmap
// with its data, then the same with an odd text in the bitmap's data.
bool writeStepSeeds(const QString &folder)
{
    const char steps[] = "\x02"
                         "\x00\x00\x00"                                 // <swf>
                         "\x01\x00\x00"                                 // <Header>
                         "\x02\x00\x00"                                 // <tags>
                         "\x03\x01\x01\x05\x02"                         // <FrameLabel label="5"/>
                         "\x04\x00\x00\x05\x00\x00"                     // <SymbolClass><symbols>
                         "\x06\x01\x02\x00\x00\x04\x0b"                 // <Symbol .../>
                         "\x60\x60"                                     // </symbols></SymbolClass>
                         "\x07\x00\x04\x00\x00\x01\x02\x02\x00\x03\x00" // <DefineBitsLossless2 ...>
                         "\x09\x00\x00\x09\x00\x00"                     // <data><data>
                         "\xe0\x50"                                     // base64
                         "\x60\x60\x60";                                // closes
    const QByteArray catalogue(steps, sizeof(steps) - 1);
    QByteArray oddText = catalogue;
    oddText.insert(oddText.size() - 3, "\xa0\x0f"); // a comment after the text
    return saveSeed(folder, catalogue) && saveSeed(folder, oddText);
}

QByteArray bitmapInput(qint32 width, qint32 height, quint8 mode, const QByteArray &data)
{
    Bytes b;
    b.u32(quint32(width)).u32(quint32(height)).u8(mode).raw(data);
    return b.data();
}

bool writeBitmapSeeds(const QString &folder)
{
    const QList<QByteArray> inputs = {
        bitmapInput(3, 2, 1, zlib(testPattern(3, 2))),
        bitmapInput(3, 2, 0, zlib(testPattern(3, 2)).toBase64()),
        bitmapInput(4, 4, 1, zlib(testPattern(2, 2))),          // too little data
        bitmapInput(1, 1, 1, zlib(QByteArray(4096, '\xff'))),   // more than needed
        bitmapInput(2, 2, 1, zlib(testPattern(2, 2)).left(10)), // cut short
        bitmapInput(0, 5, 1, zlib(testPattern(1, 1))),
        bitmapInput(-3, 2, 1, zlib(testPattern(1, 1))),
        bitmapInput(65535, 65535, 1, zlib(QByteArray(64, 0))),
        bitmapInput(2, 2, 0, "eJxjYGBgAAAABAAB\n===="),
    };
    for (const QByteArray &input : inputs) {
        if (!saveSeed(folder, input))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUT\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (const char *sub : {"swfxml", "catalogue", "documents", "bitmap"}) {
        if (!out.mkpath(QLatin1String(sub))) {
            std::fprintf(stderr, "fuzz_seeds: can't make %s\n", sub);
            return 1;
        }
    }
    if (!writeSwfSeeds(out.filePath("swfxml"), out.filePath("catalogue")) ||
        !writeDocumentSeeds(out.filePath("catalogue")) ||
        !writeStepSeeds(out.filePath("documents")) || !writeBitmapSeeds(out.filePath("bitmap")))
        return 1;
    std::printf("%d seeds in %s\n", written, argv[1]);
    return 0;
}
