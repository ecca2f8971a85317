// The dump dialog: its form, its folder choice and the writing of PNG files.

#include "dump/dumpdialog.h"
#include "dump/paintpacer.h"
#include "mainwindow/mainwindow.h"
#include "swf/imageoutput.h"
#include "tests/support/fakeconverter.h"
#include "tests/support/guitest.h"

#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <functional>

// Calls `onPaint` as `widget` is about to paint.
class PaintWatcher : public QObject
{
public:
    PaintWatcher(QWidget *widget, std::function<void()> onPaint) : onPaint(std::move(onPaint))
    {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            onPaint();
        return false;
    }

private:
    std::function<void()> onPaint;
};

class TestDump : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formAndStartState();
    void cancellingChooserClosesAtOnce();
    void onePngPerNamedBitmap();
    void progressStates();
    void fileWithoutBitmaps();
    void exitCodeLeavesDialogOpenUntilAbort();
    void abortDuringConversion();
    void abortInMultiFileRun();
    void dumpAllIntoLabelFolders();
    void brokenFilesDoNotStopTheRun();
    void oneAndFourWorkersAgree();
    void unsafeNamesStayInsideFolder();
    void safeFileNames();
    void pngBytesAsQtWritesThem();
    void unwritableImagesAreReported();
    void dumpButtonOpensDialogForCurrentContainer();
    void pacedPaintingCatchesUp();

private:
    // Opens a dialog for `file` (in the source folder).
    DumpDialog *open(const QString &file = QStringLiteral("a.swf"))
    {
        auto *d = new DumpDialog(nullptr, {file});
        dialog = d;
        return d;
    }
    // Opens a "Dump All Resources" dialog for `files`.
    DumpDialog *openAll(const QStringList &files, DumpLimits limits = {})
    {
        auto *d = new DumpDialog(nullptr, files, DumpLayout::FolderPerLabel, limits);
        dialog = d;
        return d;
    }
    // A document labelled `label` with `count` 64 x 64 images "image1"...
    static QByteArray manyImages(const QByteArray &label, int count)
    {
        QList<QPair<int, QByteArray>> symbols;
        QList<TestBitmap> bitmaps;
        for (int i = 1; i <= count; ++i) {
            symbols.append({i, "image" + QByteArray::number(i)});
            bitmaps.append({i, 64, 64, swfw::testPattern(64, 64, i)});
        }
        return converterDocument(label, symbols, bitmaps);
    }
    void chooseOutput(DumpDialog *d, const QString &folder = QString())
    {
        chooseFolder(d, folder.isEmpty() ? out->path() : folder);
    }
    QProgressBar *bar(const char *name) { return dialog->findChild<QProgressBar *>(name); }
    // Appends both bars' value, maximum and format to `states` at every
    // nextImage and nextSWF of `d`.
    void recordBars(DumpDialog *d, QStringList &states)
    {
        const auto record = [this, &states] {
            states << QStringLiteral("%1/%2 %3 | %4/%5 %6")
                          .arg(bar("progressBar")->value())
                          .arg(bar("progressBar")->maximum())
                          .arg(bar("progressBar")->format())
                          .arg(bar("progressBar_2")->value())
                          .arg(bar("progressBar_2")->maximum())
                          .arg(bar("progressBar_2")->format());
        };
        connect(d, &DumpDialog::nextImage, this, record);
        connect(d, &DumpDialog::nextSWF, this, record);
    }
    QStringList written(const QString &folder = QString())
    {
        return QDir(folder.isEmpty() ? out->path() : folder)
            .entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    FakeConverter *fake = nullptr;
    MessageBoxCatcher *boxes = nullptr;
    QTemporaryDir *source = nullptr;
    QTemporaryDir *out = nullptr;
    QPointer<DumpDialog> dialog;
    QString startDir;
};

// Pixels with known colours: a white pixel at half opacity (stored
// premultiplied), an opaque red one, a transparent one, and opaque blue.
static const QByteArray kPixels("\x80\x80\x80\x80"
                                "\xff\xff\x00\x00"
                                "\x00\x00\x00\x00"
                                "\xff\x00\x00\xff",
                                16);

