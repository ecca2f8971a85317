// The folder scan, the container list and browsing, with fake converters
// answering from prepared documents.

#include "tests/support/windowtest.h"

#include <QTest>

class TestScan : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void wholeRoadOfOneFolder();
    void upperCaseSuffixCountedNotConverted();
    void emptyFolder();
    void sameLabelTwiceAndSameFolderAgain();
    void failureEndsTheScan_data();
    void failureEndsTheScan();
    void vanishedFolder();
    void unreadableDocumentsAreSkipped();
    void choiceWhileBusyIsIgnored();
    void containersAreDeleted();
    void closingWindowEndsConverter();

private:
    QStringList rows() { return texts("listWidget"); }
    QListWidget *containerList() { return list("listWidget"); }
    // Progress row texts at each conversion start, for the duration of `run`.
    template <typename Run> QStringList progressAtConversions(Run run)
    {
        QStringList seen;
        DebugLines log([&](const QString &line) {
            if (line.startsWith("Converting"))
                seen << containerList()->item(0)->text();
        });
        run();
        return seen;
    }

    // A test that expects boxes lists their texts here.
    QStringList expectedBoxes;
};

static QByteArray doc(const QByteArray &label)
{
    return converterDocument(label, {{1, "pic"}}, {{1, 2, 2, swfw::testPattern(2, 2)}});
}

void TestScan::init()
{
    expectedBoxes.clear();
    setUpWindow();
}

void TestScan::cleanup()
{
    const QStringList shown = boxes->texts;
    tearDownWindow();
    QCOMPARE(shown, expectedBoxes);
}

void TestScan::wholeRoadOfOneFolder()
{
    const QString path = folderWith({"a.swf", "b.txt", "c.swf"});
    fake->setDocument("a.swf", doc("alpha"));
    fake->setDocument("c.swf", doc("gamma"));

    DebugLines log;
    const QStringList progress = progressAtConversions([&] {
        choose(path);
        QTRY_VERIFY(scanEnded());
    });
    QCOMPARE(progress, QStringList({"0 of 3 (0.00%)", "2 of 3 (66.67%)"}));
    QCOMPARE(rows(), QStringList({"alpha", "gamma"}));
    QCOMPARE(fake->converted(), QStringList({"a.swf", "c.swf"}));
    QCOMPARE(QDir::currentPath(), QDir(path).canonicalPath());
    QCOMPARE(log.lines.first(), "Entering \"" + path + "\"");
    QVERIFY(log.lines.contains("Converting \"a.swf\""));
    QVERIFY(log.lines.contains("swfmill exited with status 0"));
    QCOMPARE(log.lines.last(), QStringLiteral("Leaving"));

    // Rows carry their containers; the container knows its file.
    const SWFContainer *container = containerAt(1);
    QCOMPARE(container->frameLabel, QStringLiteral("gamma"));
    QCOMPARE(container->path, QStringLiteral("c.swf"));
    QCOMPARE(container->resources.size(), 1);
    QCOMPARE(container->resources.value("pic")->objectID, 1);
}

void TestScan::upperCaseSuffixCountedNotConverted()
{
    const QString path = folderWith({"A.SWF", "b.Swf", "c.swf"});
    fake->setDocument("c.swf", doc("only"));
    const QStringList progress = progressAtConversions([&] {
        choose(path);
        QTRY_VERIFY(scanEnded());
    });
    QCOMPARE(fake->converted(), QStringList({"c.swf"}));
    QCOMPARE(progress, QStringList({"2 of 3 (66.67%)"}));
    QCOMPARE(rows(), QStringList({"only"}));
}

void TestScan::emptyFolder()
{
    // Nothing to convert: the progress row comes and goes within the choice.
    for (const QStringList &names : {QStringList(), QStringList({"notes.txt", "x.swf.bak"})}) {
        DebugLines log;
        choose(folderWith(names));
        QVERIFY(scanEnded());
        QCOMPARE(containerList()->count(), 0);
        QCOMPARE(log.lines.size(), 2);
        QCOMPARE(log.lines.last(), QStringLiteral("Leaving"));
    }
    QVERIFY(fake->converted().isEmpty());
}

void TestScan::sameLabelTwiceAndSameFolderAgain()
{
    const QString path = folderWith({"a.swf", "b.swf"});
    fake->setDocument("a.swf", doc("same"));
    fake->setDocument("b.swf", doc("same"));
    {
        DebugLines log;
        choose(path);
        QTRY_VERIFY(scanEnded());
        QCOMPARE(log.lines.count("Already Loaded"), 1);
    }
    QCOMPARE(rows(), QStringList({"same"}));
    QCOMPARE(containerAt(0)->path, QStringLiteral("a.swf"));

    // The same folder again starts afresh: nothing counts as loaded.
    DebugLines log;
    choose(path);
    QTRY_VERIFY(scanEnded());
    QCOMPARE(log.lines.count("Already Loaded"), 1);
    QCOMPARE(rows(), QStringList({"same"}));
    QCOMPARE(fake->converted().size(), 4);
}

