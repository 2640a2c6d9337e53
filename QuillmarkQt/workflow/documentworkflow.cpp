#include "documentworkflow.h"

#include "capturedfailure.h"
#include "certstorefactory.h"
#include "documentview.h"
#include "opensslthreadrelease.h"
#include "pinprompt.h"
#include "signaturegeneratorfactory.h"

#include <QMetaMethod>
#include <QMutexLocker>
#include <QtConcurrent>
#include <QtDebug>

#include <utility>

namespace {

// Deleted by whichever of workflow and signing task lets go last. The
// manager handles no events of its own, so a pool thread may delete it.
std::shared_ptr<CommunicationManager> makeCommunicationManager()
{
    return std::make_shared<CommunicationManager>();
}

} // namespace

DocumentWorkflow::DocumentWorkflow(bool viewOnly, const StoreDefinitions &signingCertificateStores,
                                   PinPromptFactory pinPromptFactory)
    : m_communicationManager(makeCommunicationManager()),
      m_pinPromptFactory(std::move(pinPromptFactory)),
      m_signingCertificateStores(signingCertificateStores), m_viewOnly(viewOnly)
{
    CommunicationManager *manager = m_communicationManager.get();
    connect(manager, &CommunicationManager::needGetDocumentInfoEvent, this,
            &DocumentWorkflow::needGetDocumentInfoEvent);
    connect(manager, &CommunicationManager::needGetDocumentPageEvent, this,
            &DocumentWorkflow::needGetDocumentPageEvent);
    connect(manager, &CommunicationManager::needSignInitEvent, this,
            &DocumentWorkflow::needSignInitEvent);
    connect(manager, &CommunicationManager::needSignFinishEvent, this,
            &DocumentWorkflow::needSignFinishEvent);
    connect(&m_signWatcher, &QFutureWatcherBase::finished, this, &DocumentWorkflow::finishSigning);
}

DocumentWorkflow::~DocumentWorkflow()
{
    setView(nullptr);
}

void DocumentWorkflow::setView(DocumentView *view)
{
    m_view = view;
    if (view)
        return;
    // The task may still run; it ends at its next question to the person,
    // and its outcome goes nowhere.
    m_signWatcher.disconnect(this);
    giveUpSigning();
}

bool DocumentWorkflow::isViewOnly() const
{
    return m_viewOnly;
}

const DocumentWorkflow::StoreDefinitions &DocumentWorkflow::signingCertificateStores() const
{
    return m_signingCertificateStores;
}

DocumentWorkflow::RequestKind DocumentWorkflow::awaitedAnswer() const
{
    return m_communicationManager->awaitedAnswer();
}

void DocumentWorkflow::viewShown()
{
    loadConfiguration();
    if (m_docInfo.contentType.isEmpty() && awaitedAnswer() == CommunicationManager::None)
        requestGetDocumentInfo();
}

// --- requests and answers -----------------------------------------------------------

void DocumentWorkflow::sendRequest(const std::function<void()> &send)
{
    try {
        send();
    } catch (const AppException &e) {
        m_view->showError(e, [this] { m_view->hideWaitPanel(); });
    }
}

void DocumentWorkflow::requestGetDocumentInfo()
{
    qDebug() << "Requesting document info";
    m_view->showWaitPanel(QObject::tr("PanelWaitTextForGetDocumentInfo"));
    sendRequest([this] { m_communicationManager->requestGetDocumentInfo(); });
}

void DocumentWorkflow::requestGetDocumentPage(int page)
{
    qDebug() << "Requesting document page number: " << page;
    m_view->hidePage();
    m_view->showWaitPanel(QObject::tr("PanelWaitTextForGetDocumentPage").arg(page));
    sendRequest([this, page] { m_communicationManager->requestGetDocumentPage(page); });
}

void DocumentWorkflow::requestSignInit(const QString &certificatePem)
{
    qDebug() << "Requesting sign init";
    m_view->showWaitPanel(QObject::tr("PanelWaitTextForSignInit"));
    m_signingConfiguration = m_configuration;
    sendRequest([&] { m_communicationManager->requestSignInit(certificatePem); });
}

void DocumentWorkflow::requestSignFinish(const QString &signature)
{
    qDebug() << "Requesting sign finish";
    m_view->showWaitPanel(QObject::tr("PanelWaitTextForSignFinish"));
    sendRequest([&] { m_communicationManager->requestSignFinish(signature); });
}

bool DocumentWorkflow::takeAwaitedAnswer(RequestKind kind, const QString &exchangeName)
{
    if (m_communicationManager->takeAwaitedAnswer(kind))
        return true;
    // An answer nobody asked for says nothing about the document on screen;
    // it must not end the workflow or take the wait panel of a request
    // that is still running.
    qWarning() << "Answer without its request:" << exchangeName;
    m_view->showError(QObject::tr("CommunicationMismatchResponse").arg(exchangeName), {});
    return false;
}

