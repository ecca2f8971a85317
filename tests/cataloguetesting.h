#pragma once

// Shared by the catalogue and bitmap tests: a handler that records every
// hand-over, and the qDebug() lines written while it is alive.

#include "swf/catalogue.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the text of every QtDebugMsg line while it exists; other
// messages go on to the handler that was installed before.
class DebugLines
{
public:
    DebugLines()
    {
        current() = this;
        previous = qInstallMessageHandler(&DebugLines::handle);
    }
    ~DebugLines()
    {
        qInstallMessageHandler(previous);
        current() = nullptr;
    }
    DebugLines(const DebugLines &) = delete;
    DebugLines &operator=(const DebugLines &) = delete;

    QStringList lines;

private:
    static DebugLines *&current()
    {
        static DebugLines *instance = nullptr;
        return instance;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        DebugLines *self = current();
        if (self && type == QtDebugMsg)
            self->lines.append(text);
        else if (self && self->previous)
            self->previous(type, context, text);
    }

    QtMessageHandler previous = nullptr;
};

// Keeps every hand-over of a reading, and the order they came in.
class RecordingHandler : public CatalogueHandler
{
public:
    bool acceptLabel(const QString &label) override
    {
        events << QStringLiteral("accept ") + label;
        return accept;
    }
    void beginEntry(const QString &label) override { events << QStringLiteral("begin ") + label; }
    void addBitmap(const QualifyingBitmap &bitmap) override
    {
        events << QStringLiteral("bitmap %1").arg(bitmap.objectID);
        bitmaps.append(bitmap);
    }

    bool accept = true;
    QStringList events;
    QList<QualifyingBitmap> bitmaps;
};
