// The dump pipeline without a window: conversions in process, outcomes and
// their reasons, label policy and the cap on decoded pixels.

#include "swf/dumppipeline.h"
#include "tests/support/guitest.h"

#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

class TestDumpPipeline : public QObject
{
    Q_OBJECT

private slots:
    void init() { out = std::make_unique<QTemporaryDir>(); }
    void hugeBitmapWaitsUntilAlone();
    void outcomesAndRefusedLabels();
    void runOfFilesWithoutImagesEnds();

private:
    // Runs a pipeline over `files` converted from `documents` (a file
    // without one fails with exit code 2) and waits for its end.
    // Converting a file named in `slow` takes a while, so that the files
    // after it are read first.
    DumpSummary run(const QHash<QString, QByteArray> &documents, const QStringList &files,
                    DumpOptions options, std::unique_ptr<LabelPolicy> labels = {},
                    QStringList *events = nullptr, const QStringList &slow = {})
    {
        DumpPipeline pipeline(
            [documents, slow](const QString &file) {
                if (slow.contains(file))
                    QThread::msleep(100);
                if (!documents.contains(file))
                    return ConversionResult{{}, true, 2, {}, QStringLiteral("exit code 2"), {}};
                return ConversionResult{documents.value(file), true, 0, {}, {}, {}};
            },
            std::move(options));
        if (labels)
            pipeline.setLabelPolicy(std::move(labels));
        if (events) {
            connect(&pipeline, &DumpPipeline::fileRead, this,
                    [=](const FileOutcome &f) { *events << "read " + f.file; });
            connect(&pipeline, &DumpPipeline::imageDone, this, [=](const ImageOutcome &i) {
                *events << QStringLiteral("image %1 %2").arg(i.name, i.failure);
            });
            connect(&pipeline, &DumpPipeline::fileDone, this,
                    [=](const FileOutcome &f) { *events << "done " + f.file; });
        }
        QSignalSpy finished(&pipeline, &DumpPipeline::finished);
        pipeline.start(files, out->path());
        if (!finished.wait(10000))
            return {};
        return finished.first().first().value<DumpSummary>();
    }

    std::unique_ptr<QTemporaryDir> out;
};

void TestDumpPipeline::hugeBitmapWaitsUntilAlone()
{
    // A 64 KiB cap: 1 KiB images go out up to 64 at a time (four workers,
    // each with fifteen next in line); the 256 KiB one in their midst waits
    // until nothing else is out, then goes alone.
    QList<QPair<int, QByteArray>> symbols;
    QList<TestBitmap> bitmaps;
    for (int i = 1; i <= 41; ++i) {
        const int side = i == 21 ? 256 : 16;
        symbols.append({i, "image" + QByteArray::number(i)});
        bitmaps.append({i, side, side, swfw::testPattern(side, side, i)});
    }
    DumpOptions options;
    options.limits = {4, 64 * 1024};
    const DumpSummary summary =
        run({{"a.swf", converterDocument("a", symbols, bitmaps)}}, {"a.swf"}, options);
    QCOMPARE(summary.files.size(), 1);
    QCOMPARE(summary.files.first().written, 41);
    QCOMPARE(QImage(out->filePath("image21.png")).size(), QSize(256, 256));
    QCOMPARE(summary.peakPixelBytes, qint64(256 * 256 * 4));
    QVERIFY(summary.peakImages <= 64);
}

void TestDumpPipeline::outcomesAndRefusedLabels()
{
    // As the command line runs it: a label seen earlier is refused, a failed
    // conversion is counted and the run goes on, every failure has a reason.
    QByteArray first =
        converterDocument("L", {{1, "good"}, {2, "corrupt"}, {3, "flat"}},
                          {{1, 1, 1, QByteArray(4, '\xff')}, {3, 0, 5, QByteArray(4, '\xff')}});
    first.replace("</tags>", "<DefineBitsLossless2 objectID=\"2\" format=\"5\" width=\"1\" "
                             "height=\"1\"><data><data>bm90IHpsaWI=</data></data>"
                             "</DefineBitsLossless2></tags>");
    const QByteArray again = converterDocument("L", {{1, "other"}}, {{1, 1, 1, QByteArray(4, 0)}});
    DumpOptions options;
    options.layout = DumpLayout::FolderPerLabel;
    QStringList events;
    DebugLines log;
    const DumpSummary summary =
        run({{"a.swf", first}, {"c.swf", again}}, {"a.swf", "b.swf", "c.swf"}, options,
            std::make_unique<RefuseLoadedLabels>(), &events);

    QCOMPARE(events, QStringList({"read a.swf", "image good ", "image flat no pixels (0 x 5)",
                                  "image corrupt data can't be decoded", "done a.swf", "read b.swf",
                                  "done b.swf", "read c.swf", "done c.swf"}));
    QCOMPARE(summary.files.size(), 3);
    const FileOutcome &a = summary.files.at(0);
    QCOMPARE(a.label, QStringLiteral("L"));
    QCOMPARE(a.folder, out->filePath("L"));
    QCOMPARE(a.images, 3);
    QCOMPARE(a.written, 1);
    QCOMPARE(a.failures.size(), 2);
    QCOMPARE(summary.files.at(1).conversion.failure, QStringLiteral("exit code 2"));
    QCOMPARE(summary.notConverted().size(), 1);
    QCOMPARE(summary.files.at(2).reading, CatalogueOutcome::LabelRefused);
    QCOMPARE(summary.files.at(2).images, 0);
    QCOMPARE(QDir(out->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"L"}));
    QCOMPARE(QDir(out->filePath("L")).entryList(QDir::Files), QStringList({"good.png"}));
    // The lines in the order of a one-at-a-time dump.
    QCOMPARE(
        log.lines.filter(QRegularExpression("^(Converting|swfmill|Already)")),
        QStringList({"Converting \"a.swf\"", "swfmill exited with status 0", "Converting \"b.swf\"",
                     "swfmill exited with status 2", "Converting \"c.swf\"",
                     "swfmill exited with status 0", "Already Loaded"}));
}

void TestDumpPipeline::runOfFilesWithoutImagesEnds()
{
    // Files that give no image (no bitmaps, a label seen before, no label,
    // a failed conversion) are done as soon as they are read, also when
    // they are read ahead of a slow file before them: the run must still
    // convert every file after them and end, on one worker or four.
    QHash<QString, QByteArray> documents;
    QStringList files;
    for (int i = 0; i < 60; ++i) {
        const QString name = QStringLiteral("f%1.swf").arg(i);
        files << name;
        if (i % 7 == 3)
            continue; // fails
        documents.insert(name, i % 5 == 4 ? QByteArray("<swf/>")
                                          : converterDocument(i % 3 ? "L" + QByteArray::number(i)
                                                                    : QByteArray("same"),
                                                              {}, {}));
    }
    for (const int workers : {1, 4}) {
        DumpOptions options;
        options.layout = DumpLayout::FolderPerLabel;
        options.limits.workers = workers;
        const DumpSummary summary =
            run(documents, files, options, std::make_unique<RefuseLoadedLabels>(), nullptr,
                {"f0.swf", "f10.swf", "f11.swf", "f30.swf"});
        QCOMPARE(summary.files.size(), files.size());
        QCOMPARE(summary.images(), 0);
    }
}

QTEST_MAIN(TestDumpPipeline)
#include "tst_dumppipeline.moc"