void DocumentWorkflow::processAnswer(RequestKind kind, const QString &exchangeName,
                                     const std::function<void()> &accept)
{
    if (!takeAwaitedAnswer(kind, exchangeName))
        return;
    m_view->hideWaitPanel();
    try {
        accept();
    } catch (const AppException &e) {
        failAnswer(e);
    }
}

void DocumentWorkflow::failAnswer(const AppException &e)
{
    m_view->showError(e, [this] { close(); });
}

void DocumentWorkflow::processGetDocumentInfoResponse(const QString &response)
{
    qDebug() << "Processing document info response";
    processAnswer(CommunicationManager::GetDocumentInfo, QStringLiteral("GetDocumentInfo"), [&] {
        acceptDocumentInfo(m_communicationManager->processGetDocumentInfoResponse(response));
    });
}

void DocumentWorkflow::acceptDocumentInfo(const GetDocumentInfoResponse &response)
{
    // Without its document information the answer tells no page count at all.
    if (!response.docInfo || response.docInfo->pages < 1)
        throw AppException(QObject::tr("DocumentContainsNoPages"), APP_LOCATION, true);
    m_view->showDocumentTitle(m_communicationManager->serverCertificate(),
                              m_communicationManager->documentProvingData().docId);
    m_docInfo = *response.docInfo;
    changePage(1);
}

void DocumentWorkflow::processGetDocumentPageResponse(const QString &response)
{
    qDebug() << "Processing document page response";
    processAnswer(CommunicationManager::GetDocumentPage, QStringLiteral("GetDocumentPage"), [&] {
        acceptDocumentPage(m_communicationManager->processGetDocumentPageResponse(response));
    });
}

void DocumentWorkflow::acceptDocumentPage(const GetDocumentPageResponse &response)
{
    if (!response.page
        || !m_view->showPageImage(response.pageNumber, QByteArray::fromBase64(response.page->data)))
        throw AppException(QObject::tr("InvalidPageImage"), APP_LOCATION, true);
}

void DocumentWorkflow::changePage(int page)
{
    qDebug() << "Page is changing to" << page;
    m_view->showPagePosition(page, m_docInfo.pages);
    if (!m_view->showCachedPage(page))
        requestGetDocumentPage(page);
    m_view->focusPage();
}

void DocumentWorkflow::processSignInitResponse(const QString &response)
{
    qDebug() << "Processing sign init response";
    if (!takeAwaitedAnswer(CommunicationManager::SignInit, QStringLiteral("SignInit")))
        return;
    m_view->hideWaitPanel();
    startSigning(response);
}

void DocumentWorkflow::processSignFinishResponse(const QString &response)
{
    qDebug() << "Processing sign finish response";
    if (!takeAwaitedAnswer(CommunicationManager::SignFinish, QStringLiteral("SignFinish")))
        return;
    m_view->hideWaitPanel();
    m_view->disableToolStrips();
    try {
        m_communicationManager->processSignFinishResponse(response);
    } catch (const AppException &e) {
        m_view->enableToolStrips();
        failAnswer(e);
        return;
    }
    // Recorded before the box: the server has accepted the signature,
    // whatever ends the workflow while the box is open.
    m_signedSuccessfully = true;
    m_view->showInfo(QObject::tr("SigningSuccessfulDialogText"), [this] { close(); });
}

// --- closing ---------------------------------------------------------------------

void DocumentWorkflow::close()
{
    if (m_finished)
        return;
    if (m_viewOnly || m_signedSuccessfully) {
        finish();
        return;
    }
    m_view->askToClose([this](bool mayClose) {
        if (mayClose)
            finish();
    });
}

void DocumentWorkflow::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    // A signing run still going asks for no PIN and uses no key any more.
    giveUpSigning();
    emit signingProcessFinishedEvent(m_signedSuccessfully);
    m_view->hideDocument();
}

// --- signing -------------------------------------------------------------------

void DocumentWorkflow::signDocument()
{
    if (!m_signingCertificate.isNull())
        requestSignInit(m_signingCertificate.toPemString());
}

void DocumentWorkflow::startSigning(const QString &signInitResponse)
{
    if (isSigning())
        return;
    m_signingPrompt = m_pinPromptFactory();
    m_signingResult = std::make_shared<SigningResult>();
    m_view->disableToolStrips();
    // Copies only: the workflow may be gone before the task ends.
    m_signWatcher.setFuture(
        QtConcurrent::run([manager = m_communicationManager, response = signInitResponse,
                           configuration = m_signingConfiguration, prompt = m_signingPrompt,
                           stores = m_signingCertificateStores, result = m_signingResult] {
            SigningOutcome outcome = sign(manager, response, configuration, stores, prompt);
            QMutexLocker lock(&result->mutex);
            result->outcome = std::move(outcome);
        }));
}

