// The converter over real files: every file of the corpus is converted and
// its document compared with what an independent scanner read in the file.

#include "tst_swfxml_util.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <zlib.h>

namespace
{

// Files where the converter deliberately differs from the scanner.
// FileLength 1 leaves no room for a body: no header fields, no tags.
const QString kEmptyBody = QStringLiteral("ruffle__swf__tests__swfs__lzma-malformed-length.swf");

QByteArray inflated(const QByteArray &data, qsizetype expected)
{
    QByteArray out(expected, Qt::Uninitialized);
    uLongf size = uLongf(out.size());
    const int ret =
        uncompress(reinterpret_cast<Bytef *>(out.data()), &size,
                   reinterpret_cast<const Bytef *>(data.constData()), uLong(data.size()));
    if (ret != Z_OK)
        return QByteArray("inflate failed: ") + QByteArray::number(ret);
    out.resize(qsizetype(size));
    return out;
}

QString rateText(double rate)
{
    return QString::number(rate, 'g', 12);
}

} // namespace

class TestSwfXmlCorpus : public QObject
{
    Q_OBJECT

private slots:
    void corpus_data();
    void corpus();
};

void TestSwfXmlCorpus::corpus_data()
{
    QTest::addColumn<QJsonObject>("entry");
    QFile manifest(QStringLiteral(SWF_CORPUS_DIR "/manifest.json"));
    if (!manifest.open(QIODevice::ReadOnly))
        QSKIP("corpus not available");
    const QJsonArray files =
        QJsonDocument::fromJson(manifest.readAll()).object().value("files").toArray();
    QVERIFY(!files.isEmpty());
    for (const auto &f : files) {
        const QJsonObject entry = f.toObject();
        QTest::newRow(qPrintable(entry.value("file").toString())) << entry;
    }
}

