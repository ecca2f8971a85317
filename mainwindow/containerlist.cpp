#include "mainwindow/containerlist.h"

#include <QEvent>
#include <QStyledItemDelegate>

#include <algorithm>

// Hands every row the same size: the largest measured.
class UniformRowDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return size;
    }
    // The size the row needs, as a plain list measures it.
    QSize measure(const QStyleOptionViewItem &option, const QModelIndex &index) const
    {
        return QStyledItemDelegate::sizeHint(option, index);
    }

    QSize size{0, 0};
};

ContainerList::ContainerList(QWidget *parent)
    : QListWidget(parent), rows(new UniformRowDelegate(this))
{
    setItemDelegate(rows);
    setUniformItemSizes(true);
    pacer.setSingleShot(true);
    connect(&pacer, &QTimer::timeout, this, &ContainerList::doItemsLayout);
    sinceLayout.start();
}

void ContainerList::doItemsLayout()
{
    pacer.stop();
    QListWidget::doItemsLayout();
    sinceLayout.restart();
}

void ContainerList::reset()
{
    rows->size = QSize(0, 0);
    QListWidget::reset();
}

void ContainerList::rowsInserted(const QModelIndex &parent, int start, int end)
{
    measure(start, end);
    if (parent.isValid() || end != model()->rowCount() - 1) {
        QListWidget::rowsInserted(parent, start, end);
        return;
    }
    // QListView would drop the layout of every row and redo it at the next
    // turn of the event loop; the rows before the new ones keep theirs.
    QAbstractItemView::rowsInserted(parent, start, end);
    layOutSoon();
}

void ContainerList::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                const QList<int> &roles)
{
    // Every row keeps its place: only a larger size needs a new layout.
    if (measure(topLeft.row(), bottomRight.row()))
        layOutSoon();
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void ContainerList::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        rows->size = QSize(0, 0);
        measure(0, count() - 1);
        scheduleDelayedItemsLayout();
    }
    QListWidget::changeEvent(event);
}

bool ContainerList::measure(int first, int last)
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QSize before = rows->size;
    for (int row = std::max(first, 0); row <= last; ++row)
        rows->size = rows->size.expandedTo(rows->measure(option, model()->index(row, 0)));
    return rows->size != before;
}

void ContainerList::layOutSoon()
{
    if (!pacer.isActive())
        pacer.start(std::max<qint64>(0, kLayoutIntervalMs - sinceLayout.elapsed()));
}
