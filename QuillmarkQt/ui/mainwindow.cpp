#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "appexception.h"
#include "certform.h"
#include "certstorefactory.h"
#include "closedialog.h"
#include "documentworkflow.h"
#include "msgbox.h"
#include "pageimagereader.h"
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

MainWindow::MainWindow(DocumentWorkflow &workflow, bool filterOnlyValidCerts,
                       bool filterOnlyQualifiedCerts, int pageCacheSize, QWidget *parent)
    : QMainWindow(parent), m_workflow(workflow), m_pageCache(pageCacheSize),
      m_filterOnlyValidCerts(filterOnlyValidCerts),
      m_filterOnlyQualifiedCerts(filterOnlyQualifiedCerts), m_ui(std::make_unique<Ui::MainWindow>())
{
    m_ui->setupUi(this);
    // The combo's own field takes the focus and needs the name too.
    m_ui->cmbZoomLevel->lineEdit()->setAccessibleName(m_ui->cmbZoomLevel->accessibleName());
    applyMode();
    // No page to go to until the document information has been accepted:
    // a refused one leaves the window without any.
    m_ui->btnPreviousPage->setEnabled(false);
    m_ui->btnNextPage->setEnabled(false);
    showDocumentTitle(X509Certificate2Ultra(), QString());
    fillZoomLevels();
    connect(this, &MainWindow::windowShown, this, &MainWindow::afterWindowIsShown,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
    showSigningCertificate(X509Certificate2Ultra());
    m_workflow.setView(this);
}

MainWindow::~MainWindow()
{
    m_workflow.setView(nullptr);
    delete m_waitDialog;
}

void MainWindow::applyMode()
{
    const bool viewOnly = m_workflow.isViewOnly();
    m_ui->btnChangeCert->setVisible(!viewOnly);
    m_ui->btnSign->setVisible(!viewOnly);
    m_ui->lineSeparatorSign->setVisible(!viewOnly);
    m_ui->btnClose->setVisible(viewOnly);
    m_ui->lblViewer->setVisible(viewOnly);
    m_ui->lineSeparatorClose->setVisible(viewOnly);
}

void MainWindow::fillZoomLevels()
{
    const QSignalBlocker quiet(m_ui->cmbZoomLevel);
    for (const double level : zoomLevels)
        m_ui->cmbZoomLevel->addItem(QString::number(level, 'f', 2) + QLatin1Char('%'), level);
    m_ui->cmbZoomLevel->setCurrentIndex(zoomLevels.indexOf(m_zoomPercent));
}

void MainWindow::showDocumentTitle(const X509Certificate2Ultra &serverCertificate,
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
    m_workflow.viewShown();
}

// --- wait panel ------------------------------------------------------------

void MainWindow::showWaitPanel(const QString &text)
{
    qDebug() << text;
    delete m_waitDialog;
    m_waitDialog = new WaitDialog(this);
    m_waitDialog->setWindowModality(Qt::ApplicationModal);
    disableToolStrips();
    m_waitDialog->setText(text);
    m_waitDialog->show();
}

void MainWindow::hideWaitPanel()
{
    if (m_waitDialog) {
        m_waitDialog->close();
        delete m_waitDialog;
        m_waitDialog = nullptr;
    }
    enableToolStrips();
    activateWindow();
}

// --- pages ---------------------------------------------------------------------

void MainWindow::showPagePosition(int page, int pages)
{
    m_currentPage = page;
    m_pageCount = pages;
    m_ui->btnPreviousPage->setEnabled(page != 1);
    m_ui->btnNextPage->setEnabled(pages > 1 && page != pages);
    m_ui->leCurrentPage->setText(QString::number(page));
    m_ui->lblTotalPages->setText(QString::number(pages));
}

bool MainWindow::showCachedPage(int page)
{
    const auto cached = m_pageCache.object(page);
    if (cached)
        showPage(*cached);
    return cached.has_value();
}

bool MainWindow::showPageImage(int page, const QByteArray &imageData)
{
    const QImage image = PageImageReader::read(imageData);
    if (image.isNull())
        return false;
    m_pageCache.insert(page, image);
    showPage(*m_pageCache.object(page));
    return true;
}

void MainWindow::focusPage()
{
    m_ui->imageViewer->setFocus();
}

void MainWindow::on_btnPreviousPage_clicked()
{
    m_workflow.changePage(m_currentPage - 1);
}

void MainWindow::on_btnNextPage_clicked()
{
    m_workflow.changePage(m_currentPage + 1);
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
    if (!isNumber || page < 1 || page > m_pageCount) {
        MsgBox::showError(this, caption(), QObject::tr("PageDoesNotExist").arg(typed),
                          [this] { m_ui->leCurrentPage->setText(QString::number(m_currentPage)); });
        return;
    }
    m_workflow.changePage(page);
}

void MainWindow::showPage(const QImage &image)
{
    qDebug() << "Show page" << m_currentPage;
    ImageViewer *viewer = m_ui->imageViewer;
    viewer->setImage(image);
    // The viewer has the focus: a screen reader hears which page came.
    viewer->setAccessibleName(QObject::tr("PageImageName").arg(m_currentPage).arg(m_pageCount));
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
    return !m_pageCache.isEmpty()
           && m_workflow.awaitedAnswer() != CommunicationManager::GetDocumentPage;
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

void MainWindow::closeEvent(QCloseEvent *event)
{
    qDebug() << "Close event called";
    // The window only hides, once the workflow has ended; the component
    // deletes it then.
    event->ignore();
    m_workflow.close();
}

void MainWindow::askToClose(CloseAnswer answered)
{
    CloseDialog::askToClose(this, std::move(answered));
}

void MainWindow::hideDocument()
{
    hide();
}

// --- boxes -------------------------------------------------------------------------

void MainWindow::showError(const AppException &e, Continuation then)
{
    MsgBox::showError(this, caption(), e, std::move(then));
}

void MainWindow::showError(const QString &message, Continuation then)
{
    MsgBox::showError(this, caption(), message, std::move(then));
}

void MainWindow::showErrorWithDetail(const QString &message, const QString &details)
{
    MsgBox::showErrorWithDetail(this, caption(), message, details);
}

void MainWindow::showInfo(const QString &message, Continuation then)
{
    MsgBox::showInfo(this, caption(), message, std::move(then));
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

void MainWindow::showSigningCertificate(const X509Certificate2Ultra &certificate)
{
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

void MainWindow::on_btnChangeCert_clicked()
{
    qDebug() << "Opening cert form";
    if (!m_certForm) {
        m_certForm = new CertForm(
            this, CertStoreFactory::getUsableStores(m_workflow.signingCertificateStores()),
            m_filterOnlyValidCerts, m_filterOnlyQualifiedCerts, m_workflow.configuration());
        connect(m_certForm, &CertForm::configurationSet, this, &MainWindow::updateConfiguration);
    }
    m_certForm->show();
}

void MainWindow::updateConfiguration()
{
    qDebug() << "New certificate was set";
    m_workflow.chooseSigningCertificate(m_certForm->getSelectedCertificate(),
                                        m_certForm->getConfiguration());
}

// --- signing -----------------------------------------------------------------------

void MainWindow::on_btnSign_clicked()
{
    qDebug() << "Sign button clicked";
    m_workflow.signDocument();
}
