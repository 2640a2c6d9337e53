#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "appexception.h"
#include "certform.h"
#include "certstorefactory.h"
#include "closedialog.h"
#include "msgbox.h"
#include "pageimagereader.h"
#include "pinformprompt.h"
#include "quillmarkversion.h"
#include "waitdialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QSysInfo>
#include <QtDebug>

#include <algorithm>
#include <cmath>

namespace {

constexpr double minimumTypedZoom = 10.0;
constexpr double maximumTypedZoom = 6400.0;

QString caption()
{
    return QObject::tr("AppName");
}

} // namespace

const QList<double> MainWindow::zoomLevels = {10,  25,  50,  75,   100,  125,  150,
                                              200, 400, 800, 1600, 2400, 3200, 6400};

MainWindow::MainWindow(bool viewOnly, bool filterOnlyValidCerts, bool filterOnlyQualifiedCerts,
                       int pageCacheSize, const StoreDefinitions &signingCertificateStores,
                       QWidget *parent)
    : QMainWindow(parent)
    , m_workflow(signingCertificateStores, [] { return std::make_shared<PinFormPrompt>(); })
    , m_pageCache(pageCacheSize)
    , m_viewOnly(viewOnly)
    , m_filterOnlyValidCerts(filterOnlyValidCerts)
    , m_filterOnlyQualifiedCerts(filterOnlyQualifiedCerts)
    , m_ui(std::make_unique<Ui::MainWindow>())
{
    m_ui->setupUi(this);
    // The combo's own field takes the focus and needs the name too.
    m_ui->cmbZoomLevel->lineEdit()->setAccessibleName(m_ui->cmbZoomLevel->accessibleName());
    applyMode();
    // No page to go to until the document information has been accepted:
    // a refused one leaves the window without any.
    m_ui->btnPreviousPage->setEnabled(false);
    m_ui->btnNextPage->setEnabled(false);
    updateWindowTitle(X509Certificate2Ultra(), QString());
    fillZoomLevels();
    connect(this, &MainWindow::windowShown, this, &MainWindow::afterWindowIsShown,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
    connect(&m_workflow, &DocumentWorkflow::signingStarted, this, &MainWindow::disableToolStrips);
    connect(&m_workflow, &DocumentWorkflow::signingEnded, this, &MainWindow::enableToolStrips);
    connect(&m_workflow, &DocumentWorkflow::signatureReady, this, &MainWindow::requestSignFinish);
    connect(&m_workflow, &DocumentWorkflow::signingFailed, this, &MainWindow::showSigningFailure);
    setSigningCertificate(X509Certificate2Ultra());
}

MainWindow::~MainWindow()
{
    delete m_waitDialog;
}

CommunicationManager &MainWindow::communicationManager()
{
    return m_workflow.communicationManager();
}

DocumentWorkflow &MainWindow::workflow()
{
    return m_workflow;
}

void MainWindow::applyMode()
{
    m_ui->btnChangeCert->setVisible(!m_viewOnly);
    m_ui->btnSign->setVisible(!m_viewOnly);
    m_ui->lineSeparatorSign->setVisible(!m_viewOnly);
    m_ui->btnClose->setVisible(m_viewOnly);
    m_ui->lblViewer->setVisible(m_viewOnly);
    m_ui->lineSeparatorClose->setVisible(m_viewOnly);
}

void MainWindow::fillZoomLevels()
{
    const QSignalBlocker quiet(m_ui->cmbZoomLevel);
    for (const double level : zoomLevels)
        m_ui->cmbZoomLevel->addItem(QString::number(level, 'f', 2) + QLatin1Char('%'), level);
    m_ui->cmbZoomLevel->setCurrentIndex(zoomLevels.indexOf(m_zoomPercent));
}

void MainWindow::updateWindowTitle(const X509Certificate2Ultra &serverCertificate,
                                   const QString &docId)
{
    const QStringList commonNames = serverCertificate.isNull()
                                        ? QStringList()
                                        : serverCertificate.subjectInfo(QSslCertificate::CommonName);
    const QString serverName = commonNames.isEmpty() ? QObject::tr("UnknownServerName")
                                                     : commonNames.first();
    const QString documentText = docId.isNull() ? QObject::tr("UnknownDocId") : docId;
    const QString title = QObject::tr("AppTitle").arg(QObject::tr("AppName"), serverName, documentText);
    qDebug() << "New title: " << title;
    setWindowTitle(title);
}

void MainWindow::disableToolStrips()
{
    m_ui->widgetLayoutTop->setEnabled(false);
    m_ui->widgetLayoutBottom->setEnabled(false);
}

void MainWindow::enableToolStrips()
{
    m_ui->widgetLayoutTop->setEnabled(true);
    m_ui->widgetLayoutBottom->setEnabled(true);
}

void MainWindow::afterWindowIsShown()
{
    m_workflow.loadConfiguration();
    if (m_docInfo.contentType.isEmpty() && m_workflow.awaitedAnswer() == CommunicationManager::None)
        requestGetDocumentInfo();
}

// --- wait panel ------------------------------------------------------------

void MainWindow::showWaitDialog(const QString &text)
{
    qDebug() << text;
    delete m_waitDialog;
    m_waitDialog = new WaitDialog(this);
    m_waitDialog->setWindowModality(Qt::ApplicationModal);
    disableToolStrips();
    m_waitDialog->setText(text);
    m_waitDialog->show();
}

void MainWindow::hideWaitDialog()
{
    if (m_waitDialog) {
        m_waitDialog->close();
        delete m_waitDialog;
        m_waitDialog = nullptr;
    }
    enableToolStrips();
    activateWindow();
}

// --- document information and pages ------------------------------------------

void MainWindow::requestGetDocumentInfo()
{
    qDebug() << "Requesting document info";
    showWaitDialog(QObject::tr("PanelWaitTextForGetDocumentInfo"));
    sendRequest([this] { m_workflow.requestGetDocumentInfo(); });
}

void MainWindow::requestGetDocumentPage(int page)
{
    qDebug() << "Requesting document page number: " << page;
    hidePage();
    showWaitDialog(QObject::tr("PanelWaitTextForGetDocumentPage").arg(page));
    sendRequest([this, page] { m_workflow.requestGetDocumentPage(page); });
}

void MainWindow::sendRequest(const std::function<void()> &send)
{
    try {
        send();
    } catch (const AppException &e) {
        MsgBox::showError(this, caption(), e, [this] { hideWaitDialog(); });
    }
}

bool MainWindow::takeAwaitedAnswer(CommunicationManager::RequestKind kind,
                                   const QString &exchangeName)
{
    if (m_workflow.takeAwaitedAnswer(kind))
        return true;
    // An answer nobody asked for says nothing about the document on screen;
    // it must not end the workflow or take the wait panel of a request
    // that is still running.
    qWarning() << "Answer without its request:" << exchangeName;
    MsgBox::showError(this, caption(), QObject::tr("CommunicationMismatchResponse").arg(exchangeName));
    return false;
}

void MainWindow::processGetDocumentInfoResponse(const QString &response)
{
    qDebug() << "Processing document info response";
    processAnswer(CommunicationManager::GetDocumentInfo, QStringLiteral("GetDocumentInfo"), [&] {
        acceptDocumentInfo(m_workflow.processGetDocumentInfoResponse(response));
    });
}

void MainWindow::processAnswer(CommunicationManager::RequestKind kind, const QString &exchangeName,
                               const std::function<void()> &accept)
{
    if (!takeAwaitedAnswer(kind, exchangeName))
        return;
    hideWaitDialog();
    try {
        accept();
    } catch (const AppException &e) {
        failAnswer(e);
    }
}

void MainWindow::acceptDocumentInfo(const GetDocumentInfoResponse &response)
{
    // Without its document information the answer tells no page count at all.
    if (!response.docInfo || response.docInfo->pages < 1)
        throw AppException(QObject::tr("DocumentContainsNoPages"), APP_LOCATION, true);
    updateWindowTitle(m_workflow.communicationManager().serverCertificate(),
                      m_workflow.communicationManager().documentProvingData().docId);
    m_docInfo = *response.docInfo;
    changePageTo(1);
}

void MainWindow::processGetDocumentPageResponse(const QString &response)
{
    qDebug() << "Processing document page response";
    processAnswer(CommunicationManager::GetDocumentPage, QStringLiteral("GetDocumentPage"), [&] {
        acceptDocumentPage(m_workflow.processGetDocumentPageResponse(response));
    });
}

void MainWindow::acceptDocumentPage(const GetDocumentPageResponse &response)
{
    const QImage image = response.page ? PageImageReader::read(QByteArray::fromBase64(response.page->data))
                                       : QImage();
    if (image.isNull())
        throw AppException(QObject::tr("InvalidPageImage"), APP_LOCATION, true);
    m_pageCache.insert(response.pageNumber, image);
    showPage(*m_pageCache.object(response.pageNumber));
}

void MainWindow::failAnswer(const AppException &e)
{
    MsgBox::showError(this, caption(), e, [this] { close(); });
}

void MainWindow::changePageTo(int page)
{
    qDebug() << "Page is changing to" << page;
    m_currentPage = page;
    m_ui->btnPreviousPage->setEnabled(page != 1);
    m_ui->btnNextPage->setEnabled(m_docInfo.pages > 1 && page != m_docInfo.pages);
    m_ui->leCurrentPage->setText(QString::number(page));
    m_ui->lblTotalPages->setText(QString::number(m_docInfo.pages));
    if (const auto cached = m_pageCache.object(page))
        showPage(*cached);
    else
        requestGetDocumentPage(page);
    m_ui->imageViewer->setFocus();
}

void MainWindow::on_btnPreviousPage_clicked()
{
    changePageTo(m_currentPage - 1);
}

void MainWindow::on_btnNextPage_clicked()
{
    changePageTo(m_currentPage + 1);
}

void MainWindow::on_leCurrentPage_returnPressed()
{
    qDebug() << "Page number entered";
    if (m_ui->leCurrentPage->text() != QString::number(m_currentPage))
        leCurrentPageProccessChanges();
    m_ui->imageViewer->setFocus();
}

void MainWindow::leCurrentPageProccessChanges()
{
    qDebug() << "New page was set";
    const QString typed = m_ui->leCurrentPage->text();
    bool isNumber = false;
    const int page = typed.toInt(&isNumber, 10);
    if (!isNumber || page < 1 || page > m_docInfo.pages) {
        MsgBox::showError(this, caption(), QObject::tr("PageDoesNotExist").arg(typed),
                          [this] { m_ui->leCurrentPage->setText(QString::number(m_currentPage)); });
        return;
    }
    changePageTo(page);
}

void MainWindow::showPage(const QImage &image)
{
    qDebug() << "Show page" << m_currentPage;
    ImageViewer *viewer = m_ui->imageViewer;
    viewer->setImage(image);
    // The viewer has the focus: a screen reader hears which page came.
    viewer->setAccessibleName(QObject::tr("PageImageName").arg(m_currentPage).arg(m_docInfo.pages));
    if (!refitIfFitting())
        viewer->setScale(m_zoomPercent * 0.01);
    setZoomLevelText(viewer->scaleFactor());
}

bool MainWindow::refitIfFitting()
{
    ImageViewer *viewer = m_ui->imageViewer;
    if (m_ui->btnZoomPage->isChecked())
        viewer->fitToPage();
    else if (m_ui->btnZoomWidth->isChecked())
        viewer->fitToWidth();
    else
        return false;
    m_zoomPercent = viewer->scaleFactor() * 100;
    return true;
}

void MainWindow::hidePage()
{
    m_ui->imageViewer->clear();
}

bool MainWindow::pageIsShown() const
{
    return !m_pageCache.isEmpty() && m_workflow.awaitedAnswer() != CommunicationManager::GetDocumentPage;
}

// --- zoom --------------------------------------------------------------------

void MainWindow::on_btnZoomIn_clicked()
{
    const auto next = std::find_if(zoomLevels.cbegin(), zoomLevels.cend(),
                                   [this](double level) { return level > m_zoomPercent; });
    if (next != zoomLevels.cend())
        stepZoom(static_cast<int>(next - zoomLevels.cbegin()));
}

void MainWindow::on_btnZoomOut_clicked()
{
    const auto previous = std::find_if(zoomLevels.crbegin(), zoomLevels.crend(),
                                       [this](double level) { return level < m_zoomPercent; });
    if (previous != zoomLevels.crend())
        stepZoom(static_cast<int>(zoomLevels.crend() - previous) - 1);
}

void MainWindow::stepZoom(int levelIndex)
{
    // The combo does not signal a change to the index it already has, which
    // it still has after a fit or a typed zoom; the level is applied anyway.
    if (m_ui->cmbZoomLevel->currentIndex() == levelIndex)
        applyZoomLevel(levelIndex);
    else
        m_ui->cmbZoomLevel->setCurrentIndex(levelIndex);
    m_zoomPercent = zoomLevels.at(levelIndex);
}

void MainWindow::on_cmbZoomLevel_currentIndexChanged(int index)
{
    qDebug() << "Zoom level index changed to" << index;
    applyZoomLevel(index);
}

void MainWindow::applyZoomLevel(int index)
{
    if (m_pageCache.isEmpty() || index < 0 || index >= zoomLevels.size())
        return;
    m_zoomPercent = zoomLevels.at(index);
    m_ui->imageViewer->setScale(m_zoomPercent * 0.01);
    uncheckFitButtons();
    setZoomLevelText(m_ui->imageViewer->scaleFactor());
}

void MainWindow::on_btnZoomWidth_clicked()
{
    m_ui->imageViewer->fitToWidth();
    m_zoomPercent = m_ui->imageViewer->scaleFactor() * 100;
    setZoomLevelText(m_ui->imageViewer->scaleFactor());
    m_ui->btnZoomPage->setChecked(false);
}

void MainWindow::on_btnZoomPage_clicked()
{
    m_ui->imageViewer->fitToPage();
    m_zoomPercent = m_ui->imageViewer->scaleFactor() * 100;
    setZoomLevelText(m_ui->imageViewer->scaleFactor());
    m_ui->btnZoomWidth->setChecked(false);
}

void MainWindow::on_btnDefaultSize_clicked()
{
    m_ui->imageViewer->resetScale();
    m_zoomPercent = 100.0;
    setZoomLevelText(m_ui->imageViewer->scaleFactor());
    uncheckFitButtons();
}

void MainWindow::applyTypedZoom()
{
    QString typed = m_ui->cmbZoomLevel->currentText();
    typed.remove(QLatin1Char('%'));
    bool isNumber = false;
    const double value = typed.toDouble(&isNumber);
    if (isNumber && std::isfinite(value) && pageIsShown()) {
        // The zoom buttons step on from what the user typed.
        m_zoomPercent = std::clamp(value, minimumTypedZoom, maximumTypedZoom);
        m_ui->imageViewer->setScale(m_zoomPercent * 0.01);
        uncheckFitButtons();
    }
    setZoomLevelText(m_ui->imageViewer->scaleFactor());
}

void MainWindow::setZoomLevelText(double factor)
{
    m_ui->cmbZoomLevel->setEditText(QString::number(factor * 100, 'f', 2) + QLatin1Char('%'));
}

void MainWindow::uncheckFitButtons()
{
    m_ui->btnZoomPage->setChecked(false);
    m_ui->btnZoomWidth->setChecked(false);
}

// --- about and closing ---------------------------------------------------------

void MainWindow::on_btnInfo_clicked()
{
    const QString wordSize = QStringLiteral("%1-bit").arg(QSysInfo::WordSize);
    MsgBox::showInfo(this, QObject::tr("AboutDialogTitle"),
                     QObject::tr("AboutDialogText")
                         .arg(QObject::tr("AppName"), QString::fromLatin1(QuillmarkVersion::component),
                              wordSize));
}

void MainWindow::on_btnClose_clicked()
{
    close();
}

void MainWindow::terminate()
{
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    qDebug() << "Close event called";
    // The window only hides; the component deletes it once the page has been told.
    event->ignore();
    if (m_finished)
        return;
    if (m_viewOnly || m_signedSuccessfully) {
        finish();
        return;
    }
    CloseDialog::askToClose(this, [this](bool mayClose) {
        if (mayClose)
            finish();
    });
}

void MainWindow::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    // A signing run still going asks for no PIN and uses no key any more.
    m_workflow.giveUpSigning();
    emit signingProcessFinishedEvent(m_signedSuccessfully);
    hide();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    emit windowShown();
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    QMainWindow::keyPressEvent(event);
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && m_ui->cmbZoomLevel->hasFocus()) {
        applyTypedZoom();
        event->accept();
    }
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (!pageIsShown())
        return;
    if (refitIfFitting())
        setZoomLevelText(m_ui->imageViewer->scaleFactor());
    else
        m_ui->imageViewer->renderVisibleRegion();
}

