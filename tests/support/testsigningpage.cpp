#include "testsigningpage.h"

#include "fixturepaths.h"
#include "signaturecheck.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QUuid>

#include <utility>

namespace {

// A nonce that no request of quillmark carries.
const QString foreignNonce = QStringLiteral("{00000000-0000-4000-8000-000000000000}");

QString shortNameOf(const QJsonObject &message, const QString &member)
{
    return message.value(member).toString().section(QLatin1Char('.'), -1);
}

} // namespace

TestSigningPage::TestSigningPage(const QProcessEnvironment &environment)
    : m_environment(environment)
    , m_answers(QStringLiteral(QUILLMARK_SAMPLE_PDF), SigningIdentity::development(QStringLiteral("server-2014")))
{
}

TestSigningPage::~TestSigningPage() = default;

bool TestSigningPage::open(const QString &storeDefinition, bool filterOnlyValid, bool filterOnlyQualified)
{
    m_host = std::make_unique<HostDriver>(m_environment);
    if (!m_host->start())
        return false;
    const auto created = m_host->call(QStringLiteral("CreateInstance"));
    return created && created->value(QStringLiteral("error")).isNull()
           && openNext(storeDefinition, filterOnlyValid, filterOnlyQualified);
}

bool TestSigningPage::openNext(const QString &storeDefinition, bool filterOnlyValid, bool filterOnlyQualified)
{
    m_sessionId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_finished.reset();
    m_eventCounts.clear();
    m_saveCount = 0;
    const auto succeeded = [this](const QString &method, const QJsonArray &args) {
        const auto answer = m_host->call(method, args);
        return answer && answer->value(QStringLiteral("error")).isNull();
    };
    return (m_language.isEmpty() || succeeded(QStringLiteral("SetLanguage"), {m_language}))
           && succeeded(QStringLiteral("SetSigningCertificateStores"), {storeDefinition})
           && succeeded(QStringLiteral("SetFilterOnlyValidCerts"), {filterOnlyValid})
           && succeeded(QStringLiteral("SetFilterOnlyQualifiedCerts"), {filterOnlyQualified})
           && succeeded(m_viewOnly ? QStringLiteral("ViewDocument") : QStringLiteral("SignDocument"), {});
}

void TestSigningPage::setLanguage(const QString &language)
{
    m_language = language;
}

void TestSigningPage::setViewOnly(bool viewOnly)
{
    m_viewOnly = viewOnly;
}

HostDriver &TestSigningPage::host()
{
    return *m_host;
}

void TestSigningPage::setDocumentInfoAnswer(DocumentInfoAnswer answer)
{
    m_documentInfoAnswer = answer;
}

void TestSigningPage::withholdConfiguration()
{
    m_withholdConfiguration = true;
}

void TestSigningPage::sendConfigurationAtSignInit(const QString &base64)
{
    m_configurationAtSignInit = base64;
}

void TestSigningPage::setSignInitAnswer(SignInitAnswer answer)
{
    m_signInitAnswer = answer;
}

void TestSigningPage::setStoredConfiguration(const QString &base64)
{
    m_storedConfiguration = base64;
}

QString TestSigningPage::storedConfiguration() const
{
    return m_storedConfiguration;
}

bool TestSigningPage::serveUntil(const std::function<bool()> &done, int timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!done()) {
        if (deadline.hasExpired() || m_host->process().state() == QProcess::NotRunning)
            return false;
        if (const auto message = m_host->awaitMessage(50))
            handle(*message);
    }
    return true;
}

bool TestSigningPage::eventArrivesWithin(const QString &shortName, int milliseconds)
{
    const int before = eventCount(shortName);
    serveUntil([&]() { return eventCount(shortName) > before; }, milliseconds);
    return eventCount(shortName) > before;
}

void TestSigningPage::handle(const QJsonObject &message)
{
    if (message.contains(QStringLiteral("event"))) {
        handleEvent(shortNameOf(message, QStringLiteral("event")), message.value(QStringLiteral("args")).toArray());
        return;
    }
    const QJsonValue error = message.value(QStringLiteral("error"));
    if (!error.isNull() && !error.isUndefined())
        m_methodErrors.append(error.toString());
}

