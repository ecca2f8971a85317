// The catalogue reading and the decoding on real converter output: files
// written by the test SWF writer, and the public corpus when it is present.

#include "swf/bitmap.h"
#include "swf/catalogue.h"
#include "swf/converter.h"
#include "tests/cataloguetesting.h"
#include "tests/support/swfwriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(swfw::Compression)

namespace
{

// The converter's XML for `path`; empty (and a failure noted) when it
// doesn't end with exit code 0.
QByteArray convert(const QString &path)
{
    QProcess process;
    process.start(Converter::program(), Converter::arguments(path), QIODevice::ReadOnly);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning() << "converter failed on" << path << process.readAllStandardError();
        return {};
    }
    return process.readAllStandardOutput();
}

QByteArray pixelsOf(const QImage &image)
{
    QByteArray argb;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            argb += char(qAlpha(p));
            argb += char(qRed(p));
            argb += char(qGreen(p));
            argb += char(qBlue(p));
        }
    }
    return argb;
}

// Stored A,R,G,B bytes as the image should hold them: colour bytes above
// their alpha are invalid premultiplied data and clamped to it.
QByteArray clamped(QByteArray argb)
{
    for (qsizetype i = 0; i + 3 < argb.size(); i += 4) {
        for (int c = 1; c < 4; ++c)
            argb[i + c] = char(qMin(uchar(argb[i + c]), uchar(argb[i])));
    }
    return argb;
}

// A reading with the dump's hand-overs: the text of each bitmap taken while
// its catalogue is alive. Beside it, the same bitmap in the document parsed
// whole: its text, found there by its place, from a reading that keeps its
// elements; and its preview, looked up by its id as the window does.
class DecodingHandler : public RecordingHandler
{
public:
    explicit DecodingHandler(const QByteArray &xml) : xml(xml)
    {
        parseDocument(xml, whole);
        const QDomNode tags = childElement(
            childElement(childElement(whole, QStringLiteral("swf")), QStringLiteral("Header")),
            QStringLiteral("tags"));
        wholeBitmaps = childElements(tags, QStringLiteral("DefineBitsLossless2"));
        const Catalogue catalogue = readCatalogue(xml, CatalogueDocument::Kept);
        for (const QualifyingBitmap &kept : catalogue.bitmaps) {
            int index = 0;
            for (QDomNode n = kept.element.previousSibling(); !n.isNull(); n = n.previousSibling())
                index += n.nodeName() == QLatin1String("DefineBitsLossless2");
            places.append(index);
        }
    }
    void addBitmap(const QualifyingBitmap &bitmap) override
    {
        const QDomNode same = wholeBitmaps.value(places.value(bitmaps.size(), -1));
        RecordingHandler::addBitmap(bitmap);
        texts.append(bitmap.dumpText());
        wholeTexts.append(dumpBitmapText(same));
        previews.append(previewImage(previewSource(xml, bitmap.objectID)));
    }
    QList<QByteArray> texts;
    QList<QByteArray> wholeTexts;
    QList<std::optional<QImage>> previews;

private:
    QByteArray xml;
    QDomDocument whole;
    QList<QDomNode> wholeBitmaps;
    QList<int> places;
};

} // namespace

class TestConvertedCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void generated_data();
    void generated();
    void oddFiles();
    void corpus();

private:
    QString write(const QString &name, const swfw::Tags &tags,
                  swfw::Compression compression = swfw::Compression::Zlib);
    QTemporaryDir dir;
};

void TestConvertedCatalogue::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY2(QFileInfo(Converter::program()).isAbsolute(), "the bundled converter is not built");
}

QString TestConvertedCatalogue::write(const QString &name, const swfw::Tags &tags,
                                      swfw::Compression compression)
{
    const QString path = dir.filePath(name);
    swfw::Header header;
    header.version = compression == swfw::Compression::Lzma ? 13 : 10;
    if (!swfw::save(path, swfw::file(header, tags, compression)))
        qWarning() << "can't write" << path;
    return path;
}

void TestConvertedCatalogue::generated_data()
{
    QTest::addColumn<swfw::Compression>("compression");
    QTest::newRow("FWS") << swfw::Compression::None;
    QTest::newRow("CWS") << swfw::Compression::Zlib;
    QTest::newRow("ZWS") << swfw::Compression::Lzma;
}