// --- signing certificate and configuration ---------------------------------------

void MainWindow::setSigningCertificate(const X509Certificate2Ultra &certificate)
{
    m_signingCertificate = certificate;
    if (certificate.isNull()) {
        m_ui->btnChangeCert->setText(QObject::tr("BtnChangeCertTextDefault"));
        m_ui->btnChangeCert->setToolTip(QString());
        m_ui->btnSign->setEnabled(false);
        return;
    }
    const QStringList subjectNames = certificate.subjectInfo(QSslCertificate::CommonName);
    const QStringList issuerNames = certificate.issuerInfo(QSslCertificate::CommonName);
    m_ui->btnChangeCert->setText(QObject::tr("BtnChangeCertTextSelected")
                                     .arg(subjectNames.isEmpty() ? certificate.subjectDn() : subjectNames.first()));
    m_ui->btnChangeCert->setToolTip(
        QObject::tr("BtnChangeCertToolTipText")
            .arg(QString::fromLatin1(certificate.serialNumber()),
                 issuerNames.isEmpty() ? certificate.issuerDn() : issuerNames.first(),
                 certificate.expiryDate().toLocalTime().toString(QStringLiteral("dd.MM.yyyy"))));
    m_ui->btnSign->setEnabled(true);
}

void MainWindow::configurationLoaded(const QString &data)
{
    try {
        if (!m_workflow.applyStoredConfiguration(data))
            return;
        const Configuration &configuration = m_workflow.configuration();
        if (!m_viewOnly && configuration.isValid())
            setSigningCertificate(X509Certificate2Ultra(configuration.getSigningCertificate(), QSsl::Der));
    } catch (const AppException &e) {
        MsgBox::showErrorWithDetail(this, caption(), QObject::tr("ConfigurationFailedToLoad"), e.toString(true));
    }
}

