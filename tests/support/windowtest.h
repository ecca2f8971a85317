#pragma once

// A main window with a document-serving fake converter, for tests of the
// folder scan and of browsing. Every message box is answered and kept.

#include "gui/swfcontainer.h"
#include "mainwindow/mainwindow.h"
#include "tests/support/fakeconverter.h"
#include "tests/support/guitest.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

class WindowTest : public QObject
{
protected:
    void setUpWindow()
    {
        startDir = QDir::currentPath();
        fake = new FakeConverter;
        fake->serveDocuments();
        boxes = new MessageBoxCatcher;
        window = new MainWindow;
    }
    void tearDownWindow()
    {
        delete boxes;
        delete window;
        window = nullptr;
        delete fake;
        QDir::setCurrent(startDir);
        qDeleteAll(folders);
        folders.clear();
    }

    // Creates the given (dummy) files in a new folder and returns its path.
    QString folderWith(const QStringList &names)
    {
        folders.append(new QTemporaryDir);
        for (const QString &name : names)
            if (!swfw::save(folders.last()->filePath(name), "x"))
                qFatal("can't write %s", qPrintable(name));
        return folders.last()->path();
    }
    // Chooses `path` in the window's folder chooser.
    void choose(const QString &path) { chooseFolder(window, path); }
    bool scanEnded() { return button("cmdSetDir")->isEnabled(); }

    QListWidget *list(const char *name) { return window->findChild<QListWidget *>(name); }
    QLabel *label(const char *name) { return window->findChild<QLabel *>(name); }
    QPushButton *button(const char *name) { return window->findChild<QPushButton *>(name); }
    QStringList texts(const char *listName)
    {
        QStringList out;
        for (int i = 0; i < list(listName)->count(); ++i)
            out << list(listName)->item(i)->text();
        return out;
    }
    // Makes the row with `text` current; false when there is no such row.
    bool select(const char *listName, const QString &text)
    {
        const auto found = list(listName)->findItems(text, Qt::MatchExactly);
        if (found.size() != 1)
            return false;
        list(listName)->setCurrentItem(found.first());
        return true;
    }
    SWFContainer *containerAt(int row)
    {
        return reinterpret_cast<SWFContainer *>(
            quintptr(list("listWidget")->item(row)->data(Qt::UserRole).toLongLong()));
    }

    FakeConverter *fake = nullptr;
    MainWindow *window = nullptr;
    MessageBoxCatcher *boxes = nullptr;

private:
    QList<QTemporaryDir *> folders;
    QString startDir;
};
