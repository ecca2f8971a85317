#include "mainwindow/previewarea.h"

#include <QEvent>
#include <QLayout>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>

PreviewArea::PreviewArea(QWidget *parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setWidgetResizable(true);
    // Not a stop of the keyboard's tour of the window.
    setFocusPolicy(Qt::NoFocus);
}

QSize PreviewArea::sizeHint() const
{
    if (!widget())
        return {0, 0};
    const QSize wanted = widget()->sizeHint().expandedTo({0, 0});
    const QSize limit = room();
    QSize hint = wanted.boundedTo(limit);
    // A bar across the bottom takes height from the view, one down the side
    // width.
    if (wanted.width() > limit.width())
        hint.rheight() = std::min(hint.height() + horizontalScrollBar()->sizeHint().height(),
                                  std::max(limit.height(), hint.height()));
    if (wanted.height() > limit.height())
        hint.rwidth() = std::min(hint.width() + verticalScrollBar()->sizeHint().width(),
                                 std::max(limit.width(), hint.width()));
    return hint;
}

QSize PreviewArea::room() const
{
    const QScreen *screen = this->screen();
    const QSize available = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    // What the rest of the window takes: its frame and everything beside
    // this area, whatever size the area has now. Height a spacer below holds
    // beyond its own wish is the area's to take before the window grows.
    QSize rest = window()->frameGeometry().size() - size();
    if (const QLayout *column = parentWidget() ? parentWidget()->layout() : nullptr) {
        for (int i = column->indexOf(this) + 1; i > 0 && i < column->count(); ++i) {
            if (QSpacerItem *spacer = column->itemAt(i)->spacerItem())
                rest.rheight() -=
                    std::max(0, spacer->geometry().height() - spacer->sizeHint().height());
        }
    }
    return (available - rest).expandedTo({160, 120});
}

bool PreviewArea::viewportEvent(QEvent *event)
{
    // A new pixmap (or text) changes what the label asks for, and so what
    // this area asks the window for; the label asks its parent, the view.
    if (event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::viewportEvent(event);
}