void MainWindow::configurationSaved(bool ok)
{
    if (!ok)
        MsgBox::showError(this, caption(), QObject::tr("ConfigurationFailedToSave"));
}

void MainWindow::on_btnChangeCert_clicked()
{
    qDebug() << "Opening cert form";
    if (!m_certForm) {
        m_certForm = new CertForm(this, CertStoreFactory::getUsableStores(m_workflow.signingCertificateStores()),
                                  m_filterOnlyValidCerts, m_filterOnlyQualifiedCerts, m_workflow.configuration());
        connect(m_certForm, &CertForm::configurationSet, this, &MainWindow::updateConfiguration);
    }
    m_certForm->show();
}

void MainWindow::updateConfiguration()
{
    qDebug() << "New certificate was set";
    setSigningCertificate(m_certForm->getSelectedCertificate());
    m_workflow.chooseConfiguration(m_certForm->getConfiguration());
}

// --- signing -----------------------------------------------------------------------

void MainWindow::on_btnSign_clicked()
{
    qDebug() << "Sign button clicked";
    if (!m_signingCertificate.isNull())
        requestSignInit(m_signingCertificate.toPemString());
}

void MainWindow::requestSignInit(const QString &certificate)
{
    qDebug() << "Requesting sign init";
    showWaitDialog(QObject::tr("PanelWaitTextForSignInit"));
    sendRequest([this, &certificate] { m_workflow.requestSignInit(certificate); });
}