void TestSigningPage::handleEvent(const QString &shortName, const QJsonArray &args)
{
    ++m_eventCounts[shortName];
    const QString nonce = args.last().toString();
    if (shortName == QLatin1String("NeedGetDocumentInfoEvent")) {
        const bool valid = m_documentInfoAnswer == DocumentInfoAnswer::Valid;
        respond(QStringLiteral("ProcessGetDocumentInfoResponse"),
                valid ? m_answers.info(m_sessionId, nonce) : QStringLiteral("junk"));
    } else if (shortName == QLatin1String("NeedGetDocumentPageEvent")) {
        respond(QStringLiteral("ProcessGetDocumentPageResponse"),
                m_answers.page(m_sessionId, args.at(0).toInt(), nonce));
    } else if (shortName == QLatin1String("LoadConfigurationEvent")) {
        if (!std::exchange(m_withholdConfiguration, false))
            m_host->answerEvent(shortName, m_storedConfiguration);
    } else if (shortName == QLatin1String("SaveConfigurationEvent")) {
        ++m_saveCount;
        m_storedConfiguration = args.at(0).toString();
        m_host->answerEvent(shortName, true);
    } else if (shortName == QLatin1String("NeedSignInitEvent")) {
        m_signInitCertificates.append(args.at(0).toString().toUtf8());
        if (!m_configurationAtSignInit.isNull())
            m_host->answerEvent(QStringLiteral("LoadConfigurationEvent"),
                                std::exchange(m_configurationAtSignInit, QString()));
        const bool valid = m_signInitAnswer == SignInitAnswer::Valid;
        respond(QStringLiteral("ProcessSignInitResponse"), m_answers.signInit(m_sessionId, valid ? nonce : foreignNonce));
    } else if (shortName == QLatin1String("NeedSignFinishEvent")) {
        respond(QStringLiteral("ProcessSignFinishResponse"), signFinishAnswer(args.at(0).toString(), nonce));
    } else if (shortName == QLatin1String("SigningProcessFinishedEvent")) {
        m_finished = args.at(0).toBool();
    }
}

QString TestSigningPage::signFinishAnswer(const QString &hexSignature, const QString &nonce)
{
    const QByteArray signature = QByteArray::fromHex(hexSignature.toLatin1());
    const QByteArray signer = m_signInitCertificates.isEmpty() ? QByteArray() : m_signInitCertificates.last();
    if (!SignatureCheck::verifySha256(signer, documentHash(), signature)) {
        ++m_refusedSignatures;
        return m_answers.error(QStringLiteral("The signature does not match the signing certificate."), nonce);
    }
    m_verifiedSignatures.append(signature);
    return m_answers.signFinish(m_sessionId, nonce, signature);
}

void TestSigningPage::respond(const QString &method, const QString &envelope)
{
    // Not waited for: the answer to the call comes only after the boxes that
    // it opens have been closed.
    m_host->callMethod(method, {envelope});
}

int TestSigningPage::eventCount(const QString &shortName) const
{
    return m_eventCounts.value(shortName);
}

int TestSigningPage::saveCount() const
{
    return m_saveCount;
}

QList<QByteArray> TestSigningPage::signInitCertificates() const
{
    return m_signInitCertificates;
}

QList<QByteArray> TestSigningPage::verifiedSignatures() const
{
    return m_verifiedSignatures;
}

int TestSigningPage::refusedSignatures() const
{
    return m_refusedSignatures;
}

std::optional<bool> TestSigningPage::finished() const
{
    return m_finished;
}

QStringList TestSigningPage::methodErrors() const
{
    return m_methodErrors;
}

QByteArray TestSigningPage::documentHash() const
{
    return m_answers.documentHash();
}

const DemoAnswers &TestSigningPage::answers() const
{
    return m_answers;
}