void TestDump::init()
{
    startDir = QDir::currentPath();
    fake = new FakeConverter;
    fake->serveDocuments();
    boxes = new MessageBoxCatcher;
    source = new QTemporaryDir;
    out = new QTemporaryDir;
    for (const char *name : {"a.swf", "b.swf"})
        swfw::save(source->filePath(name), "x");
    QDir::setCurrent(source->path());
}

void TestDump::cleanup()
{
    delete dialog;
    delete boxes;
    delete fake;
    QDir::setCurrent(startDir);
    delete source;
    delete out;
}

void TestDump::formAndStartState()
{
    DumpDialog *d = open();
    QCOMPARE(d->objectName(), QStringLiteral("DumpDialog"));
    QCOMPARE(d->windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(d->size(), QSize(415, 107));
    QCOMPARE(d->minimumSize(), QSize(415, 107));
    QCOMPARE(d->maximumSize(), QSize(415, 107));
    QVERIFY(d->isModal());
    QVERIFY(d->isVisible());
    QVERIFY(d->testAttribute(Qt::WA_DeleteOnClose));

    auto *box = d->findChild<QDialogButtonBox *>("buttonBox");
    QCOMPARE(box->standardButtons(), QDialogButtonBox::Abort);
    QCOMPARE(box->orientation(), Qt::Horizontal);

    // The file bar names the real count; its value 24 no longer fits.
    QCOMPARE(bar("progressBar")->maximum(), 1);
    QCOMPARE(bar("progressBar")->format(), QStringLiteral("File 1 of 1 (%p%)"));
    QVERIFY(bar("progressBar")->text().isEmpty());
    QCOMPARE(bar("progressBar_2")->value(), 24);
    QCOMPARE(bar("progressBar_2")->format(), QStringLiteral("Waiting..."));

    auto *chooser = d->findChild<QFileDialog *>();
    QVERIFY(chooser->isVisible());
    QVERIFY(chooser->isModal());
    QCOMPARE(chooser->fileMode(), QFileDialog::Directory);
    QVERIFY(chooser->testOption(QFileDialog::ShowDirsOnly));

    delete d;
    auto *two = new DumpDialog(nullptr, {"a.swf", "b.swf"});
    dialog = two;
    QCOMPARE(bar("progressBar")->format(), QStringLiteral("File 1 of 2 (%p%)"));
}

void TestDump::cancellingChooserClosesAtOnce()
{
    DumpDialog *d = open();
    d->findChild<QFileDialog *>()->reject();
    QVERIFY(!d->isVisible());
    QTRY_VERIFY(dialog.isNull());
    QVERIFY(fake->converted().isEmpty());
}

void TestDump::onePngPerNamedBitmap()
{
    QByteArray xml =
        converterDocument("label", {{1, "white.and.red"}, {2, "pattern"}, {3, "palette"}},
                          {{1, 2, 2, kPixels},
                           {2, 40, 30, swfw::testPattern(40, 30)},
                           {3, 2, 2, kPixels, "3"},
                           {4, 2, 2, kPixels}},
                          2);
    fake->setDocument("a.swf", xml);
    swfw::save(out->filePath("pattern.png"), "old content");

    chooseOutput(open());
    QTRY_VERIFY(dialog.isNull());
    // Only named format-5 bitmaps; binary data and format 3 leave nothing.
    QCOMPARE(written(), QStringList({"pattern.png", "white.and.red.png"}));

    QImage image(out->filePath("white.and.red.png"));
    QCOMPARE(image.size(), QSize(2, 2));
    // Colours come back unpremultiplied: white stays white at half opacity.
    QCOMPARE(image.pixelColor(0, 0), QColor(255, 255, 255, 128));
    QCOMPARE(image.pixelColor(1, 0), QColor(255, 0, 0, 255));
    QCOMPARE(image.pixelColor(0, 1), QColor(0, 0, 0, 0));
    QCOMPARE(image.pixelColor(1, 1), QColor(0, 0, 255, 255));

    // The existing file was replaced by the image.
    QCOMPARE(QImage(out->filePath("pattern.png")).size(), QSize(40, 30));
    QVERIFY(boxes->texts.isEmpty());
}

void TestDump::progressStates()
{
    fake->setDocument(
        "a.swf", converterDocument("l", {{1, "one"}, {2, "two"}, {3, "three"}},
                                   {{1, 2, 2, kPixels}, {2, 2, 2, kPixels}, {3, 2, 2, kPixels}}));
    DumpDialog *d = open();
    QStringList states;
    recordBars(d, states);
    // The bar is never kept from painting: a bar left so would show as a
    // blank area whenever the window repaints.
    QList<bool> painting;
    auto recordPainting = [&] { painting << bar("progressBar_2")->updatesEnabled(); };
    connect(d, &DumpDialog::nextImage, this, recordPainting);
    connect(d, &DumpDialog::nextSWF, this, recordPainting);
    chooseOutput(d);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(painting, QList<bool>({true, true, true, true, true}));
    QCOMPARE(states, QStringList({
                         "-1/1 File 1 of 1 (%p%) | 24/100 Waiting...", // chosen: start
                         "1/1 File 1 of 1 (%p%) | -1/3 Resource 1 of 3 (%p%)",
                         "1/1 File 1 of 1 (%p%) | 2/3 Resource 2 of 3 (%p%)",
                         "1/1 File 1 of 1 (%p%) | 3/3 Resource 3 of 3 (%p%)",
                         "1/1 File 1 of 1 (%p%) | 0/3 Waiting...",
                     }));
    QCOMPARE(written().size(), 3);
}

void TestDump::fileWithoutBitmaps()
{
    fake->setDocument("a.swf", converterDocument("l", {{1, "bin"}}, {}, 3));
    fake->setDocument("b.swf", "<swf><Header/></swf>");
    auto *d = new DumpDialog(nullptr, {"a.swf", "b.swf"});
    dialog = d;
    QStringList imageBar;
    connect(d, &DumpDialog::nextSWF, this,
            [&] { imageBar << bar("progressBar_2")->format() + " " + bar("progressBar")->text(); });
    chooseOutput(d);
    QTRY_VERIFY(dialog.isNull());
    // Both files count; the image bar never leaves "Waiting...".
    QCOMPARE(imageBar, QStringList({"Waiting... ", "Waiting... File 1 of 2 (50%)",
                                    "Waiting... File 2 of 2 (100%)"}));
    QCOMPARE(fake->converted(), QStringList({"a.swf", "b.swf"}));
    QVERIFY(written().isEmpty());
}

void TestDump::exitCodeLeavesDialogOpenUntilAbort()
{
    fake->setExitCode("a.swf", 3);
    auto *d = new DumpDialog(nullptr, {"a.swf", "b.swf"});
    dialog = d;
    chooseOutput(d);
    QTRY_COMPARE(boxes->texts, QStringList({"swfmill terminated abnormally"}));
    QCOMPARE(boxes->parents.first(), d);
    QCOMPARE(boxes->titles.first(), QStringLiteral("Error Converting SWF"));
    QCoreApplication::processEvents();
    QVERIFY(d->isVisible());
    QCOMPARE(fake->converted(), QStringList({"a.swf"}));

    d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Abort)->click();
    QTRY_VERIFY(dialog.isNull());
}

