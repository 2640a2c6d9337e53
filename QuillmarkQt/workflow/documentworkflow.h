#pragma once

#include "appexception.h"
#include "communicationmanager.h"
#include "configuration.h"
#include "docinfo.h"
#include "storedefinition.h"
#include "x509certificate2ultra.h"

#include <QFutureWatcher>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <functional>
#include <memory>

class DocumentView;
class PinPrompt;

// One document shown, and in signing mode signed, on behalf of the page:
// sends the one request the page is asked to answer, has its answer checked
// by the communication manager, keeps the signing configuration, runs the
// signing task and tells its view what to show. The view forwards what the
// person does; the component forwards the page's answers. Lives on the GUI
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

    DocumentWorkflow(bool viewOnly, const StoreDefinitions &signingCertificateStores,
                     PinPromptFactory pinPromptFactory);
    ~DocumentWorkflow() override;

    // The view sets itself when it is made and takes itself back when it
    // goes; a workflow without its view has ended, and a signing run still
    // going is given up.
    void setView(DocumentView *view);

    bool isViewOnly() const;
    const StoreDefinitions &signingCertificateStores() const;
    const Configuration &configuration() const;
    // Asked of the communication manager, the one that keeps track.
    RequestKind awaitedAnswer() const;

    // What the person does in the view.
    // The view is on screen: asks for the stored configuration and, once,
    // for the document information.
    void viewShown();
    void changePage(int page);
    void chooseSigningCertificate(const X509Certificate2Ultra &certificate,
                                  const Configuration &configuration);
    void signDocument();
    // Ends the workflow, in signing mode before the signature only when the
    // person agrees or the component is finishing.
    void close();

    // The page's answers. One nobody asked for is shown and changes nothing;
    // a failed one is shown and ends the workflow.
    void processGetDocumentInfoResponse(const QString &response);
    void processGetDocumentPageResponse(const QString &response);
    void processSignInitResponse(const QString &response);
    void processSignFinishResponse(const QString &response);
    // The page's answers to the two configuration requests. A stored
    // configuration that is not available here is forgotten.
    void configurationLoaded(const QString &data);
    void configurationSaved(bool ok);

signals:
    void needGetDocumentInfoEvent(const QString &nonce);
    void needGetDocumentPageEvent(int page, const QString &nonce);
    void needSignInitEvent(const QString &certificate, const QString &nonce);
    void needSignFinishEvent(const QString &signature, const QString &nonce);
    void loadConfigurationEvent();
    void saveConfigurationEvent(const QString &data);
    // Emitted before the view hides.
    void signingProcessFinishedEvent(bool successful);

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

    void requestGetDocumentInfo();
    void requestGetDocumentPage(int page);
    void requestSignInit(const QString &certificatePem);
    void requestSignFinish(const QString &signature);
    // Sends a request behind the wait panel that the caller has put up; a
    // request that cannot be sent is shown and takes the panel down.
    void sendRequest(const std::function<void()> &send);
    // False for an answer nobody asked for; the person is told and the
    // workflow carries on as it was.
    bool takeAwaitedAnswer(RequestKind kind, const QString &exchangeName);
    // Takes an awaited answer: accept reads and shows it, and a failure ends
    // the workflow.
    void processAnswer(RequestKind kind, const QString &exchangeName,
                       const std::function<void()> &accept);
    void acceptDocumentInfo(const GetDocumentInfoResponse &response);
    void acceptDocumentPage(const GetDocumentPageResponse &response);
    // A failed answer ends the workflow: error box, then close.
    void failAnswer(const AppException &e);

    // Checks the sign-init answer and signs its hash on the token with the
    // configuration of the last requestSignInit(), on a pool thread.
    void startSigning(const QString &signInitResponse);
    bool isSigning() const;
    // The running task asks for no PIN any more and uses no key.
    void giveUpSigning();
    static SigningOutcome sign(const std::shared_ptr<CommunicationManager> &manager,
                               const QString &response, const Configuration &configuration,
                               const StoreDefinitions &stores,
                               const std::shared_ptr<PinPrompt> &pinPrompt);
    void finishSigning();

    void setSigningCertificate(const X509Certificate2Ultra &certificate);
    void loadConfiguration();
    // Reads the page's answer (Base64 of the configuration text) to that
    // request; false for any other answer, which is ignored. Throws
    // AppException when the text cannot be read.
    bool applyStoredConfiguration(const QString &data);
    // Tells the page that the workflow ended and hides the view.
    void finish();

    // Shared with a signing task, which reads the sign-init answer through it.
    std::shared_ptr<CommunicationManager> m_communicationManager;
    const PinPromptFactory m_pinPromptFactory;
    // The prompt of the running signing task, shared with it.
    std::shared_ptr<PinPrompt> m_signingPrompt;
    const StoreDefinitions m_signingCertificateStores;
    const bool m_viewOnly;
    DocumentView *m_view = nullptr;
    DocInfo m_docInfo;
    X509Certificate2Ultra m_signingCertificate;
    Configuration m_configuration;
    ConfigurationRequest m_configurationRequest = ConfigurationRequest::NotSent;
    // The configuration as it stood when the person asked to sign: the one
    // the signing run uses, whatever arrives meanwhile.
    Configuration m_signingConfiguration;
    std::shared_ptr<SigningResult> m_signingResult;
    QFutureWatcher<void> m_signWatcher;
    bool m_signedSuccessfully = false;
    // Set once the page has been told that the workflow ended.
    bool m_finished = false;
};
