#include "documentworkflow.h"

#include "capturedfailure.h"
#include "certstorefactory.h"
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

DocumentWorkflow::DocumentWorkflow(const StoreDefinitions &signingCertificateStores,
                                   PinPromptFactory pinPromptFactory)
    : m_communicationManager(makeCommunicationManager())
    , m_pinPromptFactory(std::move(pinPromptFactory))
    , m_signingCertificateStores(signingCertificateStores)
{
    connect(&m_signWatcher, &QFutureWatcherBase::finished, this, &DocumentWorkflow::finishSigning);
}

DocumentWorkflow::~DocumentWorkflow()
{
    // The task may still run; it ends at its next question to the person,
    // and its outcome goes nowhere.
    m_signWatcher.disconnect(this);
    giveUpSigning();
}

CommunicationManager &DocumentWorkflow::communicationManager()
{
    return *m_communicationManager;
}

const DocumentWorkflow::StoreDefinitions &DocumentWorkflow::signingCertificateStores() const
{
    return m_signingCertificateStores;
}

void DocumentWorkflow::sendRequest(RequestKind kind, const std::function<void()> &send)
{
    send();
    m_awaitedAnswer = kind;
}

void DocumentWorkflow::requestGetDocumentInfo()
{
    sendRequest(CommunicationManager::GetDocumentInfo,
                [this] { m_communicationManager->requestGetDocumentInfo(); });
}

void DocumentWorkflow::requestGetDocumentPage(int page)
{
    sendRequest(CommunicationManager::GetDocumentPage,
                [this, page] { m_communicationManager->requestGetDocumentPage(page); });
}

void DocumentWorkflow::requestSignInit(const QString &certificatePem)
{
    m_signingConfiguration = m_configuration;
    sendRequest(CommunicationManager::SignInit,
                [&] { m_communicationManager->requestSignInit(certificatePem); });
}

void DocumentWorkflow::requestSignFinish(const QString &signature)
{
    sendRequest(CommunicationManager::SignFinish,
                [&] { m_communicationManager->requestSignFinish(signature); });
}

DocumentWorkflow::RequestKind DocumentWorkflow::awaitedAnswer() const
{
    return m_awaitedAnswer;
}

bool DocumentWorkflow::takeAwaitedAnswer(RequestKind kind)
{
    if (m_awaitedAnswer != kind)
        return false;
    m_awaitedAnswer = CommunicationManager::None;
    return true;
}

GetDocumentInfoResponse DocumentWorkflow::processGetDocumentInfoResponse(const QString &response)
{
    return m_communicationManager->processGetDocumentInfoResponse(response);
}

GetDocumentPageResponse DocumentWorkflow::processGetDocumentPageResponse(const QString &response)
{
    return m_communicationManager->processGetDocumentPageResponse(response);
}

void DocumentWorkflow::processSignFinishResponse(const QString &response)
{
    m_communicationManager->processSignFinishResponse(response);
}

// --- signing -------------------------------------------------------------------

void DocumentWorkflow::startSigning(const QString &signInitResponse)
{
    if (isSigning())
        return;
    m_signingPrompt = m_pinPromptFactory();
    m_signingResult = std::make_shared<SigningResult>();
    emit signingStarted();
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
    emit signingEnded();
    if (givenUp)
        return;
    if (outcome.failure)
        emit signingFailed(*outcome.failure);
    else
        emit signatureReady(outcome.signature);
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

void DocumentWorkflow::chooseConfiguration(const Configuration &configuration)
{
    m_configuration = configuration;
    qDebug() << "Saving configuration";
    if (isSignalConnected(QMetaMethod::fromSignal(&DocumentWorkflow::saveConfigurationEvent)))
        emit saveConfigurationEvent(QString::fromLatin1(m_configuration.serialize().toUtf8().toBase64()));
}