void TestDump::abortDuringConversion()
{
    fake->setHangingOn("a.swf");
    DumpDialog *d = open();
    chooseOutput(d);
    QTRY_VERIFY(fake->hangingPid("a.swf") > 0);
    const qint64 pid = fake->hangingPid("a.swf");
    QVERIFY(FakeConverter::processAlive(pid));
    d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Abort)->click();
    QTRY_VERIFY(dialog.isNull());
    QVERIFY(!FakeConverter::processAlive(pid));
    QVERIFY(boxes->texts.isEmpty());
}

void TestDump::abortInMultiFileRun()
{
    // Three files of many images, four workers: Abort once the second
    // file's second image is done stops the run there. What was handed out
    // is finished, so each folder holds a run of whole images from the
    // first, and nothing of the third file is written (a file holds more
    // images than the workers are handed at once).
    constexpr int kImages = 150;
    for (const char *file : {"a.swf", "b.swf", "c.swf"})
        fake->setDocument(file, manyImages(QByteArray(file).left(1).toUpper(), kImages));
    DumpDialog *d = openAll({"a.swf", "b.swf", "c.swf"}, {4});
    connect(d, &DumpDialog::nextImage, d, [&] {
        if (bar("progressBar")->value() == 2 && bar("progressBar_2")->value() == 3)
            d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Abort)->click();
    });
    chooseOutput(d);
    QTRY_VERIFY(dialog.isNull());
    const auto firstImages = [](qsizetype n) {
        QStringList names;
        for (int i = 1; i <= n; ++i)
            names << QStringLiteral("image%1.png").arg(i);
        names.sort();
        return names;
    };
    QCOMPARE(written(out->filePath("A")), firstImages(kImages));
    const QStringList second = written(out->filePath("B"));
    QVERIFY(second.size() >= 2 && second.size() < kImages);
    QCOMPARE(second, firstImages(second.size()));
    QVERIFY(!QDir(out->filePath("C")).exists());
    QVERIFY(boxes->texts.isEmpty());
}

