// Hostile converter output as the window and the dump dialog meet it.
//
// A converter that never stops writing: the window's scan, a container's
// preview and the dump dialog each kill it at the output cap and fail that
// file (the dialog with the words of a converter crash). The cap is lowered to 4 MiB for
// this test through SWF_MAX_CONVERTER_OUTPUT; without it the test would hang
// (the fake writes zeros until killed) rather than pass.
//
// A document nested far too deep, and a symbol name of a megabyte.

#include "dump/dumpdialog.h"
#include "mainwindow/mainwindow.h"
#include "swf/conversionqueue.h"
#include "swf/converter.h"
#include "swf/imageoutput.h"
#include "tests/support/fakeconverter.h"
#include "tests/support/guitest.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace
{

constexpr qint64 kTestCap = qint64(4) << 20;

const QString kCrashBox = QStringLiteral("While Converting a.swf:\n\tunknown error");

} // namespace

class TestHostileOutput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void capFromEnvironment();
    void scanFailsTheFile();
    void scanHoldsAShareAheadOfTurn();
    void previewFailsTheBitmap();
    void dumpFailsTheFile();
    void deeplyNestedDocument();
    void megabyteSymbolName();

private:
    void choose(MainWindow &window, const QString &path) { chooseFolder(&window, path); }
    static bool scanEnded(MainWindow &window)
    {
        return window.findChild<QPushButton *>("cmdSetDir")->isEnabled();
    }
    static QStringList rows(QListWidget *list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }

    FakeConverter *fake = nullptr;
    MessageBoxCatcher *boxes = nullptr;
    QTemporaryDir *folder = nullptr;
    QString startDir;
};

void TestHostileOutput::initTestCase()
{
    // Read once, at the first collection: set before anything converts.
    qputenv("SWF_MAX_CONVERTER_OUTPUT", QByteArray::number(kTestCap));
}

void TestHostileOutput::init()
{
    startDir = QDir::currentPath();
    fake = new FakeConverter;
    fake->serveDocuments();
    boxes = new MessageBoxCatcher;
    folder = new QTemporaryDir;
    for (const char *name : {"a.swf", "b.swf"})
        swfw::save(folder->filePath(name), "x");
    fake->setDocument(
        "a.swf", converterDocument("first", {{1, "pic"}}, {{1, 2, 2, swfw::testPattern(2, 2)}}));
    fake->setDocument(
        "b.swf", converterDocument("second", {{1, "pic"}}, {{1, 2, 2, swfw::testPattern(2, 2)}}));
}

void TestHostileOutput::cleanup()
{
    delete boxes;
    delete fake;
    QDir::setCurrent(startDir);
    delete folder;
}

void TestHostileOutput::capFromEnvironment()
{
    QCOMPARE(Converter::maxOutputBytes(), kTestCap);
    QVERIFY(kTestCap < Converter::kMaxOutputBytes);
}

void TestHostileOutput::scanFailsTheFile()
{
    // The first file floods: the scan goes on, and names it at its end.
    fake->setFloodingOn("a.swf");
    MainWindow window;
    choose(window, folder->path());
    QTRY_VERIFY_WITH_TIMEOUT(scanEnded(window), 60000);
    QCOMPARE(boxes->texts, QStringList({Converter::kAbnormalExitText}));
    QCOMPARE(boxes->detailedTexts, QStringList({"a.swf: output over 4194304 bytes"}));
    QVERIFY(!FakeConverter::processAlive(fake->floodingPid("a.swf")));
    QCOMPARE(rows(window.findChild<QListWidget *>("listWidget")), QStringList({"second"}));
}

void TestHostileOutput::scanHoldsAShareAheadOfTurn()
{
    // Four conversions at once: one ahead of its turn holds a quarter of
    // the cap. A larger document is converted again at its turn, whole.
    QByteArray big =
        converterDocument("second", {{1, "pic"}}, {{1, 2, 2, swfw::testPattern(2, 2)}});
    big.replace("</tags>", "<DefineBinaryData objectID=\"9\"><data>" + QByteArray(3 << 20, 'A') +
                               "</data></DefineBinaryData></tags>");
    fake->setDocument("b.swf", big);
    MainWindow window;
    window.findChild<ConversionQueue *>()->setJobs(4);
    choose(window, folder->path());
    QTRY_VERIFY_WITH_TIMEOUT(scanEnded(window), 60000);
    QCOMPARE(boxes->texts, QStringList());
    QCOMPARE(rows(window.findChild<QListWidget *>("listWidget")), QStringList({"first", "second"}));
    QCOMPARE(fake->converted().count("b.swf"), 2);
}