void TestScan::failureEndsTheScan_data()
{
    QTest::addColumn<bool>("unstartable");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("exit code on the second file")
        << false << QStringList({"swfmill terminated abnormally"}) << QStringList({"first"});
    QTest::newRow("converter can't start")
        << true << QStringList({"While Converting a.swf:\n\tswfmill failed to start."})
        << QStringList();
}

void TestScan::failureEndsTheScan()
{
    QFETCH(bool, unstartable);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, listed);

    const QString path = folderWith({"a.swf", "b.swf", "c.swf"});
    fake->setDocument("a.swf", doc("first"));
    fake->setExitCode("b.swf", 2);
    fake->setDocument("c.swf", doc("third"));
    if (unstartable)
        fake->setUnstartable();

    expectedBoxes = boxes;
    choose(path);
    QTRY_VERIFY(scanEnded());
    QCOMPARE(this->boxes->texts, boxes);
    QCOMPARE(this->boxes->titles.first(), QStringLiteral("Error Converting SWF"));
    QCOMPARE(this->boxes->parents.first(), window);
    // No later file is converted; the rows already listed stay and the
    // window is ready for another folder.
    QCOMPARE(rows(), listed);
    if (!unstartable)
        QCOMPARE(fake->converted(), QStringList({"a.swf", "b.swf"}));

    // The window recovers: the next folder scans normally.
    fake->serveDocuments();
    fake->setExitCode("b.swf", 0);
    const QString other = folderWith({"c.swf"});
    choose(other);
    QTRY_VERIFY(scanEnded());
    QCOMPARE(rows(), QStringList({"third"}));
}

void TestScan::vanishedFolder()
{
    fake->setDocument("a.swf", doc("a"));
    choose(folderWith({"a.swf"}));
    QTRY_VERIFY(scanEnded());
    QString gone;
    {
        QTemporaryDir dir;
        gone = dir.path();
    }
    DebugLines log;
    choose(gone);
    QVERIFY(scanEnded());
    QCOMPARE(containerList()->count(), 0);
    QCOMPARE(log.lines, QStringList({"Entering \"" + gone + "\"", "Leaving"}));
}

void TestScan::unreadableDocumentsAreSkipped()
{
    const QString path = folderWith({"1.swf", "2.swf", "3.swf", "4.swf", "5.swf"});
    fake->setDocument("1.swf", "<swf><Header><tags>"); // not well-formed
    fake->setDocument("2.swf", converterDocument("nosymbols", {}));
    fake->setDocument("3.swf", converterDocument(QByteArray(""), {{1, "pic"}}, {}, 1));
    fake->setDocument("4.swf", converterDocument("binary", {{1, "pic"}}, {}, 2));
    fake->setDocument("5.swf", converterDocument("noresources", {{1, "pic"}}));
    DebugLines log;
    choose(path);
    QTRY_VERIFY(scanEnded());
    // Only the file with binary data is listed, with no resources.
    QCOMPARE(rows(), QStringList({"binary"}));
    QCOMPARE(fake->converted().size(), 5);
    for (const char *line :
         {"Parser Error Occured", "No Symbols Found", "FrameLabel Empty", "No Resources In SWF"})
        QVERIFY2(log.lines.contains(QLatin1String(line)), line);
}

void TestScan::choiceWhileBusyIsIgnored()
{
    fake->setHanging();
    const QString path = folderWith({"a.swf"});
    choose(path);
    QTRY_VERIFY(fake->pid() > 0);
    DebugLines log;
    choose(folderWith({"b.swf"}));
    QVERIFY(log.lines.isEmpty());
    QCOMPARE(QDir::currentPath(), QDir(path).canonicalPath());
    QVERIFY(!scanEnded());
}

void TestScan::containersAreDeleted()
{
    const QString path = folderWith({"a.swf", "b.swf"});
    fake->setDocument("a.swf", doc("one"));
    fake->setDocument("b.swf", doc("two"));
    choose(path);
    QTRY_VERIFY(scanEnded());

    int destroyed = 0;
    auto watch = [&] {
        for (int i = 0; i < containerList()->count(); ++i)
            connect(containerAt(i), &QObject::destroyed, [&] { ++destroyed; });
    };
    watch();
    QCOMPARE(destroyed, 0);
    // A new folder choice drops (and deletes) the previous containers.
    choose(path);
    QTRY_VERIFY(scanEnded());
    QCOMPARE(destroyed, 2);
    // So does closing the window.
    watch();
    delete window;
    window = nullptr;
    QCOMPARE(destroyed, 4);
}

void TestScan::closingWindowEndsConverter()
{
    fake->setHanging();
    choose(folderWith({"a.swf"}));
    QTRY_VERIFY(fake->pid() > 0);
    const qint64 pid = fake->pid();
    QVERIFY(FakeConverter::processAlive(pid));
    DebugLines log;
    delete window;
    window = nullptr;
    QVERIFY(!FakeConverter::processAlive(pid));
    QCoreApplication::processEvents();
    QVERIFY(!log.lines.join('\n').contains("exited"));
}

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
