#include "dump/paintpacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

PaintPacer::PaintPacer(QWidget *window, int intervalMs) : window(window)
{
    interval.setSingleShot(true);
    interval.setInterval(intervalMs);
    connect(&interval, &QTimer::timeout, this, &PaintPacer::catchUp);
    window->installEventFilter(this);
}

void PaintPacer::hold()
{
    held = true;
}

void PaintPacer::release()
{
    held = false;
    interval.stop();
    catchUp();
}

void PaintPacer::catchUp()
{
    if (!waiting)
        return;
    waiting = false;
    // The window paints everything marked since its last update, as it
    // would have done then.
    QCoreApplication::postEvent(window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

bool PaintPacer::eventFilter(QObject *watched, QEvent *event)
{
    // Every update a widget asks for, later (update) or at once (repaint),
    // reaches its window as an update request; the changed areas stay marked
    // until one is let through.
    if (watched != window || event->type() != QEvent::UpdateRequest || !held)
        return false;
    if (interval.isActive()) {
        waiting = true;
        return true;
    }
    interval.start();
    return false;
}
