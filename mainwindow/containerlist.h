#pragma once

#include <QElapsedTimer>
#include <QListWidget>
#include <QTimer>

class UniformRowDelegate;

// The window's list of containers. A folder scan adds a row at its end and
// changes the progress row's text once per file; QListView answers each
// change by laying out every row again, measuring every row's text, so a
// scan's cost per file would grow with the rows listed. This list gives
// every row the size of the largest row it has held since it was last
// emptied (each row measured once, when it is added or its data changes),
// which needs no measuring when it lays out and cuts no text; and it lays
// out the rows added at its end at most once per kLayoutIntervalMs, the
// rows laid out before them staying where they are meanwhile.
class ContainerList : public QListWidget
{
    Q_OBJECT

public:
    static constexpr int kLayoutIntervalMs = 50;

    explicit ContainerList(QWidget *parent = nullptr);

    void doItemsLayout() override;
    void reset() override;

protected:
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
    void changeEvent(QEvent *event) override;

private:
    // Measures rows `first` to `last`; true when the rows' size grew.
    bool measure(int first, int last);
    void layOutSoon();

    UniformRowDelegate *rows;
    QTimer pacer;
    QElapsedTimer sinceLayout;
};
