// Takes screenshots of the real window (run it under an X server, e.g. Xvfb).
//   swf-screenshot startup OUT.png
//       the window at start-up with its folder chooser open
//   swf-screenshot preview FOLDER CONTAINER RESOURCE OUT.png
//       FOLDER scanned, CONTAINER and RESOURCE selected, preview shown

#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

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

    if (args.size() != 6 || args.at(1) != QLatin1String("preview")) {
        std::fputs("usage: swf-screenshot startup OUT.png\n"
                   "       swf-screenshot preview FOLDER CONTAINER RESOURCE OUT.png\n",
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
