// The main window's form, its start-up and its dead controls.

#include "mainwindow/mainwindow.h"

#include <QAction>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowAndMenu();
    void widgetTree();
    void textsAndEnabledStates();
    void fontsAndSizes();
    void startupFolderDialog();
    void deadControlsDoNothing();
    void changeDirectoryReopensSameDialog();

private:
    template <typename T> T *child(const char *name)
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }
    MainWindow *window = nullptr;
};

void TestMainWindow::init()
{
    window = new MainWindow;
}

void TestMainWindow::cleanup()
{
    delete window;
    window = nullptr;
}

void TestMainWindow::windowAndMenu()
{
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window->size(), QSize(720, 593));
    QCOMPARE(window->windowTitle(), QStringLiteral("Vantorwick SWF Resource Editor"));
    QVERIFY(window->isVisible());
    QVERIFY(!window->findChild<QStatusBar *>());

    QMenuBar *bar = window->menuBar();
    QCOMPARE(bar->objectName(), QStringLiteral("menuBar"));
    QCOMPARE(bar->actions().size(), 1);
    auto *menu = child<QMenu>("menuResource_Editor");
    QCOMPARE(bar->actions().at(0), menu->menuAction());
    QCOMPARE(menu->title(), QStringLiteral("Resource Editor"));

    const QList<QAction *> entries = menu->actions();
    QCOMPARE(entries.size(), 3);
    const char *names[] = {"actionChange_Directory", "actionVisit_Website", "actionExit"};
    const char *texts[] = {"Change Directory", "Visit Website", "Exit"};
    const bool enabled[] = {false, false, true};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(entries.at(i)->objectName(), QString::fromLatin1(names[i]));
        QCOMPARE(entries.at(i)->text(), QString::fromLatin1(texts[i]));
        QCOMPARE(entries.at(i)->isEnabled(), enabled[i]);
        QCOMPARE(entries.at(i)->parent(), window);
    }
}

void TestMainWindow::widgetTree()
{
    // Parents as the form builds them, and creation order through the
    // default focus chain.
    auto *central = child<QWidget>("centralWidget");
    QCOMPARE(window->centralWidget(), central);
    auto *splitter = child<QSplitter>("splitter");
    QCOMPARE(splitter->parent(), central);
    QCOMPARE(splitter->orientation(), Qt::Vertical);
    QCOMPARE(splitter->count(), 2);
    QCOMPARE(splitter->widget(0), child<QListWidget>("listWidget"));
    QCOMPARE(splitter->widget(1), child<QListWidget>("listWidget_2"));
    QCOMPARE(child<QPushButton>("cmdSetDir")->parent(), central);
    QCOMPARE(child<QPushButton>("pushButton_7")->parent(), central);

    auto *frame = child<QFrame>("frame");
    QCOMPARE(frame->frameShape(), QFrame::Box);
    QCOMPARE(frame->frameShadow(), QFrame::Raised);
    for (const char *name : {"frame_2", "frame_3"}) {
        auto *f = child<QFrame>(name);
        QCOMPARE(f->parent(), frame);
        QCOMPARE(f->frameShape(), QFrame::StyledPanel);
        QCOMPARE(f->frameShadow(), QFrame::Raised);
    }
    for (const char *name :
         {"label", "lblContainerName", "cmdAddResource", "cmdDumpContainer", "cmdRecompile"})
        QCOMPARE(child<QWidget>(name)->parent(), child<QFrame>("frame_2"));
    for (const char *name :
         {"lblName", "label_4", "lblType", "label_6", "lblSize", "label_8", "lblWidth", "label_9",
          "lblHeight", "previewArea", "pushButton_6", "pushButton_4"})
        QCOMPARE(child<QWidget>(name)->parent(), child<QFrame>("frame_3"));
    // The preview scrolls inside its area.
    QCOMPARE(child<QLabel>("lblPrev")->parentWidget(),
             child<QScrollArea>("previewArea")->viewport());

    const char *focusOrder[] = {"listWidget",   "listWidget_2",   "cmdSetDir",
                                "pushButton_7", "cmdAddResource", "cmdDumpContainer",
                                "cmdRecompile", "pushButton_6",   "pushButton_4"};
    QWidget *w = child<QWidget>(focusOrder[0]);
    for (const char *next : focusOrder) {
        QCOMPARE(w->objectName(), QString::fromLatin1(next));
        do
            w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || w->objectName().isEmpty() ||
               qobject_cast<QSplitter *>(w));
    }

    // Left column above the frame's full width.
    window->resize(720, 593);
    QApplication::processEvents();
    QVERIFY(splitter->geometry().right() < frame->geometry().left());
    QVERIFY(child<QListWidget>("listWidget")->geometry().bottom() <
            child<QListWidget>("listWidget_2")->geometry().top());
    QVERIFY(splitter->geometry().bottom() < child<QPushButton>("cmdSetDir")->geometry().top());
}

