// Takes screenshots of the real window (run it under an X server, e.g. Xvfb).
//   swf-screenshot startup OUT.png
//       the window at start-up with its folder chooser open
//   swf-screenshot preview FOLDER CONTAINER RESOURCE OUT.png
//       FOLDER scanned, CONTAINER and RESOURCE selected, preview shown
//   swf-screenshot dump-all OUT.png
//       a generated folder of level files scanned, "Dump All Resources"
//       running in its dialog

#include "dump/dumpdialog.h"
#include "mainwindow/mainwindow.h"
#include "tests/support/swfwriter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace
{

// Runs the event loop until `done` holds, or gives up after `limitMs`.
bool waitFor(const std::function<bool()> &done, int limitMs = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

bool select(QListWidget *list, const QString &text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    if (found.isEmpty())
        return false;
    list->setCurrentItem(found.first());
    return true;
}

// Lets the window system draw everything, then grabs the whole screen area
// the window covers (dialogs over it included).
bool grab(const QWidget *window, const QString &path, bool wholeScreen)
{
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QScreen *screen = window->screen();
    const QRect frame = window->frameGeometry();
    const QPixmap shot =
        wholeScreen ? screen->grabWindow(0)
                    : screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    return shot.save(path, "png");
}

int fail(const char *what)
{
    std::fprintf(stderr, "swf-screenshot: %s\n", what);
    return 1;
}

// Twelve level files of twenty 384 x 384 bitmaps each: enough work for the
// dump to be caught in the middle.
bool writeLevels(const QString &folder)
{
    for (int level = 1; level <= 12; ++level) {
        swfw::Tags tags;
        QList<QPair<int, QByteArray>> symbols;
        for (int i = 1; i <= 20; ++i) {
            tags.bitmap(i, 384, 384, swfw::testPattern(384, 384, level * 20 + i));
            symbols.append({i, "tile_" + QByteArray::number(i)});
        }
        const QByteArray label = "Level" + QByteArray::number(level).rightJustified(2, '0');
        tags.symbolClass(symbols).frameLabel(label).showFrame().end();
        if (!swfw::save(folder + "/" + QString::fromLatin1(label) + ".swf",
                        swfw::file(swfw::Header(), tags, swfw::Compression::Zlib)))
            return false;
    }
    return true;
}

// Scans a generated folder, starts "Dump All Resources" and grabs the
// window with its dialog once the third file's images are being written.
int dumpAll(MainWindow &window, const QString &out)
{
    QTemporaryDir levels;
    QTemporaryDir dumped;
    if (!writeLevels(levels.path()))
        return fail("can't write the level files");
    QObject::connect(&window, &MainWindow::dumpRequested, &window,
                     [&window](const QStringList &files, DumpLayout layout) {
                         DumpDialog::open(&window, files, layout);
                     });
    auto *chooser = window.findChild<QFileDialog *>();
    chooser->hide();
    emit chooser->fileSelected(levels.path());
    auto *dumpAllButton = window.findChild<QPushButton *>(QStringLiteral("pushButton_7"));
    if (!waitFor([&] { return dumpAllButton->isEnabled(); }))
        return fail("the folder scan did not end");
    dumpAllButton->click();
    auto *dialog = window.findChild<DumpDialog *>();
    if (!dialog)
        return fail("no dump dialog");
    auto *outputChooser = dialog->findChild<QFileDialog *>();
    outputChooser->hide();
    emit outputChooser->fileSelected(dumped.path());
    auto *files = dialog->findChild<QProgressBar *>(QStringLiteral("progressBar"));
    if (!waitFor([&] { return files->value() >= 3; }))
        return fail("the dump did not reach the third file");
    return grab(&window, out, false) ? 0 : fail("can't save the screenshot");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    MainWindow window;
    window.move(0, 0);
    if (!waitFor([&] { return window.isVisible(); }))
        return fail("the window did not appear");

    if (args.size() == 3 && args.at(1) == QLatin1String("startup"))
        return grab(&window, args.at(2), true) ? 0 : fail("can't save the screenshot");

    if (args.size() == 3 && args.at(1) == QLatin1String("dump-all"))
        return dumpAll(window, args.at(2));

    if (args.size() != 6 || args.at(1) != QLatin1String("preview")) {
        std::fputs("usage: swf-screenshot startup OUT.png\n"
                   "       swf-screenshot preview FOLDER CONTAINER RESOURCE OUT.png\n"
                   "       swf-screenshot dump-all OUT.png\n",
                   stderr);
        return 2;
    }
    auto *chooser = window.findChild<QFileDialog *>();
    chooser->hide();
    emit chooser->fileSelected(args.at(2));
    auto *scanButton = window.findChild<QPushButton *>(QStringLiteral("cmdSetDir"));
    if (!waitFor([&] { return scanButton->isEnabled(); }))
        return fail("the folder scan did not end");
    if (!select(window.findChild<QListWidget *>(QStringLiteral("listWidget")), args.at(3)))
        return fail("no such container");
    if (!select(window.findChild<QListWidget *>(QStringLiteral("listWidget_2")), args.at(4)))
        return fail("no such resource");
    auto *preview = window.findChild<QLabel *>(QStringLiteral("lblPrev"));
    if (!waitFor([&] { return !preview->pixmap().isNull() || !preview->text().isEmpty(); }))
        return fail("the preview did not arrive");
    return grab(&window, args.at(5), false) ? 0 : fail("can't save the screenshot");
}
