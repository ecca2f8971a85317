// What assistive technology and keyboard users get: names for the widgets
// without text of their own, untouched visible texts, and the focus order.

#include "dump/dumpdialog.h"
#include "mainwindow/mainwindow.h"
#include "tests/support/fakeconverter.h"
#include "tests/support/guitest.h"

#include <QAccessible>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void namesAndDescriptions();
    void keyboardFocusOrder();
    void dumpDialogByKeyboard();
};

static QString accessibleName(QWidget *w)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

void TestAccessibility::namesAndDescriptions()
{
    FakeConverter fake;
    fake.serveDocuments();
    fake.setDocument(
        "a.swf", converterDocument("Icons", {{1, "star"}}, {{1, 2, 2, swfw::testPattern(2, 2)}}));
    QTemporaryDir folder;
    swfw::save(folder.filePath("a.swf"), "x");
    const QString startDir = QDir::currentPath();

    MainWindow window;
    auto *containers = window.findChild<QListWidget *>("listWidget");
    auto *resources = window.findChild<QListWidget *>("listWidget_2");
    QCOMPARE(accessibleName(containers), QStringLiteral("SWF files"));
    QCOMPARE(accessibleName(resources), QStringLiteral("Bitmaps"));

    // Labels and buttons are read by their visible text; no name hides it.
    for (QLabel *label : window.findChildren<QLabel *>())
        QVERIFY2(label->accessibleName().isEmpty(), qPrintable(label->objectName()));
    for (QPushButton *button : window.findChildren<QPushButton *>()) {
        if (button->window() != &window)
            continue;
        QVERIFY2(button->accessibleName().isEmpty(), qPrintable(button->objectName()));
        QCOMPARE(accessibleName(button), button->text().remove('&'));
    }

    chooseFolder(&window, folder.path());
    QTRY_VERIFY(window.findChild<QPushButton *>("cmdSetDir")->isEnabled());
    containers->setCurrentRow(0);
    resources->setCurrentRow(0);
    auto *preview = window.findChild<QLabel *>("lblPrev");
    QCOMPARE(preview->accessibleDescription(), QStringLiteral("Preview of star"));
    QTRY_VERIFY(!preview->pixmap().isNull());
    // Leaving the container empties the preview and its description.
    containers->setCurrentRow(-1);
    containers->setCurrentRow(0);
    QVERIFY(preview->accessibleDescription().isEmpty());

    QPointer<DumpDialog> dialog = new DumpDialog(&window, {"a.swf"});
    QCOMPARE(accessibleName(dialog->findChild<QProgressBar *>("progressBar")),
             QStringLiteral("SWF files dumped"));
    QCOMPARE(accessibleName(dialog->findChild<QProgressBar *>("progressBar_2")),
             QStringLiteral("Bitmaps written"));
    delete dialog;
    QDir::setCurrent(startDir);
}

void TestAccessibility::keyboardFocusOrder()
{
    MainWindow window;
    // The chooser's activation is still on its way: hidden first, it would
    // come after the window's and take the focus into the hidden chooser.
    QVERIFY(QTest::qWaitForWindowActive(window.findChild<QFileDialog *>()));
    window.findChild<QFileDialog *>()->reject();
    // Every button enabled, as far as keyboard reach is concerned.
    for (QPushButton *button : window.findChildren<QPushButton *>())
        button->setEnabled(true);
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    const QStringList order = {"listWidget",   "listWidget_2",   "cmdSetDir",
                               "pushButton_7", "cmdAddResource", "cmdDumpContainer",
                               "cmdRecompile", "pushButton_6",   "pushButton_4"};
    window.findChild<QWidget *>(order.first())->setFocus(Qt::OtherFocusReason);
    QStringList reached;
    for (int i = 0; i < order.size(); ++i) {
        reached << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(reached, order);
    // The cycle closes: Tab from the last control returns to the first.
    QCOMPARE(QApplication::focusWidget()->objectName(), order.first());
}

void TestAccessibility::dumpDialogByKeyboard()
{
    // Escape aborts the dump once its folder chooser is answered.
    FakeConverter fake;
    fake.serveDocuments();
    fake.setHangingOn("a.swf");
    QTemporaryDir folder;
    const QString startDir = QDir::currentPath();
    QDir::setCurrent(folder.path());
    QPointer<DumpDialog> dialog = new DumpDialog(nullptr, {"a.swf"});
    // Whatever fails, the dialog goes, and with it the converter it runs.
    const auto cleanup = qScopeGuard([&] {
        delete dialog;
        QDir::setCurrent(startDir);
    });
    QVERIFY(QTest::qWaitForWindowActive(dialog->findChild<QFileDialog *>()));
    chooseFolder(dialog, folder.path());
    QTRY_VERIFY(fake.hangingPid("a.swf") > 0);

    QApplication::setActiveWindow(dialog);
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    auto *abort = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Abort);
    QCOMPARE(QApplication::focusWidget(), abort);
    QTest::keyClick(dialog, Qt::Key_Escape);
    QTRY_VERIFY(dialog.isNull());
    QVERIFY(!FakeConverter::processAlive(fake.hangingPid("a.swf")));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
