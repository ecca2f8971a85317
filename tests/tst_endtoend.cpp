// The whole road with the bundled converter: a folder of files from the SWF
// writer is scanned, browsed, previewed and dumped.

#include "dump/dumpdialog.h"
#include "mainwindow/mainwindow.h"
#include "swf/converter.h"
#include "tests/support/guitest.h"

#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace swfw;

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scanBrowsePreviewAndDump();
    void demoFolderShowsEverySample();

private:
    // Chooses `folder` in the window and waits for its scan to end, which
    // must show no box and skip exactly one file as "Already Loaded".
    static void scanFolder(MainWindow &window, const QString &folder)
    {
        MessageBoxCatcher boxes;
        DebugLines log;
        chooseFolder(&window, folder);
        QTRY_VERIFY_WITH_TIMEOUT(window.findChild<QPushButton *>("cmdSetDir")->isEnabled(), 30000);
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(log.lines.count("Already Loaded"), 1);
    }
};

void TestEndToEnd::initTestCase()
{
    // The bundled converter, not a stand-in from the search path.
    QVERIFY2(Converter::program().endsWith(Converter::bundledProgramName()),
             qPrintable(Converter::program()));
}

// 2 x 1 pixels: white at half opacity (premultiplied), then opaque green.
static const QByteArray kPixels("\x80\x80\x80\x80\xff\x00\xff\x00", 8);

void TestEndToEnd::scanBrowsePreviewAndDump()
{
    QTemporaryDir folder;
    Tags art;
    art.frameLabel("Art")
        .bitmap(1, 2, 1, kPixels)
        .bitmap(2, 300, 200, testPattern(300, 200))
        .bitmap(3, 4, 4, testPattern(4, 4)) // no name: not listed
        .lossless(36, 4, 3, 2, 2, zlib(QByteArray(12, '\x01')), 0)
        .symbolClass({{1, "dot"}, {2, "big picture"}, {4, "palette"}})
        .showFrame()
        .end();
    Tags data;
    data.frameLabel("Data").binaryData(7, "bytes").symbolClass({{7, "blob"}}).end();
    Tags again;
    again.frameLabel("Art").bitmap(1, 2, 1, kPixels).symbolClass({{1, "other"}}).end();
    Header v13;
    v13.version = 13;
    QVERIFY(save(folder.filePath("a.swf"), file(Header(), art, Compression::Zlib)));
    QVERIFY(save(folder.filePath("b.swf"), file(v13, data, Compression::Lzma)));
    QVERIFY(save(folder.filePath("c.swf"), file(Header(), again, Compression::None)));
    QVERIFY(save(folder.filePath("D.SWF"), file(Header(), data, Compression::None)));
    QVERIFY(save(folder.filePath("notes.txt"), "not a movie"));

    const QString startDir = QDir::currentPath();
    MainWindow window;
    QObject::connect(&window, &MainWindow::dumpRequested, &window,
                     [&](const QStringList &files, DumpLayout layout) {
                         DumpDialog::open(&window, files, layout);
                     });
    scanFolder(window, folder.path());
    if (QTest::currentTestFailed())
        return;

    auto *containers = window.findChild<QListWidget *>("listWidget");
    auto *resources = window.findChild<QListWidget *>("listWidget_2");
    QCOMPARE(containers->count(), 2);
    QCOMPARE(containers->item(0)->text(), QStringLiteral("Art"));
    QCOMPARE(containers->item(1)->text(), QStringLiteral("Data"));

    containers->setCurrentRow(1);
    QCOMPARE(resources->count(), 0);
    containers->setCurrentRow(0);
    QStringList names;
    for (int i = 0; i < resources->count(); ++i)
        names << resources->item(i)->text();
    names.sort();
    QCOMPARE(names, QStringList({"big picture", "dot"}));

    // The preview shows true colours: white at half opacity stays white.
    resources->setCurrentItem(resources->findItems("dot", Qt::MatchExactly).first());
    auto *preview = window.findChild<QLabel *>("lblPrev");
    QTRY_VERIFY_WITH_TIMEOUT(!preview->pixmap().isNull(), 30000);
    const QImage shown = preview->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(shown.size(), QSize(2, 1));
    QCOMPARE(shown.pixelColor(0, 0), QColor(255, 255, 255, 128));
    QCOMPARE(shown.pixelColor(1, 0), QColor(0, 255, 0, 255));

    // The dump writes both named bitmaps, and nothing else.
    MessageBoxCatcher boxes;
    QTemporaryDir out;
    QTest::mouseClick(window.findChild<QPushButton *>("cmdDumpContainer"), Qt::LeftButton);
    QPointer<DumpDialog> dialog = window.findChild<DumpDialog *>();
    QVERIFY(dialog);
    chooseFolder(dialog, out.path());
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 30000);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files, QDir::Name),
             QStringList({"big picture.png", "dot.png"}));
    const QImage dot(out.filePath("dot.png"));
    QCOMPARE(dot.pixelColor(0, 0), QColor(255, 255, 255, 128));
    QCOMPARE(dot.pixelColor(1, 0), QColor(0, 255, 0, 255));
    const QImage big(out.filePath("big picture.png"));
    QCOMPARE(big.size(), QSize(300, 200));
    QVERIFY(boxes.texts.isEmpty());
    QDir::setCurrent(startDir);
}

void TestEndToEnd::demoFolderShowsEverySample()
{
    // The folder that `./dev run` offers, listed as the README describes it.
    QTemporaryDir folder;
    QProcess maker;
    maker.start(QCoreApplication::applicationDirPath() + "/swf-make-demo", {folder.path()});
    QVERIFY(maker.waitForFinished(60000));
    QCOMPARE(maker.exitCode(), 0);

    const QString startDir = QDir::currentPath();
    MainWindow window;
    scanFolder(window, folder.path());
    if (QTest::currentTestFailed())
        return;

    auto *containers = window.findChild<QListWidget *>("listWidget");
    auto *resources = window.findChild<QListWidget *>("listWidget_2");
    const QStringList labels = {"Backgrounds", "Characters", "Icons", "Sounds", "Truncated"};
    const QList<QStringList> bitmaps = {{"checker", "glass_panel", "sky_gradient"},
                                        {"ghost", "slime"},
                                        {"icon_gem", "icon_heart", "icon_star"},
                                        {},
                                        {"survivor"}};
    QCOMPARE(containers->count(), labels.size());
    for (int row = 0; row < labels.size(); ++row) {
        QCOMPARE(containers->item(row)->text(), labels.at(row));
        containers->setCurrentRow(row);
        QStringList names;
        for (int i = 0; i < resources->count(); ++i)
            names << resources->item(i)->text();
        names.sort();
        QCOMPARE(names, bitmaps.at(row));
    }

    // Every listed bitmap previews.
    containers->setCurrentRow(0);
    auto *preview = window.findChild<QLabel *>("lblPrev");
    for (int i = 0; i < resources->count(); ++i) {
        resources->setCurrentRow(i);
        QTRY_VERIFY_WITH_TIMEOUT(!preview->pixmap().isNull() || !preview->text().isEmpty(), 30000);
        QVERIFY2(!preview->pixmap().isNull(), qPrintable(preview->text()));
    }
    QDir::setCurrent(startDir);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