void TestDump::dumpAllIntoLabelFolders()
{
    // "a/b" and "a_b" make the same folder name: the later gets " (2)".
    fake->setDocument("x.swf", converterDocument("Icons", {{1, "one"}, {2, "two"}},
                                                 {{1, 2, 2, kPixels}, {2, 1, 1, kPixels}}));
    fake->setDocument("y.swf", converterDocument("a/b", {{1, "one"}}, {{1, 2, 2, kPixels}}));
    fake->setDocument("z.swf", converterDocument("a_b", {{1, "three"}}, {{1, 2, 2, kPixels}}));
    for (const char *name : {"x.swf", "y.swf", "z.swf"})
        swfw::save(source->filePath(name), "x");
    DumpDialog *d = openAll({"x.swf", "y.swf", "z.swf"});
    QStringList fileBar;
    connect(d, &DumpDialog::nextSWF, this, [&] { fileBar << bar("progressBar")->text(); });
    chooseOutput(d);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(fileBar,
             QStringList({"", "File 1 of 3 (33%)", "File 2 of 3 (66%)", "File 3 of 3 (100%)"}));
    const auto all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
    QCOMPARE(QDir(out->path()).entryList(all, QDir::Name),
             QStringList({"Icons", "a_b", "a_b (2)"}));
    QCOMPARE(written(out->filePath("Icons")), QStringList({"one.png", "two.png"}));
    QCOMPARE(written(out->filePath("a_b")), QStringList({"one.png"}));
    QCOMPARE(written(out->filePath("a_b (2)")), QStringList({"three.png"}));
    QCOMPARE(QImage(out->filePath("Icons/two.png")).size(), QSize(1, 1));
    QVERIFY(boxes->texts.isEmpty());
}

void TestDump::brokenFilesDoNotStopTheRun()
{
    // Eleven files the converter fails on between two good ones: the run
    // writes both good files' images, then names the failed files, the
    // first ten in the text and every one in the details.
    QStringList files{"a.swf"};
    fake->setDocument("a.swf", converterDocument("A", {{1, "pic"}}, {{1, 2, 2, kPixels}}));
    for (int i = 1; i <= 11; ++i) {
        const QString name = QStringLiteral("broken%1.swf").arg(i, 2, 10, QLatin1Char('0'));
        fake->setExitCode(name, 3);
        files << name;
    }
    files << "z.swf";
    fake->setDocument("z.swf", converterDocument("Z", {{1, "pic"}}, {{1, 2, 2, kPixels}}));
    DumpDialog *d = openAll(files);
    chooseOutput(d);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(written(out->filePath("A")), QStringList({"pic.png"}));
    QCOMPARE(written(out->filePath("Z")), QStringList({"pic.png"}));
    // Every file converted once (two at a time, so the log's order may vary).
    QStringList converted = fake->converted();
    converted.sort();
    QCOMPARE(converted, files);
    QCOMPARE(boxes->texts,
             QStringList({"11 of 13 files could not be converted: broken01.swf, broken02.swf, "
                          "broken03.swf, broken04.swf, broken05.swf, broken06.swf, broken07.swf, "
                          "broken08.swf, broken09.swf, broken10.swf and 1 more."}));
    QCOMPARE(boxes->titles.first(), QStringLiteral("Dump All Resources"));
    const QStringList details = boxes->detailedTexts.first().split('\n');
    QCOMPARE(details.size(), 11);
    QCOMPARE(details.last(), QStringLiteral("broken11.swf: exit code 3"));
}

