#include "pagelabel.h"

#include <QPainter>

PageLabel::PageLabel(QWidget *parent) : QLabel(parent)
{
}

void PageLabel::paintEvent(QPaintEvent *event)
{
    const QPixmap cutOut = pixmap(Qt::ReturnByValue);
    // Magnified or reduced on the device: on a 200 % screen a page at 75 %
    // still has more device pixels than the cut-out.
    const QSizeF target = QSizeF(contentsRect().size()) * devicePixelRatioF();
    if (cutOut.isNull() || !hasScaledContents() || target.width() < cutOut.width()
        || target.height() < cutOut.height()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(contentsRect(), cutOut);
}
