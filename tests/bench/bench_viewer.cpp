#include "benchmain.h"
#include "documentanswers.h"
#include "documentworkflow.h"
#include "imageviewer.h"
#include "mainwindow.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <chrono>
#include <malloc.h>
#include <stdexcept>
#include <unistd.h>

// A full page of A4 at 600 dpi in the document window: the way from the
// page answer to the page on screen against decoding the PNG alone, and the
// deepest zoom with the memory it takes and the time of one scroll step.

namespace {

using Clock = std::chrono::steady_clock;

constexpr double pageDpi = 600.0;
// A4 at 600 dpi.
const QSize pageSize(4961, 7016);
constexpr int claimedPages = 1000;
constexpr int waitLimitMilliseconds = 20000;
// One notch of a mouse wheel: three lines of the scroll bar.
constexpr int wheelNotchLines = 3;

// The sample page rendered at 600 dpi; its paper is a fraction of a
// millimetre off A4, so the image is brought to the exact size.
QByteArray a4PagePng()
{
    const QImage rendered = QImage::fromData(DocumentAnswers().document().pagePng(1, pageDpi));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    rendered.scaled(pageSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(&buffer, "PNG");
    return png;
}

const QByteArray &pagePng()
{
    static const QByteArray png = a4PagePng();
    return png;
}

const QByteArray &pagePngBase64()
{
    static const QByteArray base64 = pagePng().toBase64();
    return base64;
}

double residentMiB()
{
    // Freed blocks that malloc keeps for later are no memory the view holds.
    malloc_trim(0);
    long total = 0;
    long resident = 0;
    FILE *statm = std::fopen("/proc/self/statm", "r");
    if (!statm || std::fscanf(statm, "%ld %ld", &total, &resident) != 2)
        resident = 0;
    if (statm)
        std::fclose(statm);
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The document window in view mode with its page and server played here:
// the document information is answered at once, each page request is kept
// until the benchmark answers it.
class ViewerSession : public QObject
{
public:
    ViewerSession() : m_workflow(true, {}, {}), m_window(m_workflow, false, false, 0)
    {
        connect(
            &m_workflow, &DocumentWorkflow::needGetDocumentInfoEvent, this,
            [this](const QString &nonce) {
                m_workflow.processGetDocumentInfoResponse(m_answers.info(nonce, claimedPages));
            },
            Qt::QueuedConnection);
        connect(&m_workflow, &DocumentWorkflow::needGetDocumentPageEvent, this,
                [this](int page, const QString &nonce) {
                    m_requestedPage = page;
                    m_nonce = nonce;
                });
        m_viewer = m_window.findChild<ImageViewer *>(QStringLiteral("imageViewer"));
        m_label = m_viewer->findChild<QLabel *>(QStringLiteral("pageLabel"));
        m_label->installEventFilter(this);
        connect(m_viewer, &ImageViewer::cutOutShown, this, [this] { m_cutOutShown = true; });

        m_window.resize(1280, 1024);
        m_window.show();
        waitFor([this] { return m_requestedPage > 0; });
    }

    // Answers the pending page request; the time from the answer handed to
    // the window to the cut-out painted.
    double answerPage()
    {
        const QString answer = m_answers.pageWithData(m_requestedPage, pagePngBase64(), m_nonce);
        m_requestedPage = 0;
        const Clock::time_point start = Clock::now();
        expectPaintedCutOut();
        m_workflow.processGetDocumentPageResponse(answer);
        waitForPaintedCutOut();
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    // Next page, or back when on the second: the cache holds one page only,
    // so either one has to be asked for again.
    void requestAnotherPage()
    {
        QPushButton *next = m_window.findChild<QPushButton *>(QStringLiteral("btnNextPage"));
        QPushButton *previous = m_window.findChild<QPushButton *>(QStringLiteral("btnPreviousPage"));
        (previous->isEnabled() ? previous : next)->click();
        waitFor([this] { return m_requestedPage > 0; });
    }

    double zoomToLevel(double percent)
    {
        auto *zoom = m_window.findChild<QComboBox *>(QStringLiteral("cmbZoomLevel"));
        const Clock::time_point start = Clock::now();
        expectPaintedCutOut();
        zoom->setCurrentIndex(MainWindow::zoomLevels.indexOf(percent));
        waitForPaintedCutOut();
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    // One wheel notch down; the time until the new cut-out is painted.
    double scrollOneNotch()
    {
        QScrollBar *bar = m_viewer->verticalScrollBar();
        const Clock::time_point start = Clock::now();
        expectPaintedCutOut();
        bar->setValue(bar->value() + wheelNotchLines * bar->singleStep());
        waitForPaintedCutOut();
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    QRect region() const { return m_viewer->region(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // The paint event is delivered inside the repaint; once the event
        // loop call that delivered it returns, the pixels are in the
        // window's backing store.
        if (watched == m_label && event->type() == QEvent::Paint && m_cutOutShown)
            m_painted = true;
        return false;
    }

private:
    void expectPaintedCutOut()
    {
        m_cutOutShown = false;
        m_painted = false;
    }

    void waitForPaintedCutOut()
    {
        waitFor([this] { return m_painted; });
    }

    template <typename Condition>
    void waitFor(Condition condition)
    {
        serveEventsUntil(condition, waitLimitMilliseconds);
    }

    DocumentAnswers m_answers;
    // Goes after its window.
    DocumentWorkflow m_workflow;
    MainWindow m_window;
    ImageViewer *m_viewer = nullptr;
    QLabel *m_label = nullptr;
    int m_requestedPage = 0;
    QString m_nonce;
    bool m_cutOutShown = false;
    bool m_painted = false;
};

} // namespace

static void BM_PageDisplay_Host(benchmark::State &state)
{
    pagePngBase64();
    try {
        ViewerSession session;
        for (auto _ : state) {
            state.SetIterationTime(session.answerPage());
            session.requestAnotherPage();
        }
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_PageDisplay_Host)->UseManualTime()->Unit(benchmark::kMillisecond);

static void BM_PageDisplay_PngDecode(benchmark::State &state)
{
    const QByteArray &png = pagePng();
    QSize size;
    for (auto _ : state) {
        const QImage image = QImage::fromData(png);
        size = image.size();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["width"] = size.width();
    state.counters["height"] = size.height();
    state.counters["png_MiB"] = png.size() / (1024.0 * 1024.0);
}
BENCHMARK(BM_PageDisplay_PngDecode)->Unit(benchmark::kMillisecond);

// The memory that 6400 % takes over the 100 % view, and one scroll step at
// 6400 % from the scroll bar moving to the new cut-out painted.
static void BM_DeepZoom_ScrollCutOut(benchmark::State &state)
{
    pagePngBase64();
    try {
        ViewerSession session;
        session.answerPage();
        const double atHundred = residentMiB();
        session.zoomToLevel(6400);
        const double zoomed = residentMiB();
        for (auto _ : state)
            state.SetIterationTime(session.scrollOneNotch());
        state.counters["extra_MiB"] = qMax(zoomed, residentMiB()) - atHundred;
        state.counters["cutout_px"] = session.region().width() * session.region().height();
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_DeepZoom_ScrollCutOut)->UseManualTime()->Unit(benchmark::kMillisecond);

QUILLMARK_BENCHMARK_MAIN(Quillmark)
