#include "dump/dumpdialog.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainWindow window;
    QObject::connect(&window, &MainWindow::dumpRequested, &window,
                     [&window](const QStringList &files, DumpLayout layout) {
                         DumpDialog::open(&window, files, layout);
                     });
    return app.exec();
}
