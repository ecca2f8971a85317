// The folder scan, the container list and browsing, with fake converters
// answering from prepared documents.

#include "tests/support/windowtest.h"

#include <QScopeGuard>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestScan : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void wholeRoadOfOneFolder();
    void folderTakenFromCompleter();
    void upperCaseSuffixCountedNotConverted();
    void linksCountAsWhatTheyPointTo();
    void emptyFolder();
    void sameLabelTwiceAndSameFolderAgain();
    void brokenFilesDoNotEndTheScan();
    void failuresBeyondFiftyAreCounted();
    void startFailureEndsTheScan();
    void undecodableNames();
    void vanishedFolder();
    void unreadableDocumentsAreSkipped();
    void sameScanWithOneOrFourJobs();
    void newFolderStopsTheScan();
    void containersAreDeleted();
    void closingWindowEndsConverters();

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

    // Conversions at once from the next folder choice on.
    void setJobs(int jobs) { window->findChild<ConversionQueue *>()->setJobs(jobs); }
    // Chooses `names` in a new folder with four conversions running, each
    // hanging until killed; `pids` receives their process ids.
    void hangOnFour(const QStringList &names, QList<qint64> &pids)
    {
        for (const QString &name : names)
            fake->setHangingOn(name);
        setJobs(4);
        choose(folderWith(names));
        for (int i = 0; i < 4; ++i) {
            QTRY_VERIFY_WITH_TIMEOUT(fake->hangingPid(names.at(i)) > 0, 10000);
            pids << fake->hangingPid(names.at(i));
        }
    }
    // The failure box at the end of a scan: its informative and detailed text.
    QStringList failureBox()
    {
        if (boxes->texts != QStringList({"swfmill terminated abnormally"}))
            return {};
        return {boxes->informativeTexts.first(), boxes->detailedTexts.first()};
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
    // Conversions run side by side: the order they start in is the system's.
    QStringList converted = fake->converted();
    converted.sort();
    QCOMPARE(converted, QStringList({"a.swf", "c.swf"}));
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

void TestScan::folderTakenFromCompleter()
{
    // Enter on a folder taken from the chooser's completer can make the
    // chooser name two folders: the one it showed and the one taken.
    const QString path = folderWith({"a.swf"});
    fake->setDocument("a.swf", doc("alpha"));
    auto *chooser = window->findChild<QFileDialog *>();
    chooser->hide();
    emit chooser->filesSelected({QFileInfo(path).path(), path});
    QTRY_VERIFY(scanEnded());
    QCOMPARE(rows(), QStringList({"alpha"}));
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

void TestScan::linksCountAsWhatTheyPointTo()
{
    // A link to a file is that file. A link to a pipe is left out, as a pipe
    // is: its conversion would wait for a writer for ever.
    const QString path = folderWith({"a.swf"});
    QTemporaryDir elsewhere;
    const QByteArray pipe = QFile::encodeName(elsewhere.filePath("pipe"));
    QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
    QVERIFY(QFile::link(elsewhere.filePath("pipe"), path + "/pipe.swf"));
    QVERIFY(QFile::link("a.swf", path + "/copy.swf"));
    QVERIFY(QDir(path).mkdir("folder.swf"));
    fake->setDocument("a.swf", doc("alpha"));
    fake->setDocument("copy.swf", doc("copy"));
    const QStringList progress = progressAtConversions([&] {
        choose(path);
        QTRY_VERIFY(scanEnded());
    });
    QCOMPARE(progress, QStringList({"0 of 2 (0.00%)", "1 of 2 (50.00%)"}));
    QCOMPARE(rows(), QStringList({"alpha", "copy"}));
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

void TestScan::brokenFilesDoNotEndTheScan()
{
    // A failed file is named once the scan ends, the files after it listed.
    const QString path = folderWith({"a.swf", "b.swf", "c.swf"});
    fake->setDocument("a.swf", doc("first"));
    fake->setExitCode("b.swf", 2);
    fake->setDocument("c.swf", doc("third"));

    expectedBoxes = QStringList({"swfmill terminated abnormally"});
    DebugLines log;
    choose(path);
    QTRY_VERIFY(scanEnded());
    QCOMPARE(rows(), QStringList({"first", "third"}));
    QCOMPARE(failureBox(),
             QStringList({"1 of 3 files could not be converted.", "b.swf: exit code 2"}));
    QCOMPARE(boxes->titles.first(), QStringLiteral("Error Converting SWF"));
    QCOMPARE(boxes->parents.first(), window);
    QVERIFY(log.lines.contains("swfmill exited with status 2"));
}

void TestScan::failuresBeyondFiftyAreCounted()
{
    QStringList names;
    for (int i = 0; i < 53; ++i) {
        names << QStringLiteral("f%1.swf").arg(i, 2, 10, QLatin1Char('0'));
        fake->setExitCode(names.last(), i + 1);
    }
    names << "ok.swf";
    fake->setDocument("ok.swf", doc("ok"));
    expectedBoxes = QStringList({"swfmill terminated abnormally"});
    choose(folderWith(names));
    QTRY_VERIFY_WITH_TIMEOUT(scanEnded(), 20000);
    QCOMPARE(rows(), QStringList({"ok"}));
    const QStringList box = failureBox();
    QCOMPARE(box.value(0), QStringLiteral("53 of 54 files could not be converted."));
    const QStringList details = box.value(1).split('\n');
    QCOMPARE(details.size(), 51);
    QCOMPARE(details.first(), QStringLiteral("f00.swf: exit code 1"));
    QCOMPARE(details.at(49), QStringLiteral("f49.swf: exit code 50"));
    QCOMPARE(details.last(), QStringLiteral("and 3 more"));
}

void TestScan::startFailureEndsTheScan()
{
    const QString path = folderWith({"a.swf", "b.swf", "c.swf"});
    fake->setUnstartable();
    expectedBoxes = QStringList({"While Converting a.swf:\n\tswfmill failed to start."});
    DebugLines log;
    choose(path);
    QTRY_VERIFY(scanEnded());
    QCOMPARE(boxes->texts, expectedBoxes);
    QCOMPARE(boxes->parents.first(), window);
    QCOMPARE(rows(), QStringList());
    QCOMPARE(log.lines.filter("Converting"), QStringList({"Converting \"a.swf\""}));

    // The window recovers: the next folder scans normally.
    fake->serveDocuments();
    fake->setDocument("c.swf", doc("third"));
    choose(folderWith({"c.swf"}));
    QTRY_VERIFY(scanEnded());
    QCOMPARE(rows(), QStringList({"third"}));
}

void TestScan::undecodableNames()
{
    // Names that aren't UTF-8 can't be converted; those ending in ".swf"
    // count among the failures, readable in the box.
    const QString path = folderWith({"a.swf"});
    const QByteArray folder = QFile::encodeName(path) + '/';
    const QByteArrayList names = {"b\xC3\xA9\xFF.swf", "c\xFF.txt", ".\xFF.swf"};
    // The temporary folder can't remove names it can't decode.
    const auto removeNames = qScopeGuard([&] {
        for (const QByteArray &name : names)
            ::unlink(folder + name);
    });
    for (const QByteArray &name : names) {
        const int fd = ::open(folder + name, O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    fake->setDocument("a.swf", doc("first"));
    expectedBoxes = QStringList({"swfmill terminated abnormally"});
    choose(path);
    QTRY_VERIFY(scanEnded());
    QCOMPARE(rows(), QStringList({"first"}));
    QCOMPARE(failureBox(), QStringList({"1 of 2 files could not be converted.",
                                        "b\u00e9\\xFF.swf: file name is not valid UTF-8"}));
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

    // A folder that can't be read (permissions stop a user other than root)
    // is not taken for an empty one.
    if (::geteuid() != 0) {
        const QString locked = folderWith({"b.swf"});
        QFile::setPermissions(locked, QFile::Permissions());
        choose(locked);
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(scanEnded());
        QCOMPARE(containerList()->count(), 0);
        QCOMPARE(boxes->texts, QStringList({"The folder " + QDir::toNativeSeparators(locked) +
                                            " can't be read: Permission denied."}));
        expectedBoxes = boxes->texts;
    }
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

void TestScan::sameScanWithOneOrFourJobs()
{
    // Whatever order the conversions end in, each file's turn comes in the
    // listing's order: the same lines, progress, rows and box.
    const QStringList names = {"1.swf", "2.swf", "3.swf", "4.swf", "5.txt",
                               "6.swf", "7.swf", "8.swf", "9.swf"};
    const QString path = folderWith(names);
    for (int i = 0; i < names.size(); ++i) {
        fake->setDocument(names.at(i), doc("label" + QByteArray::number(i)));
        // Earlier files take longer.
        if (i < 4)
            fake->setDelay(names.at(i), 0.1 * (4 - i));
    }
    fake->setDocument("6.swf", doc("label0")); // already loaded
    fake->setDocument("7.swf", "<swf>");       // not well-formed
    fake->setExitCode("8.swf", 3);

    auto scan = [&](int jobs) {
        setJobs(jobs);
        DebugLines log;
        const QStringList progress = progressAtConversions([&] {
            choose(path);
            QTRY_VERIFY_WITH_TIMEOUT(scanEnded(), 20000);
        });
        return QList<QStringList>{log.lines, progress, rows()};
    };
    expectedBoxes = QStringList(2, "swfmill terminated abnormally");
    const QList<QStringList> one = scan(1);
    QCOMPARE(fake->delayed(), names.mid(0, 4));
    const QList<QStringList> four = scan(4);
    // With four at once, later files were answered first.
    QVERIFY(fake->delayed().mid(4) != names.mid(0, 4));
    QCOMPARE(four.at(0), one.at(0));
    QCOMPARE(four.at(1), one.at(1));
    QCOMPARE(four.at(2), one.at(2));
    QCOMPARE(boxes->detailedTexts, QStringList(2, "8.swf: exit code 3"));
    QCOMPARE(one.at(1).first(), QStringLiteral("0 of 9 (0.00%)"));
    QCOMPARE(one.at(2), QStringList({"label0", "label1", "label2", "label3", "label8"}));
}

void TestScan::newFolderStopsTheScan()
{
    // Four conversions hang; a new folder kills them and nothing of the old
    // scan reaches the window afterwards.
    QList<qint64> pids;
    hangOnFour({"a.swf", "b.swf", "c.swf", "d.swf", "e.swf"}, pids);
    QCOMPARE(pids.size(), 4);
    const QString other = folderWith({"x.swf"});
    fake->setDocument("x.swf", doc("x"));
    DebugLines log;
    choose(other);
    for (const qint64 pid : pids)
        QVERIFY(!FakeConverter::processAlive(pid));
    QTRY_VERIFY(scanEnded());
    QCOMPARE(rows(), QStringList({"x"}));
    QCOMPARE(QDir::currentPath(), QDir(other).canonicalPath());
    QCOMPARE(log.lines.filter("Converting"), QStringList({"Converting \"x.swf\""}));
    QCOMPARE(log.lines.filter("exited"), QStringList({"swfmill exited with status 0"}));
    QVERIFY(!fake->converted().contains("e.swf"));
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

void TestScan::closingWindowEndsConverters()
{
    QList<qint64> pids;
    hangOnFour({"a.swf", "b.swf", "c.swf", "d.swf"}, pids);
    QCOMPARE(pids.size(), 4);
    DebugLines log;
    delete window;
    window = nullptr;
    for (const qint64 pid : pids)
        QVERIFY(!FakeConverter::processAlive(pid));
    QCoreApplication::processEvents();
    QVERIFY(!log.lines.join('\n').contains("exited"));
}

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