void TestMainWindow::textsAndEnabledStates()
{
    const struct {
        const char *name;
        const char *text;
    } labels[] = {{"label", "Moxel SWF Resource Editor"},
                  {"lblContainerName", "No Container Selected"},
                  {"lblName", "No Resource Selected"},
                  {"label_4", "Type:"},
                  {"lblType", "Unknown"},
                  {"label_6", "Size:"},
                  {"lblSize", "Unknown"},
                  {"label_8", "Width:"},
                  {"lblWidth", "Unknown"},
                  {"label_9", "Height:"},
                  {"lblHeight", "Unknown"},
                  {"lblPrev", ""}};
    for (const auto &l : labels)
        QCOMPARE(child<QLabel>(l.name)->text(), QString::fromUtf8(l.text));
    QVERIFY(child<QLabel>("lblPrev")->pixmap().isNull());

    const struct {
        const char *name;
        const char *text;
    } buttons[] = {{"cmdSetDir", "Change Directory"},  {"pushButton_7", "Dump All Resources"},
                   {"cmdAddResource", "Add Resource"}, {"cmdDumpContainer", "Dump to Folder"},
                   {"cmdRecompile", "Recompile"},      {"pushButton_6", "Change Contents"},
                   {"pushButton_4", "Dump to File"}};
    for (const auto &b : buttons) {
        auto *button = child<QPushButton>(b.name);
        QCOMPARE(button->text(), QString::fromUtf8(b.text));
        QVERIFY2(!button->isEnabled(), b.name);
    }
    QCOMPARE(child<QListWidget>("listWidget")->count(), 0);
    QCOMPARE(child<QListWidget>("listWidget_2")->count(), 0);
}

void TestMainWindow::fontsAndSizes()
{
    const QFont title = child<QLabel>("label")->font();
    QCOMPARE(title.family(), QStringLiteral("Arial"));
    QCOMPARE(title.pointSize(), 12);
    QVERIFY(title.bold());
    const QFont name = child<QLabel>("lblName")->font();
    QCOMPARE(name.family(), QStringLiteral("Arial"));
    QVERIFY(name.bold());
    QCOMPARE(name.pointSize(), QApplication::font().pointSize());

    // No other widget carries a font of its own.
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->objectName() == "label" || w->objectName() == "lblName")
            continue;
        if (w->parent() == window || qobject_cast<QFrame *>(w->parentWidget()))
            QVERIFY2(!w->testAttribute(Qt::WA_SetFont), qPrintable(w->objectName()));
    }

    auto *setDir = child<QPushButton>("cmdSetDir");
    QCOMPARE(setDir->minimumWidth(), 200);
    QCOMPARE(setDir->maximumWidth(), 200);
    QCOMPARE(setDir->width(), 200);

    const struct {
        const char *name;
        QSizePolicy::Policy h, v;
    } policies[] = {{"splitter", QSizePolicy::Fixed, QSizePolicy::Expanding},
                    {"listWidget", QSizePolicy::Minimum, QSizePolicy::Maximum},
                    {"listWidget_2", QSizePolicy::Minimum, QSizePolicy::Expanding},
                    {"frame", QSizePolicy::Expanding, QSizePolicy::Preferred},
                    {"frame_2", QSizePolicy::Preferred, QSizePolicy::Fixed},
                    {"frame_3", QSizePolicy::Preferred, QSizePolicy::Expanding}};
    for (const auto &p : policies) {
        const QSizePolicy policy = child<QWidget>(p.name)->sizePolicy();
        QCOMPARE(policy.horizontalPolicy(), p.h);
        QCOMPARE(policy.verticalPolicy(), p.v);
    }
    QCOMPARE(child<QSplitter>("splitter")->minimumSize(), QSize(200, 0));
}

void TestMainWindow::startupFolderDialog()
{
    const QList<QFileDialog *> dialogs = window->findChildren<QFileDialog *>();
    QCOMPARE(dialogs.size(), 1);
    QFileDialog *dialog = dialogs.first();
    QCOMPARE(dialog->parent(), window);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
    QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));

    // Cancelling leaves nothing loaded and no way back to the chooser.
    dialog->reject();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(child<QListWidget>("listWidget")->count(), 0);
    QVERIFY(!child<QPushButton>("cmdSetDir")->isEnabled());
}

void TestMainWindow::deadControlsDoNothing()
{
    auto *dialog = window->findChild<QFileDialog *>();
    dialog->reject();
    child<QAction>("actionExit")->trigger();
    QApplication::processEvents();
    QVERIFY(window->isVisible());
    QVERIFY(!dialog->isVisible());
    QVERIFY(QApplication::topLevelWidgets().contains(window));

    // Disabled buttons swallow clicks: no dialog of any kind opens.
    for (const char *name : {"pushButton_7", "cmdAddResource", "cmdRecompile", "pushButton_6",
                             "pushButton_4", "cmdDumpContainer", "cmdSetDir"})
        QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton);
    QApplication::processEvents();
    QCOMPARE(window->findChildren<QDialog *>().size(), 1);
    QVERIFY(!dialog->isVisible());
}

void TestMainWindow::changeDirectoryReopensSameDialog()
{
    auto *dialog = window->findChild<QFileDialog *>();
    dialog->reject();
    auto *button = child<QPushButton>("cmdSetDir");
    button->setEnabled(true); // as at the end of a folder scan
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(dialog->isVisible());
    QCOMPARE(window->findChildren<QFileDialog *>().size(), 1);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
