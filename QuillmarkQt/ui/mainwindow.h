#pragma once

#include "communicationmanager.h"
#include "docinfo.h"
#include "documentworkflow.h"
#include "pagecache.h"
#include "storedefinition.h"
#include "x509certificate2ultra.h"

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class AppException;
class CertForm;
class WaitDialog;

namespace Ui {
class MainWindow;
}

// The document window: shows the document page by page with zoom, which its
// workflow fetches through the web page. In signing mode it also carries the
// signing controls; in view-only mode it only shows and closes. Boxes and the
// close question open without blocking and go on through continuations.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    using StoreDefinitions = QList<StoreDefinition>;

    static const QList<double> zoomLevels;

    MainWindow(bool viewOnly, bool filterOnlyValidCerts, bool filterOnlyQualifiedCerts,
               int pageCacheSize, const StoreDefinitions &signingCertificateStores,
               QWidget *parent = nullptr);
    ~MainWindow() override;

    void processGetDocumentInfoResponse(const QString &response);
    void processGetDocumentPageResponse(const QString &response);
    void processSignInitResponse(const QString &response);
    void processSignFinishResponse(const QString &response);
    // The page's answers to the two configuration requests.
    void configurationLoaded(const QString &data);
    void configurationSaved(bool ok);
    void terminate();

    // The component forwards the four request signals of the manager and
    // the configuration requests of the workflow.
    CommunicationManager &communicationManager();
    DocumentWorkflow &workflow();

signals:
    void signingProcessFinishedEvent(bool successful);
    void windowShown();

public slots:
    void disableToolStrips();
    void enableToolStrips();

private slots:
    void updateConfiguration();
    void showSigningFailure(const AppException &e);
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
    void updateWindowTitle(const X509Certificate2Ultra &serverCertificate, const QString &docId);

    void setSigningCertificate(const X509Certificate2Ultra &certificate);
    void requestSignInit(const QString &certificate);
    void requestSignFinish(const QString &signature);
    // Tells the page that the workflow ended and hides; the component
    // deletes the window then.
    void finish();

    void showWaitDialog(const QString &text);
    void hideWaitDialog();

    void requestGetDocumentInfo();
    void requestGetDocumentPage(int page);
    // Sends a request behind the wait panel that the caller has put up; a
    // request that cannot be sent is shown and takes the panel down.
    void sendRequest(const std::function<void()> &send);
    // False for an answer the window did not ask for; the user is told and
    // the window carries on as it was.
    bool takeAwaitedAnswer(CommunicationManager::RequestKind kind, const QString &exchangeName);
    // Takes an awaited answer: accept reads and shows it, and a failure ends
    // the workflow.
    void processAnswer(CommunicationManager::RequestKind kind, const QString &exchangeName,
                       const std::function<void()> &accept);
    void acceptDocumentInfo(const GetDocumentInfoResponse &response);
    void acceptDocumentPage(const GetDocumentPageResponse &response);
    // A failed answer ends the workflow: error box, then close.
    void failAnswer(const AppException &e);

    void changePageTo(int page);
    void leCurrentPageProccessChanges();
    void showPage(const QImage &image);
    // Fits the page again when a fit button is on; false when none is.
    bool refitIfFitting();
    void hidePage();
    bool pageIsShown() const;

    void stepZoom(int levelIndex);
    void applyZoomLevel(int index);
    void applyTypedZoom();
    void setZoomLevelText(double factor);
    void uncheckFitButtons();

    X509Certificate2Ultra m_signingCertificate;
    // Made at the first request to change the certificate and kept; a child
    // of this window.
    CertForm *m_certForm = nullptr;
    DocumentWorkflow m_workflow;
    PageCache m_pageCache;
    bool m_signedSuccessfully = false;
    DocInfo m_docInfo;
    int m_currentPage = 0;
    double m_zoomPercent = 100.0;
    const bool m_viewOnly;
    const bool m_filterOnlyValidCerts;
    const bool m_filterOnlyQualifiedCerts;
    // Set once the page has been told that the workflow ended.
    bool m_finished = false;
    WaitDialog *m_waitDialog = nullptr;
    std::unique_ptr<Ui::MainWindow> m_ui;
};
