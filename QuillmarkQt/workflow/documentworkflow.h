#pragma once

#include "appexception.h"
#include "communicationmanager.h"
#include "configuration.h"
#include "storedefinition.h"

#include <QFutureWatcher>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <functional>
#include <memory>

class PinPrompt;

// What the document window shows, without the window: the one request the
// page is asked to answer, the communication manager that checks the
// answers, the signing configuration and the signing task. Lives on the GUI
// thread; the signing task runs on a pool thread with copies of what it
// needs, so that it may outlive the workflow, which gives it up instead of
// waiting for it.
class DocumentWorkflow : public QObject
{
    Q_OBJECT

public:
    using StoreDefinitions = QList<StoreDefinition>;
    using RequestKind = CommunicationManager::RequestKind;

    // Makes the prompt through which a signing run asks for PINs.
    using PinPromptFactory = std::function<std::shared_ptr<PinPrompt>()>;

    DocumentWorkflow(const StoreDefinitions &signingCertificateStores,
                     PinPromptFactory pinPromptFactory);
    ~DocumentWorkflow() override;

    CommunicationManager &communicationManager();
    const StoreDefinitions &signingCertificateStores() const;

    // Each sends one request and awaits its answer; an AppException leaves
    // when the request cannot be sent, and nothing is awaited then.
    void requestGetDocumentInfo();
    void requestGetDocumentPage(int page);
    void requestSignInit(const QString &certificatePem);
    void requestSignFinish(const QString &signature);

    RequestKind awaitedAnswer() const;
    // True for the awaited answer, which is awaited no longer; false for an
    // answer nobody asked for.
    bool takeAwaitedAnswer(RequestKind kind);

    // Check an answer taken with takeAwaitedAnswer(); AppException on failure.
    GetDocumentInfoResponse processGetDocumentInfoResponse(const QString &response);
    GetDocumentPageResponse processGetDocumentPageResponse(const QString &response);
    void processSignFinishResponse(const QString &response);

    // Checks the sign-init answer and signs its hash on the token with the
    // configuration of the last requestSignInit(), on a pool thread; signatureReady or
    // signingFailed follow unless the workflow is gone or gave the task up by then.
    void startSigning(const QString &signInitResponse);
    bool isSigning() const;
    // The running task asks for no PIN any more and uses no key.
    void giveUpSigning();

    const Configuration &configuration() const;
    // Asks the page for the stored configuration, once per workflow.
    void loadConfiguration();
    // Reads the page's answer (Base64 of the configuration text) to that
    // request; false for any other answer, which is ignored. A configuration
    // that is not available here is forgotten. Throws AppException when the
    // text cannot be read.
    bool applyStoredConfiguration(const QString &data);
    // The person chose another certificate: kept and sent to be stored.
    void chooseConfiguration(const Configuration &configuration);

signals:
    void loadConfigurationEvent();
    void saveConfigurationEvent(const QString &data);
    void signingStarted();
    void signatureReady(const QString &signature);
    void signingFailed(const AppException &e);
    void signingEnded();

private:
    struct SigningOutcome
    {
        QString signature;
        QSharedPointer<const AppException> failure;
    };
    // Written by the signing task, taken on the GUI thread once it has ended,
    // both under the mutex. Not returned through the task's future: a future
    // gone with its workflow drops its result on the GUI thread while the
    // task may just be storing it, ordered only by a count inside Qt.
    struct SigningResult
    {
        QMutex mutex;
        SigningOutcome outcome;
    };

    enum class ConfigurationRequest { NotSent, Awaited, Answered };

    void sendRequest(RequestKind kind, const std::function<void()> &send);
    static SigningOutcome sign(const std::shared_ptr<CommunicationManager> &manager,
                               const QString &response, const Configuration &configuration,
                               const StoreDefinitions &stores,
                               const std::shared_ptr<PinPrompt> &pinPrompt);
    void finishSigning();

    // Shared with a signing task, which reads the sign-init answer through it.
    std::shared_ptr<CommunicationManager> m_communicationManager;
    const PinPromptFactory m_pinPromptFactory;
    // The prompt of the running signing task, shared with it.
    std::shared_ptr<PinPrompt> m_signingPrompt;
    const StoreDefinitions m_signingCertificateStores;
    RequestKind m_awaitedAnswer = CommunicationManager::None;
    Configuration m_configuration;
    ConfigurationRequest m_configurationRequest = ConfigurationRequest::NotSent;
    // The configuration as it stood when the person asked to sign: the one
    // the signing run uses, whatever arrives meanwhile.
    Configuration m_signingConfiguration;
    std::shared_ptr<SigningResult> m_signingResult;
    QFutureWatcher<void> m_signWatcher;
};