void TestDump::oneAndFourWorkersAgree()
{
    // Images of every size, a corrupt one, and two of one name in a file (a
    // large one first, so that written out of order it would stay).
    QList<QPair<int, QByteArray>> symbols;
    QList<TestBitmap> bitmaps;
    for (int i = 1; i <= 24; ++i) {
        const int side = 1 + (i * 37) % 200;
        symbols.append({i, "image" + QByteArray::number(i)});
        bitmaps.append({i, side, side / 2 + 1, swfw::testPattern(side, side / 2 + 1, i)});
    }
    symbols.append({30, "dup"});
    bitmaps.append({30, 600, 600, swfw::testPattern(600, 600)});
    symbols.append({31, "dup"});
    bitmaps.append({31, 1, 1, kPixels.left(4)});
    QByteArray broken = converterDocument("broken", {{1, "corrupt"}, {2, "fine"}},
                                          {{2, 3, 3, swfw::testPattern(3, 3)}});
    broken.replace("</tags>", "<DefineBitsLossless2 objectID=\"1\" format=\"5\" width=\"1\" "
                              "height=\"1\"><data><data>bm90IHpsaWI=</data></data>"
                              "</DefineBitsLossless2></tags>");
    fake->setDocument("a.swf", converterDocument("many", symbols, bitmaps));
    fake->setDocument("b.swf", broken);
    fake->setDocument("c.swf", converterDocument("bin", {{1, "x"}}, {}, 2));

    // The bars at every step and the diagnostic lines, in one sequence.
    const auto run = [&](int workers, const QString &folder, QStringList &steps) {
        DebugLines log([&](const QString &line) { steps << line; });
        DumpDialog *d = openAll({"a.swf", "b.swf", "c.swf"}, {workers});
        recordBars(d, steps);
        QDir().mkpath(folder);
        chooseOutput(d, folder);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 30000);
    };
    QStringList one;
    QStringList four;
    run(1, out->filePath("one"), one);
    run(4, out->filePath("four"), four);
    QCOMPARE(four, one);
    QCOMPARE(one.count(QStringLiteral("Converting \"b.swf\"")), 1);

    QStringList files;
    QDirIterator it(out->filePath("one"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(out->filePath("one")).relativeFilePath(it.next());
    QCOMPARE(files.size(), 26);
    for (const QString &file : files) {
        QFile a(out->filePath("one/" + file));
        QFile b(out->filePath("four/" + file));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY2(a.readAll() == b.readAll(), qPrintable(file));
    }
    QCOMPARE(QImage(out->filePath("four/many/dup.png")).size(), QSize(1, 1));
    // Both runs warned of the corrupt image alike.
    QCOMPARE(boxes->texts.size(), 2);
    QCOMPARE(boxes->texts.at(1), QString(boxes->texts.at(0)).replace("one", "four"));
}

void TestDump::unsafeNamesStayInsideFolder()
{
    // The output folder sits two levels down, so escapes would be visible.
    const QString folder = out->filePath("deep/er");
    QDir(out->path()).mkpath("deep/er/inner");
    const QList<QByteArray> names = {"../../escape", "/abs/path",   "back\\slash", "..", ".",
                                     "tab&#9;name",  "$dots..and.é"};
    QList<QPair<int, QByteArray>> symbols;
    QList<TestBitmap> bitmaps;
    for (int i = 0; i < names.size(); ++i) {
        symbols.append({i + 1, names.at(i)});
        bitmaps.append({i + 1, 1, 1, QByteArray("\xff\x01\x02\x03", 4)});
    }
    fake->setDocument("a.swf", converterDocument("l", symbols, bitmaps));
    chooseOutput(open(), folder);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(written(folder),
             QStringList({"$dots..and.é.png", ".._.._escape.png", "._.png", "_.png",
                          "_abs_path.png", "back_slash.png", "tab_name.png"}));
    const auto all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
    QCOMPARE(QDir(out->path()).entryList(all), QStringList({"deep"}));
    QCOMPARE(QDir(out->filePath("deep")).entryList(all), QStringList({"er"}));
    QVERIFY(QDir(out->filePath("deep/er/inner")).isEmpty());
}

void TestDump::safeFileNames()
{
    QCOMPARE(safeFileName("plain.name"), QStringLiteral("plain.name"));
    QCOMPARE(safeFileName(QString::fromUtf8("Ünïcode $1")), QString::fromUtf8("Ünïcode $1"));
    QCOMPARE(safeFileName("a/b\\c"), QStringLiteral("a_b_c"));
    QCOMPARE(safeFileName(QString("nul") + QChar(0) + "\x1f\x7f"), QStringLiteral("nul___"));
    QCOMPARE(safeFileName(""), QStringLiteral("_"));
    QCOMPARE(safeFileName("."), QStringLiteral("_"));
    QCOMPARE(safeFileName(".."), QStringLiteral("._"));
    QCOMPARE(safeFileName("...a"), QStringLiteral("...a"));
    // What FAT, exFAT, NTFS and Windows refuse or drop.
    QCOMPARE(safeFileName("Level 1: Forest*?\"<>|."), QStringLiteral("Level 1_ Forest_______"));
    QCOMPARE(safeFileName("Ends "), QStringLiteral("Ends_"));
    QCOMPARE(safeFileName("con"), QStringLiteral("_con"));
    QCOMPARE(safeFileName("Lpt9.backup"), QStringLiteral("_Lpt9.backup"));
    QCOMPARE(safeFileName("console"), QStringLiteral("console"));
    QCOMPARE(safeFileName("COM0"), QStringLiteral("COM0"));
    // Cut to whole characters within the byte limit.
    QCOMPARE(safeFileName(QString(300, 'M')), QString(kMaxSafeNameBytes, 'M'));
    const QString han = QString::fromUtf8("漢").repeated(100); // 3 bytes each
    QCOMPARE(safeFileName(han), han.left(kMaxSafeNameBytes / 3));
    const QString faces = QString::fromUtf8("😀").repeated(60); // 4 bytes, 2 units each
    QCOMPARE(safeFileName(faces), faces.left(kMaxSafeNameBytes / 4 * 2));

    QCOMPARE(fileNameKey("Star"), fileNameKey("star"));
    QCOMPARE(fileNameKey(QString::fromUtf8("e\u0301")), fileNameKey(QString::fromUtf8("É")));
    QVERIFY(fileNameKey("a") != fileNameKey("b"));
}

void TestDump::pngBytesAsQtWritesThem()
{
    // Every alpha with every colour value up to it: writePng's own
    // unpremultiplying gives the bytes of Qt saving the image itself.
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c)
            image.setPixel(c, a, qRgba(std::min(a, c), std::min(a, 255 - c), a / 2, a));
    QVERIFY(writePng(image, out->filePath("ours.png")).written());
    QVERIFY(image.save(out->filePath("qt.png"), "png", -1));
    QFile ours(out->filePath("ours.png"));
    QFile qt(out->filePath("qt.png"));
    QVERIFY(ours.open(QIODevice::ReadOnly) && qt.open(QIODevice::ReadOnly));
    QVERIFY(ours.readAll() == qt.readAll());
}