void TestConvertedCatalogue::generated()
{
    QFETCH(swfw::Compression, compression);

    const QByteArray icon = swfw::testPattern(16, 16, 1);
    const QByteArray big = swfw::testPattern(300, 120, 2); // 144,000 bytes
    swfw::Tags inner;
    inner.frameLabel("inside").showFrame().end();
    swfw::Tags tags;
    tags.tag(9, QByteArray("\x10\x20\x30", 3))
        .bitmap(1, 16, 16, icon)
        .bitmap(2, 4, 4, swfw::testPattern(4, 4))
        .lossless(36, 3, 3, 2, 2, swfw::zlib(QByteArray(4 * 16 + 4, '\x7f')), 15)
        .lossless(20, 4, 5, 2, 2, swfw::zlib(QByteArray(16, '\xff')))
        .binaryData(5, "blob")
        .bitmap(6, 300, 120, big)
        .sprite(7, 1, inner)
        .symbolClass(
            {{1, "pkg.Icon"}, {3, "Paletted"}, {4, "Old"}, {5, "Blob"}, {6, "Big"}, {6, "pkg.Big"}})
        .frameLabel("scene one", true)
        .showFrame()
        .end();
    const QByteArray xml = convert(write("rich.swf", tags, compression));
    QVERIFY(!xml.isEmpty());

    DecodingHandler handler(xml);
    DebugLines debug;
    QCOMPARE(readCatalogue(xml, handler), CatalogueOutcome::EntryMade);
    QCOMPARE(handler.texts, handler.wholeTexts);
    QCOMPARE(debug.lines,
             QStringList({"Data Parsed Successfully!", "6 Symbols Found", "4 Images 1 Resources"}));
    QCOMPARE(handler.events,
             QStringList({"accept scene one", "begin scene one", "bitmap 1", "bitmap 6"}));
    QCOMPARE(handler.bitmaps.at(0).name, QStringLiteral("pkg.Icon"));
    QCOMPARE(handler.bitmaps.at(1).name, QStringLiteral("pkg.Big"));
    QCOMPARE(handler.bitmaps.at(1).width, 300);
    QCOMPARE(handler.bitmaps.at(1).height, 120);

    // Both ways give the stored pixels.
    const QList<QByteArray> expected = {icon, big};
    for (int i = 0; i < 2; ++i) {
        const QualifyingBitmap &b = handler.bitmaps.at(i);
        QCOMPARE(inflateBitmapData(handler.texts.at(i)), expected.at(i));
        const QImage dumped = dumpImage(handler.texts.at(i), b.width, b.height);
        QCOMPARE(pixelsOf(dumped), expected.at(i));
        QVERIFY(handler.previews.at(i).has_value());
        QCOMPARE(*handler.previews.at(i), dumped);
    }
}

void TestConvertedCatalogue::oddFiles()
{
    // Only binary data: an entry without bitmaps.
    {
        swfw::Tags tags;
        tags.binaryData(1, "x").symbolClass({{1, "Data"}}).frameLabel("bin").showFrame().end();
        RecordingHandler handler;
        DebugLines debug;
        QCOMPARE(readCatalogue(convert(write("bin.swf", tags)), handler),
                 CatalogueOutcome::EntryMade);
        QCOMPARE(debug.lines.last(), QStringLiteral("0 Images 1 Resources"));
        QCOMPARE(handler.events, QStringList({"accept bin", "begin bin"}));
    }
    // A label inside a sprite only is no label of the file.
    {
        swfw::Tags inner;
        inner.frameLabel("inside").showFrame().end();
        swfw::Tags tags;
        tags.bitmap(1, 2, 2, swfw::testPattern(2, 2))
            .sprite(2, 1, inner)
            .symbolClass({{1, "A"}})
            .showFrame()
            .end();
        RecordingHandler handler;
        DebugLines debug;
        QCOMPARE(readCatalogue(convert(write("nested.swf", tags)), handler),
                 CatalogueOutcome::MissingElement);
        QCOMPARE(debug.lines.last(), QStringLiteral("Missing `/swf/Header/tags/FrameLabel`"));
    }
    // Names and labels with markup characters and non-ASCII text come
    // through exactly; data cut short decodes to the rows it has; colour
    // bytes above alpha are clamped.
    {
        const QByteArray half = swfw::testPattern(4, 4).left(4 * 6);
        const QByteArray bad("\x80\xff\x90\x10", 4);
        swfw::Tags tags;
        tags.frameLabel("Gr\xc3\xb6\xc3\x9f"
                        "e <&\">")
            .symbolClass({{1, "a<b>&\"c\""}, {2, "\xe2\x9c\x93"}})
            .lossless(36, 1, 5, 4, 4, swfw::zlib(half))
            .bitmap(2, 1, 1, bad)
            .showFrame()
            .end();
        const QByteArray xml = convert(write("odd.swf", tags));
        DecodingHandler handler(xml);
        DebugLines debug;
        QCOMPARE(readCatalogue(xml, handler), CatalogueOutcome::EntryMade);
        const QString label = QString::fromUtf8("Gr\xc3\xb6\xc3\x9f"
                                                "e <&\">");
        QCOMPARE(handler.events.first(), QStringLiteral("accept ") + label);
        QCOMPARE(handler.bitmaps.at(0).name, QStringLiteral("a<b>&\"c\""));
        QCOMPARE(handler.bitmaps.at(1).name, QString::fromUtf8("\xe2\x9c\x93"));

        const QImage cut = dumpImage(handler.texts.at(0), 4, 4);
        QCOMPARE(pixelsOf(cut), half + QByteArray(4 * 10, '\0'));
        QCOMPARE(*handler.previews.at(0), cut);
        QCOMPARE(pixelsOf(dumpImage(handler.texts.at(1), 1, 1)), QByteArray("\x80\x80\x80\x10", 4));
    }
}

