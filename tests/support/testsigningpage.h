#pragma once

#include "demoanswers.h"
#include "hostdriver.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// The web page and its signing server for tests of the real quillmark: opens
// the signing window for the sample document, answers every request the way
// the development signing server does, keeps the configuration text that
// quillmark saves and hands it back at the next load, and accepts a
// signature only when it verifies over the hash it gave out, with the
// certificate that came with the sign-init request.
class TestSigningPage
{
public:
    enum class SignInitAnswer {
        Valid,
        // Signed by the server, but answering another request.
        ForeignNonce,
    };

    enum class DocumentInfoAnswer {
        Valid,
        // Not an answer of the server at all.
        Junk,
    };

    explicit TestSigningPage(const QProcessEnvironment &environment);
    ~TestSigningPage();

    // Starts quillmark and asks it to sign (or view) the document with the given
    // certificate stores. The counts of events and saves start afresh; the
    // configuration, certificates and signatures of earlier runs stay.
    bool open(const QString &storeDefinition, bool filterOnlyValid = false, bool filterOnlyQualified = false);
    // The next document in the quillmark that runs, once the last window
    // has closed.
    bool openNext(const QString &storeDefinition, bool filterOnlyValid = false, bool filterOnlyQualified = false);
    HostDriver &host();
    // For the next open: the page's language ("en", "sk"; none is sent when
    // empty) and whether it asks to view instead of to sign.
    void setLanguage(const QString &language);
    void setViewOnly(bool viewOnly);

    void setDocumentInfoAnswer(DocumentInfoAnswer answer);
    void setSignInitAnswer(SignInitAnswer answer);
    // Replaces the kept configuration (Base64 text, as quillmark saves it).
    void setStoredConfiguration(const QString &base64);
    // Leaves the next LoadConfigurationEvent unanswered.
    void withholdConfiguration();
    // Answers LoadConfigurationEvent with this text once more right before
    // the answer to the next sign-init request, as a page that changes the
    // configuration after Sign was pressed.
    void sendConfigurationAtSignInit(const QString &base64);
    QString storedConfiguration() const;

    // Answers whatever quillmark sends until done() holds; false on timeout
    // or when quillmark ended.
    bool serveUntil(const std::function<bool()> &done, int timeout = HostDriver::defaultTimeout);
    // Serves for the given time and reports whether an event of that name came.
    bool eventArrivesWithin(const QString &shortName, int milliseconds);

    int eventCount(const QString &shortName) const;
    int saveCount() const;
    // Certificates (PEM) that came with the sign-init requests, in order.
    QList<QByteArray> signInitCertificates() const;
    // Signatures that verified and were answered with the signed document.
    QList<QByteArray> verifiedSignatures() const;
    int refusedSignatures() const;
    // The argument of SigningProcessFinishedEvent, once it came.
    std::optional<bool> finished() const;
    // Error texts of method answers, in order.
    QStringList methodErrors() const;

    QByteArray documentHash() const;
    const DemoAnswers &answers() const;

private:
    void handle(const QJsonObject &message);
    void handleEvent(const QString &shortName, const QJsonArray &args);
    QString signFinishAnswer(const QString &hexSignature, const QString &nonce);
    void respond(const QString &method, const QString &envelope);

    QProcessEnvironment m_environment;
    std::unique_ptr<HostDriver> m_host;
    DemoAnswers m_answers;
    QString m_sessionId;
    DocumentInfoAnswer m_documentInfoAnswer = DocumentInfoAnswer::Valid;
    SignInitAnswer m_signInitAnswer = SignInitAnswer::Valid;
    bool m_withholdConfiguration = false;
    QString m_configurationAtSignInit;
    QString m_language;
    bool m_viewOnly = false;
    QString m_storedConfiguration;
    QHash<QString, int> m_eventCounts;
    int m_saveCount = 0;
    QList<QByteArray> m_signInitCertificates;
    QList<QByteArray> m_verifiedSignatures;
    int m_refusedSignatures = 0;
    std::optional<bool> m_finished;
    QStringList m_methodErrors;
};