void TestDump::unwritableImagesAreReported()
{
    // A directory in the way, an image that can't be decoded and one of
    // width 0: three of four images are not written, and the user is told.
    QDir(out->path()).mkdir("blocked.png");
    QByteArray xml =
        converterDocument("l", {{1, "blocked"}, {2, "good"}, {3, "corrupt"}, {4, "empty"}},
                          {{1, 1, 1, QByteArray(4, '\xff')},
                           {2, 1, 1, QByteArray(4, '\xff')},
                           {4, 0, 5, QByteArray(4, '\xff')}});
    xml.replace("</tags>", "<DefineBitsLossless2 objectID=\"3\" format=\"5\" width=\"1\" "
                           "height=\"1\"><data><data>bm90IHpsaWI=</data></data>"
                           "</DefineBitsLossless2></tags>");
    fake->setDocument("a.swf", xml);
    DumpDialog *d = open();
    chooseOutput(d);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(boxes->texts, QStringList({"3 of 4 images could not be written into " +
                                        QDir::toNativeSeparators(out->path()) + "."}));
    // The details say which and why.
    const QStringList details = boxes->detailedTexts.first().split('\n');
    QCOMPARE(details.size(), 3);
    QVERIFY2(
        details.first().startsWith(QDir::toNativeSeparators(out->filePath("blocked.png")) + ": ") &&
            details.first().size() > out->filePath("blocked.png: ").size(),
        qPrintable(details.first()));
    QCOMPARE(boxes->parents.first(), d);
    QCOMPARE(written(), QStringList({"good.png"}));
}

