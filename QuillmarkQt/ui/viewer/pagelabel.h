#pragma once

#include <QLabel>

// The label that stretches the viewer's cut-out to the zoom scale. A plain
// QLabel smooth-scales the whole cut-out into a cached pixmap of its own size
// each time the cut-out changes; when zoomed in that is millions of pixels
// for every scroll step, and at 6400 % a new cut-out comes with nearly every
// step. Magnified, this label scales only the part that is painted. Reduced,
// it keeps QLabel's area-averaging scaling, which keeps small text legible.
class PageLabel : public QLabel
{
    Q_OBJECT

public:
    explicit PageLabel(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
