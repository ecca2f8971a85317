// Browsing containers and resources, and the preview's outcomes.

#include "tests/support/windowtest.h"

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestBrowse : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void selectingContainersAndResources();
    void previewOutcomes_data();
    void previewOutcomes();
    void quickSelectionsShowOnlyTheLast();
    void progressRowSelection();
    void newFolderClearsListsNotLabels();
    void destroyedContainerEndsItsPreview();
    void dumpButtonWithoutContainerDoesNothing();
    void dumpAllResourcesFollowsTheScan();
    void dumpToFile();

private:
    QPushButton *dumpButton() { return button("cmdDumpContainer"); }
    QPushButton *dumpAllButton() { return button("pushButton_7"); }
    QPushButton *dumpFileButton() { return button("pushButton_4"); }
    // Scans a folder holding `files`; the scan goes on in the background.
    void scan(const QStringList &files) { choose(folderWith(files)); }
    void selectContainer(const QString &text) { QVERIFY(select("listWidget", text)); }
    void selectResource(const QString &text) { QVERIFY(select("listWidget_2", text)); }
};

// A file "icons" with three bitmaps, one whose data is corrupt.
static QByteArray iconsDocument()
{
    QByteArray xml = converterDocument(
        "icons", {{1, "wide"}, {2, "small"}, {3, "broken"}},
        {{1, 1234, 1, swfw::testPattern(1234, 1)}, {2, 3, 2, swfw::testPattern(3, 2)}});
    xml.replace("</tags>", "<DefineBitsLossless2 objectID=\"3\" format=\"5\" width=\"2\" "
                           "height=\"2\"><data><data>bm90IHpsaWI=</data></data>"
                           "</DefineBitsLossless2></tags>");
    return xml;
}

void TestBrowse::init()
{
    setUpWindow();
    fake->setDocument("icons.swf", iconsDocument());
    fake->setDocument("empty.swf", converterDocument("empty", {{1, "x"}}, {}, 1));
}

void TestBrowse::cleanup()
{
    const QStringList shown = boxes->texts;
    tearDownWindow();
    QVERIFY(shown.isEmpty());
}

void TestBrowse::selectingContainersAndResources()
{
    scan({"empty.swf", "icons.swf"});
    QTRY_VERIFY(scanEnded());
    QCOMPARE(texts("listWidget"), QStringList({"empty", "icons"}));

    // A container without resources still counts as selected.
    selectContainer("empty");
    QCOMPARE(label("lblContainerName")->text(), QStringLiteral("empty"));
    QVERIFY(dumpButton()->isEnabled());
    QCOMPARE(list("listWidget_2")->count(), 0);

    selectContainer("icons");
    QCOMPARE(label("lblContainerName")->text(), QStringLiteral("icons"));
    // In the file's order, whatever the run.
    const QStringList order = texts("listWidget_2");
    QCOMPARE(order, QStringList({"wide", "small", "broken"}));

    selectResource("wide");
    QCOMPARE(label("lblName")->text(), QStringLiteral("wide"));
    QCOMPARE(label("lblType")->text(), QStringLiteral("BitmapImage"));
    QCOMPARE(label("lblSize")->text(), QStringLiteral("Unknown"));
    QCOMPARE(label("lblWidth")->text(), QStringLiteral("1234"));
    QCOMPARE(label("lblHeight")->text(), QStringLiteral("1"));
    QTRY_VERIFY(!label("lblPrev")->pixmap().isNull());
    QCOMPARE(label("lblPrev")->pixmap().size(), QSize(1234, 1));
    // Wider than the screen, it scrolls; the window stays on the screen.
    auto *area = window->findChild<QScrollArea *>("previewArea");
    QVERIFY(area);
    QTRY_VERIFY(area->horizontalScrollBar()->maximum() > 0);
    QVERIFY(window->frameGeometry().width() <= window->screen()->availableGeometry().width());

    // Another container: new list, empty preview, resource labels kept; the
    // container left lets its bitmap go.
    selectContainer("empty");
    QCOMPARE(list("listWidget_2")->count(), 0);
    QVERIFY(label("lblPrev")->pixmap().isNull());
    QVERIFY(containerAt(1)->image.isNull() && containerAt(1)->pixmap.isNull());
    QCOMPARE(label("lblName")->text(), QStringLiteral("wide"));
    QCOMPARE(label("lblWidth")->text(), QStringLiteral("1234"));

    // Back again: new items for the same resources, in the same order.
    selectContainer("icons");
    QCOMPARE(texts("listWidget_2"), order);
}