bool DocumentWorkflow::isSigning() const
{
    return m_signWatcher.isRunning();
}

void DocumentWorkflow::giveUpSigning()
{
    if (m_signingPrompt)
        m_signingPrompt->withdraw();
}

DocumentWorkflow::SigningOutcome DocumentWorkflow::sign(
    const std::shared_ptr<CommunicationManager> &manager, const QString &response,
    const Configuration &configuration, const StoreDefinitions &stores,
    const std::shared_ptr<PinPrompt> &pinPrompt)
{
    const OpenSslThreadRelease release;
    SigningOutcome outcome;
    outcome.failure = capturedFailure([&] {
        const SignInitResponse answer = manager->processSignInitResponse(response);
        const QString hexHash = answer.signInitOutput ? answer.signInitOutput->dataToSign : QString();
        const QByteArray hash = QByteArray::fromHex(hexHash.toUtf8());
        const auto generator =
            SignatureGeneratorFactory::getInstance(configuration, stores, *pinPrompt);
        const QString hashOid = answer.signInitOutput ? answer.signInitOutput->signatureAlgorithmOID : QString();
        outcome.signature = QString::fromLatin1(generator->signHash(hash, hashOid).toHex());
    });
    return outcome;
}

void DocumentWorkflow::finishSigning()
{
    SigningOutcome outcome;
    {
        QMutexLocker lock(&m_signingResult->mutex);
        outcome = std::move(m_signingResult->outcome);
    }
    m_signingResult.reset();
    const bool givenUp = m_signingPrompt && m_signingPrompt->isWithdrawn();
    m_signingPrompt.reset();
    m_view->enableToolStrips();
    if (givenUp)
        return;
    if (outcome.failure)
        m_view->showError(*outcome.failure, {});
    else
        requestSignFinish(outcome.signature);
}

// --- configuration -----------------------------------------------------------------

const Configuration &DocumentWorkflow::configuration() const
{
    return m_configuration;
}

void DocumentWorkflow::loadConfiguration()
{
    if (m_configurationRequest != ConfigurationRequest::NotSent)
        return;
    qDebug() << "Loading configuration";
    m_configuration = Configuration();
    m_configurationRequest = ConfigurationRequest::Answered;
    if (isSignalConnected(QMetaMethod::fromSignal(&DocumentWorkflow::loadConfigurationEvent))) {
        m_configurationRequest = ConfigurationRequest::Awaited;
        emit loadConfigurationEvent();
    }
}

bool DocumentWorkflow::applyStoredConfiguration(const QString &data)
{
    // A later answer would change the module, token or certificate under
    // the person's eyes.
    if (m_configurationRequest != ConfigurationRequest::Awaited) {
        qWarning() << "Configuration answer ignored: none is awaited";
        return false;
    }
    m_configurationRequest = ConfigurationRequest::Answered;
    QByteArray text = QByteArray::fromBase64(data.toUtf8());
    const int end = text.indexOf('\0');
    if (end >= 0)
        text.truncate(end);
    m_configuration = Configuration::deserialize(QString::fromUtf8(text));
    if (!m_configuration.isAvailableIn(CertStoreFactory::getUsableStores(m_signingCertificateStores)))
        m_configuration = Configuration();
    return true;
}

void DocumentWorkflow::configurationLoaded(const QString &data)
{
    try {
        if (!applyStoredConfiguration(data))
            return;
        if (!m_viewOnly && m_configuration.isValid())
            setSigningCertificate(
                X509Certificate2Ultra(m_configuration.getSigningCertificate(), QSsl::Der));
    } catch (const AppException &e) {
        m_view->showErrorWithDetail(QObject::tr("ConfigurationFailedToLoad"), e.toString(true));
    }
}

void DocumentWorkflow::configurationSaved(bool ok)
{
    if (!ok)
        m_view->showError(QObject::tr("ConfigurationFailedToSave"), {});
}

void DocumentWorkflow::setSigningCertificate(const X509Certificate2Ultra &certificate)
{
    m_signingCertificate = certificate;
    m_view->showSigningCertificate(certificate);
}

void DocumentWorkflow::chooseSigningCertificate(const X509Certificate2Ultra &certificate,
                                                const Configuration &configuration)
{
    setSigningCertificate(certificate);
    m_configuration = configuration;
    qDebug() << "Saving configuration";
    if (isSignalConnected(QMetaMethod::fromSignal(&DocumentWorkflow::saveConfigurationEvent)))
        emit saveConfigurationEvent(QString::fromLatin1(m_configuration.serialize().toUtf8().toBase64()));
}