void TestSwfXmlCorpus::corpus()
{
    QFETCH(QJsonObject, entry);
    const QString name = entry.value("file").toString();
    const QString path = QStringLiteral(SWF_CORPUS_DIR "/swf/") + name;
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() + "/swfxml", {"swf2xml", path, "stdout"});
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    const QByteArray out = p.readAllStandardOutput();
    const QByteArray err = p.readAllStandardError();

    if (entry.contains("error")) {
        QVERIFY(p.exitCode() != 0);
        QCOMPARE(out, QByteArray());
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.startsWith(("swfxml: " + path + ": ").toUtf8()), err.constData());
        return;
    }
    QCOMPARE(p.exitCode(), 0);
    const QString problem = xmlcheck::problem(out);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    // Warnings exactly where the scanner saw something wrong.
    const bool broken = !entry.value("notes").toArray().isEmpty();
    QVERIFY2(broken == !err.isEmpty(), err.constData());

    QDomDocument doc;
    QVERIFY(doc.setContent(out));
    const QDomElement swf = doc.documentElement();
    const QDomElement header = swf.firstChildElement("Header");
    QCOMPARE(swf.attribute("version").toInt(), entry.value("version").toInt());
    QCOMPARE(swf.attribute("compressed"),
             entry.value("signature").toString() == "FWS" ? QString("0") : QString("1"));
    const auto tags = xmlcheck::elements(xmlcheck::tagsElement(doc));
    if (name == kEmptyBody) {
        QVERIFY(header.firstChildElement("size").isNull());
        QVERIFY(!header.hasAttribute("framerate"));
        QCOMPARE(tags.size(), 0);
        return;
    }

    const QJsonArray rect = entry.value("rect_twips").toArray();
    const QDomElement r = header.firstChildElement("size").firstChildElement("Rectangle");
    QCOMPARE(r.attribute("left").toInt(), rect[0].toInt());
    QCOMPARE(r.attribute("right").toInt(), rect[1].toInt());
    QCOMPARE(r.attribute("top").toInt(), rect[2].toInt());
    QCOMPARE(r.attribute("bottom").toInt(), rect[3].toInt());
    QCOMPARE(header.attribute("framerate"), rateText(entry.value("frame_rate").toDouble()));
    QCOMPARE(header.attribute("frames").toInt(), entry.value("frame_count").toInt());

    // Top-level tags. The scanner counts a tag that runs past the end of the
    // file; the converter does not write it (its data isn't there).
    int total = entry.value("tag_total").toInt();
    QHash<int, int> expectedCounts;
    const QJsonObject tagCounts = entry.value("tag_counts").toObject();
    for (auto it = tagCounts.begin(); it != tagCounts.end(); ++it)
        expectedCounts[it.key().toInt()] = it.value().toInt();
    static const QRegularExpression pastEnd("^top: tag (\\d+) at \\d+ claims \\d+ bytes");
    for (const auto &note : entry.value("notes").toArray()) {
        const auto match = pastEnd.match(note.toString());
        if (match.hasMatch()) {
            --total;
            const int code = match.captured(1).toInt();
            if (expectedCounts.contains(code))
                --expectedCounts[code];
        }
    }
    QCOMPARE(tags.size(), total);
    QHash<int, int> counts;
    for (const QDomElement &e : tags)
        ++counts[xmlcheck::tagCode(e)];
    for (auto it = expectedCounts.begin(); it != expectedCounts.end(); ++it)
        QCOMPARE(counts.value(it.key()), it.value());

    const QJsonValue label = entry.value("first_frame_label");
    const auto labels = xmlcheck::elements(xmlcheck::tagsElement(doc), "FrameLabel");
    QCOMPARE(labels.isEmpty(), label.isNull());
    if (!labels.isEmpty())
        QCOMPARE(labels[0].attribute("label"), label.toString());

    const QJsonArray symbols = entry.value("symbol_class_entries").toArray();
    const auto classes = xmlcheck::elements(xmlcheck::tagsElement(doc), "SymbolClass");
    if (!symbols.isEmpty()) {
        QVERIFY(!classes.isEmpty());
        const auto written = xmlcheck::elements(classes[0].firstChildElement("symbols"), "Symbol");
        QCOMPARE(written.size(), symbols.size());
        for (int i = 0; i < symbols.size(); ++i) {
            const QJsonArray s = symbols[i].toArray();
            QCOMPARE(written[i].attribute("objectID").toInt(), s[0].toInt());
            QCOMPARE(written[i].attribute("name"), s[1].toString());
        }
    }

    // Format-5 bitmaps, in file order, down to the pixels.
    QList<QDomElement> bitmaps;
    for (const QDomElement &e :
         xmlcheck::elements(xmlcheck::tagsElement(doc), "DefineBitsLossless2"))
        if (e.attribute("format") == QLatin1String("5"))
            bitmaps << e;
    const QJsonArray expectedBitmaps = entry.value("format5_bitmaps").toArray();
    QCOMPARE(bitmaps.size(), expectedBitmaps.size());
    for (int i = 0; i < bitmaps.size(); ++i) {
        const QJsonObject b = expectedBitmaps[i].toObject();
        QCOMPARE(bitmaps[i].attribute("objectID").toInt(), b.value("id").toInt());
        QCOMPARE(bitmaps[i].attribute("width").toInt(), b.value("width").toInt());
        QCOMPARE(bitmaps[i].attribute("height").toInt(), b.value("height").toInt());
        const QByteArray data = xmlcheck::payload(bitmaps[i]);
        QCOMPARE(data.size(), b.value("zlib_len").toInt());
        if (b.value("inflates").toBool()) {
            const QByteArray pixels = inflated(data, b.value("inflated_len").toInt());
            QCOMPARE(QCryptographicHash::hash(pixels, QCryptographicHash::Sha256).toHex(),
                     b.value("argb_sha256").toString().toLatin1());
        }
    }
}

QTEST_GUILESS_MAIN(TestSwfXmlCorpus)
#include "tst_swfxml_corpus.moc"