void TestHostileOutput::previewFailsTheBitmap()
{
    MainWindow window;
    choose(window, folder->path());
    QTRY_VERIFY(scanEnded(window));
    auto *containers = window.findChild<QListWidget *>("listWidget");
    QCOMPARE(rows(containers), QStringList({"first", "second"}));

    fake->setFloodingOn("a.swf");
    containers->setCurrentRow(0);
    auto *resources = window.findChild<QListWidget *>("listWidget_2");
    QCOMPARE(rows(resources), QStringList({"pic"}));
    resources->setCurrentRow(0);
    auto *preview = window.findChild<QLabel *>("lblPrev");
    QTRY_COMPARE_WITH_TIMEOUT(preview->text(), QStringLiteral("Error Loading Sprite"), 60000);
    QVERIFY(preview->pixmap().isNull());
    QVERIFY(!FakeConverter::processAlive(fake->floodingPid("a.swf")));
    QVERIFY(boxes->texts.isEmpty());

    // The other file still previews.
    containers->setCurrentRow(1);
    resources->setCurrentRow(0);
    QTRY_VERIFY(!preview->pixmap().isNull());
}

void TestHostileOutput::dumpFailsTheFile()
{
    fake->setFloodingOn("a.swf");
    QDir::setCurrent(folder->path());
    QTemporaryDir out;
    QPointer<DumpDialog> dialog = new DumpDialog(nullptr, {"a.swf"});
    chooseFolder(dialog, out.path());
    QTRY_COMPARE_WITH_TIMEOUT(boxes->texts, QStringList({kCrashBox, Converter::kAbnormalExitText}),
                              60000);
    QCOMPARE(boxes->parents, QList<QWidget *>({dialog.data(), dialog.data()}));
    QVERIFY(!FakeConverter::processAlive(fake->floodingPid("a.swf")));
    QVERIFY(QDir(out.path()).isEmpty());

    // As after an exit code: the dialog stays until Abort.
    QCoreApplication::processEvents();
    QVERIFY(dialog->isVisible());
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Abort)->click();
    QTRY_VERIFY(dialog.isNull());
}

void TestHostileOutput::deeplyNestedDocument()
{
    // 200,000 levels: the DOM would take many minutes to build. The scan
    // skips the file as unreadable; a preview from it fails.
    QByteArray deep = converterDocument("deep", {{1, "pic"}}, {{1, 2, 2, swfw::testPattern(2, 2)}});
    QByteArray nesting;
    for (int i = 0; i < 200000; ++i)
        nesting += "<n>";
    for (int i = 0; i < 200000; ++i)
        nesting += "</n>";
    deep.replace("<ShowFrame/>", nesting + "<ShowFrame/>");
    fake->setDocument("b.swf", deep);

    DebugLines log;
    MainWindow window;
    choose(window, folder->path());
    QTRY_VERIFY(scanEnded(window));
    auto *containers = window.findChild<QListWidget *>("listWidget");
    QCOMPARE(rows(containers), QStringList({"first"}));
    QVERIFY(log.lines.contains("Parser Error Occured"));

    fake->setDocument("a.swf", deep);
    containers->setCurrentRow(0);
    window.findChild<QListWidget *>("listWidget_2")->setCurrentRow(0);
    auto *preview = window.findChild<QLabel *>("lblPrev");
    QTRY_COMPARE(preview->text(), QStringLiteral("Error Extracting Data"));
    QVERIFY(boxes->texts.isEmpty());
}

void TestHostileOutput::megabyteSymbolName()
{
    // Listed in full; its image is written under the name cut short.
    const QByteArray name(1 << 20, 'n');
    fake->setDocument("a.swf", converterDocument("first", {{1, name}, {2, "small"}},
                                                 {{1, 2, 2, swfw::testPattern(2, 2)},
                                                  {2, 2, 2, swfw::testPattern(2, 2)}}));
    {
        MainWindow window;
        choose(window, folder->path());
        QTRY_VERIFY(scanEnded(window));
        window.findChild<QListWidget *>("listWidget")->setCurrentRow(0);
        const QStringList names = rows(window.findChild<QListWidget *>("listWidget_2"));
        QCOMPARE(names.size(), 2);
        QVERIFY(names.contains(QString::fromLatin1(name)));
    }

    QDir::setCurrent(folder->path());
    QTemporaryDir out;
    QPointer<DumpDialog> dialog = new DumpDialog(nullptr, {"a.swf"});
    chooseFolder(dialog, out.path());
    QTRY_VERIFY(dialog.isNull());
    QVERIFY(boxes->texts.isEmpty());
    QCOMPARE(QDir(out.path()).entryList(QDir::Files),
             QStringList({QString(kMaxSafeNameBytes, 'n') + ".png", "small.png"}));
}

QTEST_MAIN(TestHostileOutput)
#include "tst_hostileoutput.moc"
