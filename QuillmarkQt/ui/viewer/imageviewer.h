#pragma once

#include <QFutureWatcher>
#include <QImage>
#include <QRect>
#include <QScrollArea>

class QLabel;

// Scrolling page view that never scales a whole page: it copies only the part
// of the page around the visible area on a pool thread and lets a label
// stretch that cut-out to the zoom scale. Scrolling further than the margin
// around the last cut-out cuts again.
class ImageViewer : public QScrollArea
{
    Q_OBJECT

public:
    static constexpr int defaultRenderMargin = 300;

    explicit ImageViewer(QWidget *parent = nullptr);
    ~ImageViewer() override;

    void setImage(const QImage &image);
    void setScale(double factor);
    double scaleFactor() const;
    void fitToWidth();
    void fitToPage();
    void resetScale();
    void clear();
    void renderVisibleRegion();

    // The last cut-out, in page-image pixels.
    QRect region() const;

signals:
    // The label shows the cut-out of the latest request at its place.
    void cutOutShown();

private slots:
    void horizontalSliderMoved(int value);
    void verticalSliderMoved(int value);
    void showPixmap(int index);
    void finished();

private:
    QRect cutOutAroundViewport() const;
    bool movedPastMargin(int lastValue, int value) const;
    void placeLabel();

    QFutureWatcher<QImage> m_renderWatcher;
    QWidget *m_container;
    QLabel *m_pageLabel;
    int m_regionX = 0;
    int m_regionY = 0;
    int m_regionWidth = 0;
    int m_regionHeight = 0;
    // Shared with the running cut-out task, so the pixels stay valid when the
    // page cache drops the page meanwhile.
    QImage m_image;
    double m_scale = 1.0;
    int m_renderMargin = defaultRenderMargin;
    int m_lastHorizontalValue = 0;
    int m_lastVerticalValue = 0;
};
