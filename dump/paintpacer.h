#pragma once

#include <QObject>
#include <QTimer>

class QWidget;

// Paces a window's painting. While held, the window brings its painting up to
// date at most once per interval, and whatever changed in between is painted
// when the interval runs out. Only the updates the window's widgets ask for
// wait: a repaint the window system asks for (an expose) still paints at
// once, in the widgets' current state, so nothing is ever shown blank, nor
// behind for longer than the interval.
class PaintPacer final : public QObject
{
public:
    PaintPacer(QWidget *window, int intervalMs);

    void hold();
    // Paints what waits at once and stops pacing.
    void release();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void catchUp();

    QWidget *window;
    QTimer interval;
    bool held = false;
    bool waiting = false; // an update was held back
};