void TestDump::dumpButtonOpensDialogForCurrentContainer()
{
    fake->setDocument("a.swf",
                      converterDocument("first", {{1, "x"}}, {{1, 1, 1, kPixels.left(4)}}));
    fake->setDocument("b.swf",
                      converterDocument("second", {{1, "y"}}, {{1, 1, 1, kPixels.left(4)}}));
    MainWindow window;
    connect(&window, &MainWindow::dumpRequested, &window,
            [&](const QStringList &files, DumpLayout layout) {
                DumpDialog::open(&window, files, layout);
            });
    chooseFolder(&window, source->path());
    QTRY_VERIFY(window.findChild<QPushButton *>("cmdSetDir")->isEnabled());

    auto *list = window.findChild<QListWidget *>("listWidget");
    list->setCurrentRow(1);
    QTest::mouseClick(window.findChild<QPushButton *>("cmdDumpContainer"), Qt::LeftButton);
    auto *d = window.findChild<DumpDialog *>();
    QVERIFY(d);
    dialog = d;
    QCOMPARE(d->parent(), &window);
    chooseOutput(d);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(written(), QStringList({"y.png"}));
    QCOMPARE(fake->converted().mid(2), QStringList({"b.swf"}));
}

void TestDump::pacedPaintingCatchesUp()
{
    // A bar in a window whose painting is paced; its paints are recorded with
    // the value they show.
    QWidget window;
    auto *progress = new QProgressBar(&window);
    progress->setRange(0, 10);
    QList<int> painted;
    PaintWatcher watcher(progress, [&] { painted << progress->value(); });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    painted.clear();

    // An hour's interval: the first change is painted at once, the next ones
    // wait, even those that ask to be painted at once, until released.
    PaintPacer slow(&window, 3600 * 1000);
    slow.hold();
    progress->setValue(1);
    QTRY_COMPARE(painted, QList<int>({1}));
    progress->setValue(2);
    progress->repaint();
    progress->setValue(3);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(painted, QList<int>({1}));
    // A repaint the window system asks for shows the current state, never a
    // blank or an old one.
    QExposeEvent expose(QRegion(window.rect()));
    QCoreApplication::sendEvent(window.windowHandle(), &expose);
    QCOMPARE(painted.last(), 3);
    progress->setValue(4);
    slow.release();
    QTRY_COMPARE(painted.last(), 4);

    // Held and never released, a change still reaches the screen once the
    // interval has run out.
    PaintPacer quick(&window, 10);
    quick.hold();
    for (int v = 5; v <= 9; ++v)
        progress->setValue(v);
    QTRY_COMPARE(painted.last(), 9);
    progress->setValue(10);
    QTRY_COMPARE(painted.last(), 10);
}

QTEST_MAIN(TestDump)
#include "tst_dump.moc"