void TestBrowse::previewOutcomes_data()
{
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QString>("change"); // what happens to the converter after the scan
    QTest::addColumn<QString>("text");
    QTest::addColumn<QSize>("image");
    QTest::newRow("image") << "small"
                           << ""
                           << "" << QSize(3, 2);
    QTest::newRow("corrupt data") << "broken"
                                  << ""
                                  << "Error Extracting Data" << QSize();
    QTest::newRow("no such bitmap any more") << "small"
                                             << "other"
                                             << "Error Extracting Data" << QSize();
    QTest::newRow("exit code") << "small"
                               << "exit"
                               << "swfmill failed: 2" << QSize();
    QTest::newRow("start failure") << "small"
                                   << "unstartable"
                                   << "Error Loading Sprite" << QSize();
}

void TestBrowse::previewOutcomes()
{
    QFETCH(QString, resource);
    QFETCH(QString, change);
    QFETCH(QString, text);
    QFETCH(QSize, image);

    scan({"icons.swf"});
    QTRY_VERIFY(scanEnded());
    if (change == "exit")
        fake->setExitCode("icons.swf", 2);
    else if (change == "unstartable")
        fake->setUnstartable();
    else if (change == "other")
        fake->setDocument("icons.swf", converterDocument("icons", {{9, "nine"}}));

    DebugLines log;
    selectContainer("icons");
    selectResource(resource);
    QCOMPARE(label("lblPrev")->text(), QString());
    if (image.isValid()) {
        QTRY_VERIFY(!label("lblPrev")->pixmap().isNull());
        QCOMPARE(label("lblPrev")->pixmap().size(), image);
        QCOMPARE(label("lblPrev")->text(), QString());
    } else {
        QTRY_COMPARE(label("lblPrev")->text(), text);
        QVERIFY(label("lblPrev")->pixmap().isNull());
    }
    QCOMPARE(log.lines.contains("swfmill Error"), change == "unstartable");
    // The details show the resource whatever the preview's outcome.
    QCOMPARE(label("lblName")->text(), resource);
    QCOMPARE(label("lblType")->text(), QStringLiteral("BitmapImage"));
}

