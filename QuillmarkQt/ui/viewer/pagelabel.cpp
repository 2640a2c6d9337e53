#include "pagelabel.h"

#include <QPainter>

PageLabel::PageLabel(QWidget *parent) : QLabel(parent)
{
}

void PageLabel::paintEvent(QPaintEvent *event)
{
    const QPixmap cutOut = pixmap(Qt::ReturnByValue);
    const QRect target = contentsRect();
    if (cutOut.isNull() || !hasScaledContents() || target.width() < cutOut.width()
        || target.height() < cutOut.height()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, cutOut);
}
