#pragma once

// Helpers for driving windows in tests: answering message boxes, capturing
// diagnostic lines and writing converter documents.

#include "tests/support/swfwriter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPair>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the folder chooser of `owner` (a window or a dump dialog) with
// `folder`, as a user choosing it would.
inline void chooseFolder(QWidget *owner, const QString &folder)
{
    auto *chooser = owner->findChild<QFileDialog *>();
    chooser->hide();
    emit chooser->fileSelected(folder);
}

// Answers every message box that opens while it lives (with its default
// button, or Ok), keeping each box's title and text.
class MessageBoxCatcher : public QObject
{
public:
    MessageBoxCatcher()
    {
        connect(&timer, &QTimer::timeout, this, &MessageBoxCatcher::answer);
        timer.start(5);
    }

    QStringList titles;
    QStringList texts;
    QStringList details; // detailed texts, empty where a box has none
    QList<QWidget *> parents;

private:
    void answer()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            // Marked on the box itself: a later box may take a former one's
            // address.
            if (!box || !box->isVisible() || box->property("caught").toBool())
                continue;
            box->setProperty("caught", true);
            titles.append(box->windowTitle());
            texts.append(box->text());
            details.append(box->detailedText());
            parents.append(box->parentWidget());
            box->done(QMessageBox::Ok);
        }
    }

    QTimer timer;
};

// Collects qDebug() lines while it lives. `onLine` runs for each one, so a
// test can look at the window at the moment a line is written. Collectors
// nest: every one alive gets every line.
class DebugLines
{
public:
    explicit DebugLines(std::function<void(const QString &)> onLine = {})
        : callback(std::move(onLine)), outer(current)
    {
        current = this;
        previous = qInstallMessageHandler(&DebugLines::handle);
    }
    ~DebugLines()
    {
        qInstallMessageHandler(previous);
        current = outer;
    }
    DebugLines(const DebugLines &) = delete;
    DebugLines &operator=(const DebugLines &) = delete;
    QStringList lines;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (type != QtDebugMsg) {
            if (current && current->previous)
                current->previous(type, context, text);
            return;
        }
        for (DebugLines *d = current; d; d = d->outer) {
            d->lines.append(text);
            if (d->callback)
                d->callback(text);
        }
    }
    static inline DebugLines *current = nullptr;
    std::function<void(const QString &)> callback;
    DebugLines *outer;
    QtMessageHandler previous = nullptr;
};

// A converter document in the shape the converter writes.
struct TestBitmap {
    int id;
    int width;
    int height;
    QByteArray argb; // premultiplied A,R,G,B bytes
    QByteArray format = "5";
};

inline QByteArray converterDocument(const QByteArray &label,
                                    const QList<QPair<int, QByteArray>> &symbols,
                                    const QList<TestBitmap> &bitmaps = {}, int binaries = 0)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<swf version=\"10\" "
                     "compressed=\"0\"><Header framerate=\"24\" frames=\"1\"><tags>\n";
    for (const TestBitmap &b : bitmaps)
        xml += "<DefineBitsLossless2 objectID=\"" + QByteArray::number(b.id) + "\" format=\"" +
               b.format + "\" width=\"" + QByteArray::number(b.width) + "\" height=\"" +
               QByteArray::number(b.height) + "\"><data><data>" + swfw::zlib(b.argb).toBase64() +
               "</data></data></DefineBitsLossless2>\n";
    for (int i = 0; i < binaries; ++i)
        xml += "<DefineBinaryData objectID=\"" + QByteArray::number(900 + i) +
               "\"><data><data>AAAA</data></data></DefineBinaryData>\n";
    xml += "<SymbolClass><symbols>";
    for (const auto &s : symbols)
        xml +=
            "<Symbol objectID=\"" + QByteArray::number(s.first) + "\" name=\"" + s.second + "\"/>";
    xml += "</symbols></SymbolClass>\n";
    if (!label.isNull())
        xml += "<FrameLabel label=\"" + label + "\"><flags/></FrameLabel>\n";
    xml += "<ShowFrame/><End/></tags></Header></swf>\n";
    return xml;
}