void TestBrowse::quickSelectionsShowOnlyTheLast()
{
    scan({"icons.swf"});
    QTRY_VERIFY(scanEnded());
    selectContainer("icons");
    // "broken" would end in "Error Extracting Data"; it is abandoned at once.
    selectResource("broken");
    selectResource("small");
    QTRY_VERIFY(!label("lblPrev")->pixmap().isNull());
    QCOMPARE(label("lblPrev")->pixmap().size(), QSize(3, 2));
    // Give any stray report from the first run the chance to arrive.
    QVERIFY(containerAt(0)->process == nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(label("lblPrev")->text(), QString());
    QVERIFY(!label("lblPrev")->pixmap().isNull());
}

void TestBrowse::progressRowSelection()
{
    fake->setHangingOn("z.swf");
    scan({"icons.swf", "z.swf"});
    QTRY_VERIFY(fake->hangingPid("z.swf") > 0);
    QTRY_COMPARE(texts("listWidget"), QStringList({"1 of 2 (50.00%)", "icons"}));

    selectContainer("icons");
    QVERIFY(list("listWidget_2")->count() > 0);
    list("listWidget")->setCurrentRow(0);
    QCOMPARE(label("lblContainerName")->text(), QStringLiteral("No Container Selected"));
    QCOMPARE(list("listWidget_2")->count(), 0);
    QVERIFY(!dumpButton()->isEnabled());

    // With the progress row current, "Dump to Folder" does nothing.
    QSignalSpy dumps(window, &MainWindow::dumpRequested);
    list("listWidget")->setCurrentRow(0);
    window->dumpCurrentSWF();
    QCOMPARE(dumps.size(), 0);

    // "Dump to Folder" works during the scan for a container row: it asks
    // for the dump of that container's file alone.
    selectContainer("icons");
    QVERIFY(dumpButton()->isEnabled());
    QTest::mouseClick(dumpButton(), Qt::LeftButton);
    QCOMPARE(dumps.size(), 1);
    QCOMPARE(dumps.at(0).at(0).toStringList(), QStringList({"icons.swf"}));
}

void TestBrowse::newFolderClearsListsNotLabels()
{
    scan({"icons.swf"});
    QTRY_VERIFY(scanEnded());
    selectContainer("icons");
    selectResource("small");
    QTRY_VERIFY(!label("lblPrev")->pixmap().isNull());

    scan({"empty.swf"});
    QTRY_VERIFY(scanEnded());
    QCOMPARE(texts("listWidget"), QStringList({"empty"}));
    QCOMPARE(list("listWidget_2")->count(), 0);
    QVERIFY(label("lblPrev")->pixmap().isNull());
    QCOMPARE(label("lblPrev")->text(), QString());
    QCOMPARE(label("lblContainerName")->text(), QStringLiteral("icons"));
    QCOMPARE(label("lblName")->text(), QStringLiteral("small"));
    QCOMPARE(label("lblWidth")->text(), QStringLiteral("3"));
    // The button stays enabled with no current row, and then does nothing.
    QVERIFY(dumpButton()->isEnabled());
}

void TestBrowse::destroyedContainerEndsItsPreview()
{
    scan({"icons.swf"});
    QTRY_VERIFY(scanEnded());
    fake->setHangingOn("icons.swf");
    QLabel target;
    auto *container = new SWFContainer(QStringLiteral("icons"));
    container->path = QStringLiteral("icons.swf");
    container->loadImage(2, &target);
    QTRY_VERIFY(fake->hangingPid("icons.swf") > 0);
    const qint64 pid = fake->hangingPid("icons.swf");
    QVERIFY(FakeConverter::processAlive(pid));

    delete container->item; // never listed
    delete container;
    QVERIFY(!FakeConverter::processAlive(pid));
    QCoreApplication::processEvents();
    QCOMPARE(target.text(), QString());
    QVERIFY(target.pixmap().isNull());
}

void TestBrowse::dumpButtonWithoutContainerDoesNothing()
{
    scan({"icons.swf"});
    QTRY_VERIFY(scanEnded());
    selectContainer("icons");
    scan({"empty.swf"}); // clears the lists: no current row, button still enabled
    QTRY_VERIFY(scanEnded());
    QVERIFY(dumpButton()->isEnabled());
    const int dialogs = window->findChildren<QDialog *>().size();
    QTest::mouseClick(dumpButton(), Qt::LeftButton);
    QCOMPARE(window->findChildren<QDialog *>().size(), dialogs);
}

void TestBrowse::dumpAllResourcesFollowsTheScan()
{
    QVERIFY(!dumpAllButton()->isEnabled());
    // Disabled from the folder's choice to the end of its scan.
    QList<bool> duringScan;
    {
        DebugLines log([&](const QString &line) {
            if (line.startsWith("Entering") || line.startsWith("Converting"))
                duringScan << dumpAllButton()->isEnabled();
        });
        scan({"icons.swf", "empty.swf"});
        QTRY_VERIFY(scanEnded());
    }
    QCOMPARE(duringScan, QList<bool>({false, false, false}));
    QVERIFY(dumpAllButton()->isEnabled());

    // Every listed file, in list order, one folder per label.
    QSignalSpy dumps(window, &MainWindow::dumpRequested);
    QTest::mouseClick(dumpAllButton(), Qt::LeftButton);
    QCOMPARE(dumps.size(), 1);
    QStringList inListOrder;
    for (const QString &row : texts("listWidget"))
        inListOrder << row + ".swf";
    QCOMPARE(dumps.at(0).at(0).toStringList(), inListOrder);
    QCOMPARE(dumps.at(0).at(1).value<DumpLayout>(), DumpLayout::FolderPerLabel);

    // A folder that lists nothing leaves it disabled.
    scan({"notes.txt"});
    QTRY_VERIFY(scanEnded());
    QVERIFY(!dumpAllButton()->isEnabled());
}

void TestBrowse::dumpToFile()
{
    // A white pixel at half opacity, stored premultiplied, and opaque red.
    fake->setDocument("glass.swf", converterDocument("glass", {{1, "ui/glass"}},
                                                     {{1, 2, 1,
                                                       QByteArray("\x80\x80\x80\x80"
                                                                  "\xff\xff\x00\x00",
                                                                  8)}}));
    scan({"icons.swf", "glass.swf"});
    QTRY_VERIFY(scanEnded());
    QVERIFY(!dumpFileButton()->isEnabled());
    selectContainer("glass");
    selectResource("ui/glass");
    QTRY_VERIFY(dumpFileButton()->isEnabled());

    // The save dialog offers the name made safe; the file holds true colours.
    QTemporaryDir out;
    const auto saveDialog = [&] {
        QTest::mouseClick(dumpFileButton(), Qt::LeftButton);
        for (auto *dialog : window->findChildren<QFileDialog *>())
            if (dialog->acceptMode() == QFileDialog::AcceptSave && dialog->isVisible())
                return dialog;
        return static_cast<QFileDialog *>(nullptr);
    };
    const auto answer = [](QFileDialog *dialog, const QString &path) {
        dialog->hide();
        emit dialog->fileSelected(path);
    };
    QFileDialog *save = saveDialog();
    QVERIFY(save);
    QVERIFY(save->selectedFiles().value(0).endsWith("/ui_glass.png"));
    QVERIFY(save->nameFilters().value(0).contains("*.png"));
    answer(save, out.filePath("saved.png"));
    const QImage saved(out.filePath("saved.png"));
    QCOMPARE(saved.pixelColor(0, 0), QColor(255, 255, 255, 128));
    QCOMPARE(saved.pixelColor(1, 0), QColor(255, 0, 0, 255));

    // Again: in the folder last used; cancelled, nothing is written.
    save = saveDialog();
    QCOMPARE(save->directory().absolutePath(), QDir(out.path()).absolutePath());
    save->reject();
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList({"saved.png"}));

    // A place that can't be written: a warning naming the file, no file.
    const QString blocked = out.filePath("missing/x.png");
    answer(saveDialog(), blocked);
    QTRY_COMPARE(boxes->texts.size(), 1);
    QVERIFY(boxes->texts.first().startsWith(QDir::toNativeSeparators(blocked) +
                                            " could not be written"));
    QCOMPARE(boxes->parents.first(), window);
    boxes->texts.clear();
    QVERIFY(!QFile::exists(blocked));

    // Disabled with no resource, after a failed preview, after a new folder.
    selectContainer("icons");
    QVERIFY(!dumpFileButton()->isEnabled());
    selectResource("small");
    QTRY_VERIFY(dumpFileButton()->isEnabled());
    selectResource("broken");
    QTRY_COMPARE(label("lblPrev")->text(), QStringLiteral("Error Extracting Data"));
    QVERIFY(!dumpFileButton()->isEnabled());
    selectResource("small");
    QTRY_VERIFY(dumpFileButton()->isEnabled());
    scan({"empty.swf"});
    QVERIFY(!dumpFileButton()->isEnabled());
}

QTEST_MAIN(TestBrowse)
#include "tst_browse.moc"
