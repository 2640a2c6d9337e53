#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "appexception.h"
#include "closedialog.h"
#include "msgbox.h"
#include "quillmarkversion.h"
#include "waitdialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QSysInfo>
#include <QUnhandledException>
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
    , m_pageCache(pageCacheSize)
    , m_viewOnly(viewOnly)
    , m_filterOnlyValidCerts(filterOnlyValidCerts)
    , m_filterOnlyQualifiedCerts(filterOnlyQualifiedCerts)
    , m_signingCertificateStores(signingCertificateStores)
    , m_ui(std::make_unique<Ui::MainWindow>())
{
    m_ui->setupUi(this);
    applyMode();
    updateWindowTitle(X509Certificate2Ultra(), QString());
    fillZoomLevels();
    connect(this, &MainWindow::windowShown, this, &MainWindow::afterWindowIsShown,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
}

MainWindow::~MainWindow()
{
    delete m_waitDialog;
}

CommunicationManager &MainWindow::communicationManager()
{
    return m_communicationManager;
}

void MainWindow::applyMode()
{
    m_ui->btnChangeCert->setVisible(!m_viewOnly);
    m_ui->btnSign->setVisible(!m_viewOnly);
    m_ui->lineSeparatorSign->setVisible(!m_viewOnly);
    m_ui->btnClose->setVisible(m_viewOnly);
    m_ui->lblViewer->setVisible(m_viewOnly);
    m_ui->lineSeparatorClose->setVisible(m_viewOnly);
    // Nothing to sign with until a certificate has been chosen.
    m_ui->btnSign->setEnabled(false);
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
    if (m_docInfo.contentType.isEmpty() && m_awaitedAnswer == CommunicationManager::None)
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
    try {
        m_communicationManager.requestGetDocumentInfo();
        m_awaitedAnswer = CommunicationManager::GetDocumentInfo;
    } catch (const AppException &e) {
        QPointer<MainWindow> alive(this);
        MsgBox::showError(this, caption(), e);
        if (alive)
            hideWaitDialog();
    }
}

void MainWindow::requestGetDocumentPage(int page)
{
    qDebug() << "Requesting document page number: " << page;
    hidePage();
    showWaitDialog(QObject::tr("PanelWaitTextForGetDocumentPage").arg(page));
    try {
        m_communicationManager.requestGetDocumentPage(page);
        m_awaitedAnswer = CommunicationManager::GetDocumentPage;
    } catch (const AppException &e) {
        QPointer<MainWindow> alive(this);
        MsgBox::showError(this, caption(), e);
        if (alive)
            hideWaitDialog();
    }
}

bool MainWindow::takeAwaitedAnswer(CommunicationManager::RequestKind kind,
                                   const QString &exchangeName)
{
    if (m_awaitedAnswer == kind) {
        m_awaitedAnswer = CommunicationManager::None;
        return true;
    }
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
    if (!takeAwaitedAnswer(CommunicationManager::GetDocumentInfo, QStringLiteral("GetDocumentInfo")))
        return;
    hideWaitDialog();
    try {
        acceptDocumentInfo(m_communicationManager.processGetDocumentInfoResponse(response));
    } catch (const AppException &e) {
        failAnswer(e);
    } catch (const QUnhandledException &e) {
        failAnswer(QString::fromLocal8Bit(e.what()));
    }
}

void MainWindow::acceptDocumentInfo(const GetDocumentInfoResponse &response)
{
    // Without its document information the answer tells no page count at all.
    if (!response.docInfo || response.docInfo->pages < 1)
        throw AppException(QObject::tr("DocumentContainsNoPages"), APP_LOCATION, true);
    updateWindowTitle(m_communicationManager.serverCertificate(),
                      m_communicationManager.documentProvingData().docId);
    m_docInfo = *response.docInfo;
    changePageTo(1);
}

void MainWindow::processGetDocumentPageResponse(const QString &response)
{
    qDebug() << "Processing document page response";
    if (!takeAwaitedAnswer(CommunicationManager::GetDocumentPage, QStringLiteral("GetDocumentPage")))
        return;
    hideWaitDialog();
    try {
        acceptDocumentPage(m_communicationManager.processGetDocumentPageResponse(response));
    } catch (const AppException &e) {
        failAnswer(e);
    } catch (const QUnhandledException &e) {
        failAnswer(QString::fromLocal8Bit(e.what()));
    }
}

void MainWindow::acceptDocumentPage(const GetDocumentPageResponse &response)
{
    const QImage image = response.page ? QImage::fromData(QByteArray::fromBase64(response.page->data))
                                       : QImage();
    if (image.isNull())
        throw AppException(QObject::tr("InvalidPageImage"), APP_LOCATION, true);
    m_pageCache.insert(response.pageNumber, image);
    showPage(*m_pageCache.object(response.pageNumber));
}

void MainWindow::failAnswer(const AppException &e)
{
    QPointer<MainWindow> alive(this);
    MsgBox::showError(this, caption(), e);
    // Terminating while the box was open may already have ended the window.
    if (alive)
        close();
}

void MainWindow::failAnswer(const QString &details)
{
    QPointer<MainWindow> alive(this);
    MsgBox::showErrorWithDetail(this, caption(), QObject::tr("GeneralExceptionMessage"), details);
    if (alive)
        close();
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
        QPointer<MainWindow> alive(this);
        MsgBox::showError(this, caption(), QObject::tr("PageDoesNotExist").arg(typed));
        if (alive)
            m_ui->leCurrentPage->setText(QString::number(m_currentPage));
        return;
    }
    changePageTo(page);
}

void MainWindow::showPage(const QImage &image)
{
    qDebug() << "Show page" << m_currentPage;
    ImageViewer *viewer = m_ui->imageViewer;
    viewer->setImage(image);
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
    return !m_pageCache.isEmpty() && m_awaitedAnswer != CommunicationManager::GetDocumentPage;
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
    if (!m_viewOnly && !m_signedSuccessfully) {
        QPointer<MainWindow> alive(this);
        const bool mayClose = CloseDialog::askToClose(this);
        if (!alive || !mayClose)
            return;
    }
    m_finished = true;
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
