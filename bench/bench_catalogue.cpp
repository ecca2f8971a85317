// Throughput of the catalogue reading (MB of converter XML per second) and
// of the bitmap decoding (megapixels per second) on a generated document in
// the converter's shape; then the time of one reading, streamed and with
// its document kept, on the converter's documents of the folder scan's
// asset files. Prints its figures; never fails on timing.
//
// Usage: bench_catalogue [megabytes of XML, default 64] [runs, default 3]

#include "bench/benchsupport.h"
#include "swf/bitmap.h"
#include "swf/catalogue.h"
#include "swfxml/swfconvert.h"
#include "tests/support/swfwriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace
{

struct Keeper : CatalogueHandler {
    bool acceptLabel(const QString &) override { return true; }
    void beginEntry(const QString &label) override { this->label = label; }
    void addBitmap(const QualifyingBitmap &bitmap) override
    {
        bitmaps.append(bitmap);
        if (keepText)
            texts.append(bitmap.dumpText());
    }
    bool keepText = false;
    QString label;
    QList<QualifyingBitmap> bitmaps;
    QList<QByteArray> texts;
};

struct Sample {
    int width;
    int height;
    QByteArray base64;
};

// One document with bitmaps of a few sizes, each an element in the
// converter's layout, until it holds at least `bytes` of XML.
QByteArray document(qint64 bytes, qint64 *pixels, int *count)
{
    QList<Sample> samples;
    const QList<QSize> sizes = {{256, 256}, {128, 96}, {64, 64}, {512, 384}, {33, 17}, {16, 16}};
    for (int i = 0; i < sizes.size() * 2; ++i) {
        const QSize s = sizes.at(i % sizes.size());
        samples.append({s.width(), s.height(),
                        swfw::zlib(swfw::testPattern(s.width(), s.height(), i)).toBase64()});
    }

    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<swf version=\"10\" compressed=\"1\">\n"
                     "  <Header framerate=\"24\" frames=\"1\">\n"
                     "    <size>\n"
                     "      <Rectangle left=\"0\" right=\"11000\" top=\"0\" bottom=\"8000\"/>\n"
                     "    </size>\n"
                     "    <tags>\n"
                     "      <FrameLabel label=\"bench\">\n        <flags/>\n      </FrameLabel>\n";
    xml.reserve(bytes + (4 << 20));
    QByteArray symbols;
    *pixels = 0;
    int id = 1;
    while (xml.size() < bytes) {
        const Sample &s = samples.at(id % samples.size());
        xml += "      <DefineBitsLossless2 objectID=\"" + QByteArray::number(id) +
               "\" format=\"5\" width=\"" + QByteArray::number(s.width) + "\" height=\"" +
               QByteArray::number(s.height) + "\">\n        <data>\n          <data>" + s.base64 +
               "</data>\n        </data>\n      </DefineBitsLossless2>\n";
        symbols += "          <Symbol objectID=\"" + QByteArray::number(id) +
                   "\" name=\"bench.Bitmap" + QByteArray::number(id) + "\"/>\n";
        *pixels += qint64(s.width) * s.height;
        ++id;
    }
    *count = id - 1;
    xml += "      <SymbolClass>\n        <symbols>\n" + symbols +
           "        </symbols>\n      </SymbolClass>\n"
           "      <ShowFrame/>\n      <End/>\n    </tags>\n  </Header>\n</swf>\n";
    return xml;
}

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Reads the converter's documents of the first asset files of a scan
// folder, each reading freed before the next, both ways.
void scanDocuments(QTextStream &out, int runs)
{
    QList<QByteArray> documents;
    qint64 bytes = 0;
    int streamed = 0;
    for (int i = 0; i < 200; ++i) {
        const QByteArray swf = bench::assetFile(i);
        std::string xml;
        if (swfxml::convert(swf.constData(), size_t(swf.size()), xml) != swfxml::Result::Converted)
            continue;
        documents.append(QByteArray::fromStdString(xml));
        bytes += documents.last().size();
        streamed += streamCatalogue(documents.last()).has_value();
    }
    out << QString::asprintf("scan documents: %lld, %.0f kB each on average, %d streamed\n",
                             qint64(documents.size()), bytes / 1024.0 / documents.size(), streamed);
    for (const CatalogueDocument way : {CatalogueDocument::Dropped, CatalogueDocument::Kept}) {
        QList<double> msPerDocument;
        for (int run = 0; run < std::max(runs, 5); ++run) {
            qsizetype bitmaps = 0;
            QElapsedTimer timer;
            timer.start();
            for (const QByteArray &xml : std::as_const(documents))
                bitmaps += readCatalogue(xml, way).bitmaps.size();
            msPerDocument.append(timer.nsecsElapsed() / 1e6 / documents.size());
            if (bitmaps == 0)
                out << "reading went wrong\n";
        }
        std::sort(msPerDocument.begin(), msPerDocument.end());
        out << QString::asprintf(
            "  %-28s %.3f ms per document (median of %lld runs)\n",
            way == CatalogueDocument::Dropped ? "streamed (as the scan):" : "DOM kept:",
            msPerDocument.at(msPerDocument.size() / 2), qint64(msPerDocument.size()));
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 megabytes = args.size() > 1 ? args.at(1).toLongLong() : 64;
    const int runs = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 3;
    QTextStream out(stdout);

    qint64 pixels = 0;
    int count = 0;
    const QByteArray xml = document(std::max<qint64>(1, megabytes) << 20, &pixels, &count);
    const double mb = xml.size() / 1048576.0;
    out << QString::asprintf("document: %.1f MB of XML, %d bitmaps, %.1f megapixels\n", mb, count,
                             pixels / 1e6);
    qInstallMessageHandler(quiet);

    QList<double> readRates;
    for (int run = 0; run < runs; ++run) {
        Keeper keeper;
        QElapsedTimer timer;
        timer.start();
        const CatalogueOutcome outcome = readCatalogue(xml, keeper);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (outcome != CatalogueOutcome::EntryMade || keeper.bitmaps.size() != count) {
            out << "reading went wrong\n";
            return 1;
        }
        readRates.append(mb / seconds);
        out << QString::asprintf("reading  run %d: %.3f s, %.1f MB/s\n", run + 1, seconds,
                                 mb / seconds);
    }

    // The dump's way: texts taken during the reading, decoded one by one.
    Keeper keeper;
    keeper.keepText = true;
    QElapsedTimer timer;
    timer.start();
    readCatalogue(xml, keeper);
    const double withText = timer.nsecsElapsed() / 1e9;
    out << QString::asprintf("reading with text copies: %.3f s, %.1f MB/s\n", withText,
                             mb / withText);

    QList<double> decodeRates;
    for (int run = 0; run < runs; ++run) {
        qint64 decoded = 0;
        timer.restart();
        for (int i = 0; i < keeper.texts.size(); ++i) {
            const QualifyingBitmap &b = keeper.bitmaps.at(i);
            const QImage image = dumpImage(keeper.texts.at(i), b.width, b.height);
            decoded += qint64(image.width()) * image.height();
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (decoded != pixels) {
            out << "decoding went wrong\n";
            return 1;
        }
        decodeRates.append(pixels / 1e6 / seconds);
        out << QString::asprintf("decoding run %d: %.3f s, %.1f megapixels/s\n", run + 1, seconds,
                                 pixels / 1e6 / seconds);
    }

    out << QString::asprintf(
        "best: reading %.1f MB/s, decoding %.1f megapixels/s; peak RSS %.0f MB\n",
        *std::max_element(readRates.begin(), readRates.end()),
        *std::max_element(decodeRates.begin(), decodeRates.end()), peakMegabytes());
    out.flush();
    scanDocuments(out, runs);
    return 0;
}
