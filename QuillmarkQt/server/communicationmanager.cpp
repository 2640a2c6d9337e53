#include "communicationmanager.h"

#include "appexception.h"
#include "functionlog.h"
#include "responsecryptoprocessor.h"

#include <QCryptographicHash>
#include <QMutexLocker>
#include <QUuid>
#include <QXmlStreamReader>
#include <QtDebug>

#include <type_traits>

namespace {

AppException mismatch(const QString &message, const QString &file, int line,
                      const QString &function)
{
    return AppException(message, file, line, function, true);
}

QByteArray sha1Fingerprint(const X509Certificate2Ultra &certificate)
{
    return QCryptographicHash::hash(certificate.getRawData(), QCryptographicHash::Sha1);
}

} // namespace

CommunicationManager::CommunicationManager()
    : m_requestNames{QStringLiteral("None"), QStringLiteral("GetDocumentInfo"),
                     QStringLiteral("GetDocumentPage"), QStringLiteral("SignInit"),
                     QStringLiteral("SignFinish")}
{
}

void CommunicationManager::requestGetDocumentInfo()
{
    LOG_FUNCTION_START();
    QMutexLocker lock(&m_mutex);
    beginRequest(GetDocumentInfo);
    emit needGetDocumentInfoEvent(m_nonce);
}

void CommunicationManager::requestGetDocumentPage(int page)
{
    LOG_FUNCTION_START();
    QMutexLocker lock(&m_mutex);
    beginRequest(GetDocumentPage);
    m_requestedPage = page;
    emit needGetDocumentPageEvent(page, m_nonce);
}

void CommunicationManager::requestSignInit(const QString &certificate)
{
    LOG_FUNCTION_START();
    QMutexLocker lock(&m_mutex);
    beginRequest(SignInit);
    qDebug() << "Signing certificate:" << certificate;
    emit needSignInitEvent(certificate, m_nonce);
}

void CommunicationManager::requestSignFinish(const QString &signature)
{
    LOG_FUNCTION_START();
    QMutexLocker lock(&m_mutex);
    beginRequest(SignFinish);
    emit needSignFinishEvent(signature, m_nonce);
}

GetDocumentInfoResponse CommunicationManager::processGetDocumentInfoResponse(const QString &response)
{
    LOG_FUNCTION_START();
    QMutexLocker lock(&m_mutex);
    X509Certificate2Ultra signer;
    const auto record = openAnswer<GetDocumentInfoResponse>(GetDocumentInfo, response, signer);
    {
        QMutexLocker factsLock(&m_factsMutex);
        m_serverCertificate = signer;
        // An answer without documents leaves nothing to bind later answers to
        // but the empty item.
        m_documentProvingData = record.provingData.value(0);
    }
    m_sessionId = record.sessionId;
    checkProvingData(record.provingData);
    checkNonce(record);
    return record;
}

GetDocumentPageResponse CommunicationManager::processGetDocumentPageResponse(const QString &response)
{
    LOG_FUNCTION_START();
    return processFollowUpAnswer<GetDocumentPageResponse>(GetDocumentPage, response);
}

SignInitResponse CommunicationManager::processSignInitResponse(const QString &response)
{
    LOG_FUNCTION_START();
    return processFollowUpAnswer<SignInitResponse>(SignInit, response);
}

SignFinishResponse CommunicationManager::processSignFinishResponse(const QString &response)
{
    LOG_FUNCTION_START();
    return processFollowUpAnswer<SignFinishResponse>(SignFinish, response);
}

X509Certificate2Ultra CommunicationManager::serverCertificate() const
{
    QMutexLocker factsLock(&m_factsMutex);
    return m_serverCertificate;
}

ProvingData CommunicationManager::documentProvingData() const
{
    QMutexLocker factsLock(&m_factsMutex);
    return m_documentProvingData;
}

CommunicationManager::RequestKind CommunicationManager::awaitedAnswer() const
{
    QMutexLocker factsLock(&m_factsMutex);
    return m_answerTaken ? None : m_pendingRequest;
}

