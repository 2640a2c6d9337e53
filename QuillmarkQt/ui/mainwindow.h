#pragma once

#include "documentview.h"
#include "pagecache.h"

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <memory>

class CertForm;
class DocumentWorkflow;
class WaitDialog;

namespace Ui {
class MainWindow;
}

// The document window: shows the document page by page with zoom, as its
// workflow tells it, and passes on to the workflow what the user does. In
// signing mode it also carries the signing controls; in view-only mode it
// only shows and closes. Boxes and the close question open without blocking
// and go on through continuations. It keeps the pages it was given, never a
// request.
class MainWindow : public QMainWindow, public DocumentView
{
    Q_OBJECT

public:
    static const QList<double> zoomLevels;

    // The workflow must outlive the window.
    MainWindow(DocumentWorkflow &workflow, bool filterOnlyValidCerts, bool filterOnlyQualifiedCerts,
               int pageCacheSize, QWidget *parent = nullptr);
    ~MainWindow() override;

    // DocumentView
    void showWaitPanel(const QString &text) override;
    void hideWaitPanel() override;
    void disableToolStrips() override;
    void enableToolStrips() override;
    void showDocumentTitle(const X509Certificate2Ultra &serverCertificate,
                           const QString &docId) override;
    void showPagePosition(int page, int pages) override;
    bool showCachedPage(int page) override;
    bool showPageImage(int page, const QByteArray &imageData) override;
    void hidePage() override;
    void focusPage() override;
    void showSigningCertificate(const X509Certificate2Ultra &certificate) override;
    void showError(const AppException &e, Continuation then) override;
    void showError(const QString &message, Continuation then) override;
    void showErrorWithDetail(const QString &message, const QString &details) override;
    void showInfo(const QString &message, Continuation then) override;
    void askToClose(CloseAnswer answered) override;
    void hideDocument() override;

signals:
    void windowShown();

private slots:
    void updateConfiguration();
    void on_btnPreviousPage_clicked();
    void on_btnNextPage_clicked();
    void on_leCurrentPage_returnPressed();
    void on_btnZoomOut_clicked();
    void on_btnZoomIn_clicked();
    void on_btnZoomWidth_clicked();
    void on_btnDefaultSize_clicked();
    void on_btnZoomPage_clicked();
    void on_cmbZoomLevel_currentIndexChanged(int index);
    void on_btnInfo_clicked();
    void on_btnClose_clicked();
    void on_btnChangeCert_clicked();
    void on_btnSign_clicked();
    void afterWindowIsShown();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyMode();
    void fillZoomLevels();

    void leCurrentPageProccessChanges();
    void showPage(const QImage &image);
    // Fits the page again when a fit button is on; false when none is.
    bool refitIfFitting();
    bool pageIsShown() const;

    void stepZoom(int levelIndex);
    void applyZoomLevel(int index);
    void applyTypedZoom();
    void setZoomLevelText(double factor);
    void uncheckFitButtons();

    DocumentWorkflow &m_workflow;
    // Made at the first request to change the certificate and kept; a child
    // of this window.
    CertForm *m_certForm = nullptr;
    PageCache m_pageCache;
    // The page on screen or on its way, of how many.
    int m_currentPage = 0;
    int m_pageCount = 0;
    double m_zoomPercent = 100.0;
    const bool m_filterOnlyValidCerts;
    const bool m_filterOnlyQualifiedCerts;
    WaitDialog *m_waitDialog = nullptr;
    std::unique_ptr<Ui::MainWindow> m_ui;
};
