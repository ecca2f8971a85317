#pragma once

#include <QScrollArea>

// Holds the preview label. The window keeps the size its layout asks for,
// and a preview at its own size would make it as large as the bitmap: a
// 4096 x 4096 sprite sheet would push every control off the screen. This
// area asks for the label's size up to what the screen leaves beside the
// rest of the window, and scrolls beyond that. Without a bitmap it asks for
// what the label asks for.
class PreviewArea : public QScrollArea
{
    Q_OBJECT

public:
    explicit PreviewArea(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool viewportEvent(QEvent *event) override;

private:
    // The largest size the area may take on the window's screen.
    QSize room() const;
};