void TestConvertedCatalogue::corpus()
{
    const QDir corpus(QStringLiteral(SWF_CORPUS_DIR));
    QFile manifestFile(corpus.filePath(QStringLiteral("manifest.json")));
    if (!manifestFile.open(QIODevice::ReadOnly))
        QSKIP("the public corpus is not here");
    const QJsonArray files =
        QJsonDocument::fromJson(manifestFile.readAll()).object().value("files").toArray();

    int checked = 0;
    for (const QJsonValue &value : files) {
        const QJsonObject entry = value.toObject();
        if (entry.value("category").toString() != QLatin1String("a"))
            continue;
        const QString file = entry.value("file").toString();
        const QByteArray xml = convert(corpus.filePath(QStringLiteral("swf/") + file));
        QVERIFY2(!xml.isEmpty(), qPrintable(file));

        DecodingHandler handler(xml);
        {
            DebugLines quiet;
            QVERIFY2(readCatalogue(xml, handler) == CatalogueOutcome::EntryMade, qPrintable(file));
        }
        QVERIFY2(handler.texts == handler.wholeTexts, qPrintable(file));
        QCOMPARE(handler.events.value(1),
                 QStringLiteral("begin ") + entry.value("first_frame_label").toString());

        const QJsonArray listing = entry.value("expected_listing").toArray();
        QCOMPARE(handler.bitmaps.size(), listing.size());
        for (int i = 0; i < listing.size(); ++i) {
            const QJsonObject want = listing.at(i).toObject();
            const QualifyingBitmap &got = handler.bitmaps.at(i);
            const QString where = file + QStringLiteral(" #%1").arg(i);
            QVERIFY2(got.objectID == want.value("id").toInt(), qPrintable(where));
            // Several names for one id: the later one is the bitmap's.
            QVERIFY2(got.name == want.value("names").toArray().last().toString(),
                     qPrintable(where));
            QVERIFY2(got.width == want.value("width").toInt(), qPrintable(where));
            QVERIFY2(got.height == want.value("height").toInt(), qPrintable(where));

            const QByteArray argb = inflateBitmapData(handler.texts.at(i));
            QVERIFY2(QCryptographicHash::hash(argb, QCryptographicHash::Sha256).toHex() ==
                         want.value("argb_sha256").toString().toLatin1(),
                     qPrintable(where));
            const QImage image = dumpImage(handler.texts.at(i), got.width, got.height);
            QVERIFY2(pixelsOf(image) == clamped(argb.left(4 * got.width * got.height)),
                     qPrintable(where));
            QVERIFY2(handler.previews.at(i) && *handler.previews.at(i) == image, qPrintable(where));
        }
        ++checked;
    }
    QVERIFY(checked > 0);
}

QTEST_GUILESS_MAIN(TestConvertedCatalogue)
#include "tst_convertedcatalogue.moc"