bool CommunicationManager::takeAwaitedAnswer(RequestKind kind)
{
    QMutexLocker factsLock(&m_factsMutex);
    if (kind == None || m_answerTaken || m_pendingRequest != kind)
        return false;
    m_answerTaken = true;
    return true;
}

void CommunicationManager::beginRequest(RequestKind kind)
{
    {
        QMutexLocker factsLock(&m_factsMutex);
        if (m_pendingRequest != None) {
            throw mismatch(QObject::tr("CommunicationMismatchRequest")
                               .arg(m_requestNames.at(kind), m_requestNames.at(m_pendingRequest)),
                           APP_LOCATION);
        }
        m_pendingRequest = kind;
    }
    m_nonce = QUuid::createUuid().toString();
    qDebug() << "Generated nonce:" << m_nonce;
}

template <typename Record>
Record CommunicationManager::openAnswer(RequestKind kind, const QString &response,
                                        X509Certificate2Ultra &signer)
{
    {
        QMutexLocker factsLock(&m_factsMutex);
        if (m_pendingRequest != kind) {
            throw mismatch(
                QObject::tr("CommunicationMismatchResponse").arg(m_requestNames.at(kind)),
                APP_LOCATION);
        }
        // A rejected answer still ends the exchange.
        m_pendingRequest = None;
        m_answerTaken = false;
    }

    const ResponseCryptoProcessor processor(response.toUtf8());
    QXmlStreamReader reader(processor.getContent());
    Record record = Record::fromXml(reader);
    signer = processor.getSigner();
    return record;
}

template <typename Record>
Record CommunicationManager::processFollowUpAnswer(RequestKind kind, const QString &response)
{
    QMutexLocker lock(&m_mutex);
    X509Certificate2Ultra signer;
    const auto record = openAnswer<Record>(kind, response, signer);
    checkSameServerAndSession(signer, record);
    checkProvingData(record.provingData);
    constexpr bool isPage = std::is_same_v<Record, GetDocumentPageResponse>;
    if constexpr (isPage)
        checkPage(record);
    checkNonce(record);
    if constexpr (isPage)
        m_requestedPage = -1;
    return record;
}

void CommunicationManager::checkSameServerAndSession(const X509Certificate2Ultra &signer,
                                                     const AnswerRecord &record)
{
    if (sha1Fingerprint(signer) != sha1Fingerprint(m_serverCertificate))
        throw mismatch(QObject::tr("CommunicationMismatchServer"), APP_LOCATION);
    if (record.sessionId != m_sessionId)
        throw mismatch(QObject::tr("CommunicationMismatchSession"), APP_LOCATION);
}

void CommunicationManager::checkProvingData(const QList<ProvingData> &items)
{
    // The first item is the document itself; every further document is
    // fixed by the first answer that names it.
    for (int i = 0; i < items.size(); ++i) {
        const ProvingData &item = items.at(i);
        if (i == 0) {
            if (item != m_documentProvingData)
                throw mismatch(QObject::tr("CommunicationMismatchDocument"), APP_LOCATION);
            continue;
        }
        const auto known = m_provingDataByDocId.constFind(item.docId);
        if (known == m_provingDataByDocId.cend())
            m_provingDataByDocId.insert(item.docId, item);
        else if (*known != item)
            throw mismatch(QObject::tr("CommunicationMismatchDocument"), APP_LOCATION);
    }
}

void CommunicationManager::checkPage(const GetDocumentPageResponse &record) const
{
    if (record.pageNumber != m_requestedPage) {
        throw mismatch(QObject::tr("CommunicationMismatchPage")
                           .arg(record.pageNumber)
                           .arg(m_requestedPage),
                       APP_LOCATION);
    }
}

void CommunicationManager::checkNonce(const AnswerRecord &record) const
{
    if (record.nonce != m_nonce)
        throw mismatch(QObject::tr("CommunicationMismatchNonce"), APP_LOCATION);
}
