#include "imageviewer.h"

#include "pagelabel.h"

#include <QLabel>
#include <QPixmap>
#include <QScrollBar>
#include <QtConcurrent>

#include <cmath>

ImageViewer::ImageViewer(QWidget *parent)
    : QScrollArea(parent)
    , m_container(new QWidget)
    , m_pageLabel(new PageLabel(m_container))
{
    setBackgroundRole(QPalette::Shadow);
    setAlignment(Qt::AlignCenter);

    m_container->setObjectName(QStringLiteral("container"));
    m_container->setBackgroundRole(QPalette::Shadow);

    m_pageLabel->setObjectName(QStringLiteral("pageLabel"));
    m_pageLabel->setBackgroundRole(QPalette::Dark);
    m_pageLabel->setAlignment(Qt::AlignCenter);
    m_pageLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    m_pageLabel->setScaledContents(true);
    m_pageLabel->setStyleSheet(QStringLiteral("margin: 5px"));

    setWidget(m_container);

    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this,
            &ImageViewer::horizontalSliderMoved);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            &ImageViewer::verticalSliderMoved);
    connect(&m_renderWatcher, &QFutureWatcher<QImage>::resultReadyAt, this,
            &ImageViewer::showPixmap);
    connect(&m_renderWatcher, &QFutureWatcher<QImage>::finished, this, &ImageViewer::finished);
}

// A cut-out still running works on its own copy of the page and reports
// through the watcher, which goes with the viewer: nothing to wait for.
ImageViewer::~ImageViewer() = default;

void ImageViewer::setImage(const QImage &image)
{
    m_image = image;
    renderVisibleRegion();
    setVisible(true);
}

void ImageViewer::setScale(double factor)
{
    m_scale = factor;
    m_container->resize(static_cast<int>(std::lround(m_image.width() * factor)),
                        static_cast<int>(std::lround(m_image.height() * factor)));
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    renderVisibleRegion();
}

double ImageViewer::scaleFactor() const
{
    return m_scale;
}

// A viewport without room (a window not laid out yet, or shrunk to nothing)
// keeps the scale: a scale of 0 would divide every later cut-out by zero.
void ImageViewer::fitToWidth()
{
    if (m_image.isNull() || viewport()->width() <= 0)
        return;
    setScale(double(viewport()->width()) / m_image.width());
}

void ImageViewer::fitToPage()
{
    if (m_image.isNull() || viewport()->width() <= 0 || viewport()->height() <= 0)
        return;
    setScale(qMin(double(viewport()->width()) / m_image.width(),
                  double(viewport()->height()) / m_image.height()));
}

void ImageViewer::resetScale()
{
    setScale(1.0);
}

void ImageViewer::clear()
{
    // A cut-out still on its way shows the page that is being cleared away:
    // its result and its end are dropped with the task.
    m_renderWatcher.cancel();
    m_renderWatcher.setFuture(QFuture<QImage>());
    m_pageLabel->setPixmap(QPixmap());
    m_pageLabel->move(0, 0);
    m_scale = 1.0;
    m_container->resize(m_pageLabel->size());
}

QRect ImageViewer::cutOutAroundViewport() const
{
    const double margin = m_renderMargin / m_scale;
    const double left = horizontalScrollBar()->value() / m_scale;
    const double top = verticalScrollBar()->value() / m_scale;
    const double visibleWidth = viewport()->width() / m_scale;
    const double visibleHeight = viewport()->height() / m_scale;

    const int x = qMax(0, static_cast<int>(left - margin));
    const int y = qMax(0, static_cast<int>(top - margin));
    const int width = static_cast<int>(visibleWidth + 2 * margin);
    const int height = static_cast<int>(visibleHeight + 2 * margin);
    return QRect(x, y, qBound(0, width, m_image.width() - x),
                 qBound(0, height, m_image.height() - y));
}

void ImageViewer::renderVisibleRegion()
{
    if (m_image.isNull())
        return;
    if (m_renderWatcher.isRunning()) {
        m_renderWatcher.cancel();
        m_renderWatcher.waitForFinished();
    }

    const QRect cutOut = cutOutAroundViewport();
    m_regionX = cutOut.x();
    m_regionY = cutOut.y();
    m_regionWidth = cutOut.width();
    m_regionHeight = cutOut.height();
    m_lastHorizontalValue = horizontalScrollBar()->value();
    m_lastVerticalValue = verticalScrollBar()->value();

    m_renderWatcher.setFuture(QtConcurrent::run([page = m_image, cutOut] {
        return page.copy(cutOut);
    }));
}

QRect ImageViewer::region() const
{
    return QRect(m_regionX, m_regionY, m_regionWidth, m_regionHeight);
}

bool ImageViewer::movedPastMargin(int lastValue, int value) const
{
    // The cut-out reaches renderMargin screen pixels past the viewport. Below
    // scale 1 the margin in image pixels would let the view scroll onto
    // blank space before cutting again, so the step never exceeds the
    // margin on screen.
    return std::abs(lastValue - value) >= m_renderMargin / qMax(m_scale, 1.0);
}

void ImageViewer::horizontalSliderMoved(int value)
{
    if (movedPastMargin(m_lastHorizontalValue, value))
        renderVisibleRegion();
}

void ImageViewer::verticalSliderMoved(int value)
{
    if (movedPastMargin(m_lastVerticalValue, value))
        renderVisibleRegion();
}

void ImageViewer::showPixmap(int index)
{
    // A result of a superseded task may still be queued.
    if (!m_renderWatcher.future().isResultReadyAt(index))
        return;
    m_pageLabel->setPixmap(QPixmap::fromImage(m_renderWatcher.resultAt(index)));
}

void ImageViewer::finished()
{
    if (!m_renderWatcher.isFinished() || m_renderWatcher.future().resultCount() == 0)
        return;
    placeLabel();
    emit cutOutShown();
}

void ImageViewer::placeLabel()
{
    const QRect target(static_cast<int>(m_regionX * m_scale), static_cast<int>(m_regionY * m_scale),
                       static_cast<int>(m_regionWidth * m_scale),
                       static_cast<int>(m_regionHeight * m_scale));
    // The label's style sheet margin frames its contents; widening the label by
    // it puts the cut-out exactly over its page pixels, so 100 % stays pixel
    // for pixel and a new cut-out does not shift the page.
    m_pageLabel->ensurePolished();
    const QRect outer = m_pageLabel->rect();
    const QRect inner = m_pageLabel->contentsRect();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    m_pageLabel->setGeometry(target.marginsAdded(frame));
}