void MainWindow::processSignInitResponse(const QString &response)
{
    qDebug() << "Processing sign init response";
    if (!takeAwaitedAnswer(CommunicationManager::SignInit, QStringLiteral("SignInit")))
        return;
    hideWaitDialog();
    m_workflow.startSigning(response);
}

void MainWindow::showSigningFailure(const AppException &e)
{
    MsgBox::showError(this, caption(), e);
}

void MainWindow::requestSignFinish(const QString &signature)
{
    qDebug() << "Requesting sign finish";
    showWaitDialog(QObject::tr("PanelWaitTextForSignFinish"));
    sendRequest([this, &signature] { m_workflow.requestSignFinish(signature); });
}

void MainWindow::processSignFinishResponse(const QString &response)
{
    qDebug() << "Processing sign finish response";
    if (!takeAwaitedAnswer(CommunicationManager::SignFinish, QStringLiteral("SignFinish")))
        return;
    hideWaitDialog();
    disableToolStrips();
    try {
        m_workflow.processSignFinishResponse(response);
    } catch (const AppException &e) {
        enableToolStrips();
        failAnswer(e);
        return;
    }
    // Recorded before the box: the server has accepted the signature,
    // whatever ends the window while the box is open.
    m_signedSuccessfully = true;
    MsgBox::showInfo(this, caption(), QObject::tr("SigningSuccessfulDialogText"), [this] { close(); });
}
