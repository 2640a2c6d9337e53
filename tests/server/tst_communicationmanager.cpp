#include "answerrecordwriter.h"
#include "communicationmanager.h"
#include "fixturepaths.h"
#include "opensslthreadrelease.h"
#include "responseenvelope.h"
#include "responsesigner.h"
#include "thrownappexception.h"

#include <QtConcurrent>
#include <QtTest>

#include <optional>

namespace {

const ProvingData documentA{QStringLiteral("A"), QStringLiteral("2.16.840.1.101.3.4.2.1"),
                            QStringLiteral("q83vEjRWeJA=")};
const ProvingData attachmentB{QStringLiteral("B"), QStringLiteral("2.16.840.1.101.3.4.2.1"),
                              QStringLiteral("3q2+7w==")};

// What the signing server puts into one answer. Defaults make a correct
// answer to the request that is pending.
struct Answer
{
    QString signer = QStringLiteral("server-2014");
    QString sessionId = QStringLiteral("session-1");
    QList<ProvingData> provingData{documentA};
    std::optional<QString> nonce;
    int pageNumber = 1;
};

void fillShared(AnswerRecord &record, const Answer &answer, const QString &requestNonce)
{
    record.nonce = answer.nonce.value_or(requestNonce);
    record.sessionId = answer.sessionId;
    record.provingData = answer.provingData;
}

QString recordXml(CommunicationManager::RequestKind kind, const Answer &answer, const QString &nonce)
{
    switch (kind) {
    case CommunicationManager::GetDocumentInfo: {
        GetDocumentInfoResponse record;
        fillShared(record, answer, nonce);
        record.docInfo = DocInfo{true, QStringLiteral("application/pdf"), 2};
        return AnswerRecordWriter::toXml(record);
    }
    case CommunicationManager::GetDocumentPage: {
        GetDocumentPageResponse record;
        fillShared(record, answer, nonce);
        record.pageNumber = answer.pageNumber;
        record.page = DocData{documentA.docId, QStringLiteral("page"), "iVBORw0KGgo="};
        return AnswerRecordWriter::toXml(record);
    }
    case CommunicationManager::SignInit: {
        SignInitResponse record;
        fillShared(record, answer, nonce);
        record.signInitOutput = SignInitOutput{QStringLiteral("00ff"), QStringLiteral("2.16.840.1.101.3.4.2.1")};
        return AnswerRecordWriter::toXml(record);
    }
    case CommunicationManager::SignFinish:
    case CommunicationManager::None:
        break;
    }
    SignFinishResponse record;
    fillShared(record, answer, nonce);
    record.signedDocument = SignedDocument{DocData{documentA.docId, QStringLiteral("signed.pdf"), "JVBERi0="},
                                           std::nullopt};
    return AnswerRecordWriter::toXml(record);
}

X509Certificate2Ultra developmentCertificate(const QString &role)
{
    return X509Certificate2Ultra(SigningIdentity::development(role).certificatePem, QSsl::Pem);
}

} // namespace

class TestCommunicationManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(QUILLMARK_STAGE_BIN "/../share/translations/Quillmark_en.qm")));
        QCoreApplication::installTranslator(&m_translator);
        QCOMPARE(QObject::tr("CommunicationMismatchPage").arg(3).arg(2),
                 QStringLiteral("The server sent page 3 instead of page 2."));
    }

    void init()
    {
        m_manager.reset(new CommunicationManager);
        m_infoSpy.reset(new QSignalSpy(m_manager.get(), &CommunicationManager::needGetDocumentInfoEvent));
        m_pageSpy.reset(new QSignalSpy(m_manager.get(), &CommunicationManager::needGetDocumentPageEvent));
        m_signInitSpy.reset(new QSignalSpy(m_manager.get(), &CommunicationManager::needSignInitEvent));
        m_signFinishSpy.reset(new QSignalSpy(m_manager.get(), &CommunicationManager::needSignFinishEvent));
    }

    void requestsLeaveAsSignalsWithFreshNonces()
    {
        const QRegularExpression braced(QStringLiteral(
            "^\\{[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\\}$"));
        openDocument();
        QCOMPARE(m_infoSpy->size(), 1);
        QCOMPARE(m_infoSpy->first().size(), 1);

        m_manager->requestGetDocumentPage(2);
        QCOMPARE(m_pageSpy->size(), 1);
        QCOMPARE(m_pageSpy->first().at(0).toInt(), 2);
        answer(CommunicationManager::GetDocumentPage, withPage(2));

        const QString pem = developmentCertificate(QStringLiteral("server-2014")).toPemString();
        m_manager->requestSignInit(pem);
        QCOMPARE(m_signInitSpy->first().at(0).toString(), pem);
        answer(CommunicationManager::SignInit);

        m_manager->requestSignFinish(QStringLiteral("0a1b2c"));
        QCOMPARE(m_signFinishSpy->first().at(0).toString(), QStringLiteral("0a1b2c"));

        const QStringList nonces{lastNonce(*m_infoSpy), lastNonce(*m_pageSpy),
                                 lastNonce(*m_signInitSpy), lastNonce(*m_signFinishSpy)};
        for (const QString &nonce : nonces)
            QVERIFY2(braced.match(nonce).hasMatch(), qPrintable(nonce));
        QCOMPARE(QSet<QString>(nonces.cbegin(), nonces.cend()).size(), 4);
    }

    void wholeSigningPassesEndToEnd()
    {
        const GetDocumentInfoResponse info = openDocument();
        QCOMPARE(info.docInfo->pages, 2);
        QCOMPARE(m_manager->serverCertificate(), developmentCertificate(QStringLiteral("server-2014")));
        QCOMPARE(m_manager->documentProvingData(), documentA);

        for (int page = 1; page <= 2; ++page) {
            m_manager->requestGetDocumentPage(page);
            QCOMPARE(m_manager->processGetDocumentPageResponse(envelope(CommunicationManager::GetDocumentPage,
                                                                        withPage(page)))
                         .pageNumber,
                     page);
        }
        m_manager->requestSignInit(QStringLiteral("-----BEGIN CERTIFICATE-----\n"));
        QCOMPARE(m_manager->processSignInitResponse(envelope(CommunicationManager::SignInit))
                     .signInitOutput->dataToSign,
                 QStringLiteral("00ff"));
        m_manager->requestSignFinish(QStringLiteral("beef"));
        QCOMPARE(m_manager->processSignFinishResponse(envelope(CommunicationManager::SignFinish))
                     .signedDocument->document->name,
                 QStringLiteral("signed.pdf"));
    }

    void signInitAnswerOnAPoolThread()
    {
        openDocument();
        m_manager->requestSignInit(QStringLiteral("pem"));
        const QString text = envelope(CommunicationManager::SignInit);
        QFuture<QString> done = QtConcurrent::run([this, text] {
            const OpenSslThreadRelease release;
            return m_manager->processSignInitResponse(text).signInitOutput->dataToSign;
        });
        QCOMPARE(done.result(), QStringLiteral("00ff"));
    }

    // Taken on the GUI thread and read on a pool thread, as a signing run
    // does: from the taking on nothing is awaited, and until the reading
    // no further request may leave.
    void takenAnswerIsAwaitedNoLongerButStillOutstanding()
    {
        using Kind = CommunicationManager;
        openDocument();
        QCOMPARE(m_manager->awaitedAnswer(), Kind::None);
        QVERIFY(!m_manager->takeAwaitedAnswer(Kind::None));
        m_manager->requestSignInit(QStringLiteral("pem"));
        QCOMPARE(m_manager->awaitedAnswer(), Kind::SignInit);
        QVERIFY(!m_manager->takeAwaitedAnswer(Kind::GetDocumentPage));
        QVERIFY(m_manager->takeAwaitedAnswer(Kind::SignInit));
        QCOMPARE(m_manager->awaitedAnswer(), Kind::None);
        QVERIFY(!m_manager->takeAwaitedAnswer(Kind::SignInit));
        expectMismatch([&] { m_manager->requestGetDocumentPage(1); },
                       QObject::tr("CommunicationMismatchRequest")
                           .arg(QStringLiteral("GetDocumentPage"), QStringLiteral("SignInit")));
        const QString text = envelope(Kind::SignInit);
        QtConcurrent::run([this, text] {
            const OpenSslThreadRelease release;
            m_manager->processSignInitResponse(text);
        }).waitForFinished();
        m_manager->requestGetDocumentPage(1);
        QCOMPARE(m_manager->awaitedAnswer(), Kind::GetDocumentPage);
    }

    void secondRequestWhileOneIsPending()
    {
        openDocument();
        m_manager->requestGetDocumentPage(1);
        expectMismatch([&] { m_manager->requestGetDocumentPage(2); },
                       QStringLiteral("The request GetDocumentPage cannot be sent while the request "
                                      "GetDocumentPage is waiting for its answer."));
        expectMismatch([&] { m_manager->requestSignFinish(QStringLiteral("00")); },
                       QObject::tr("CommunicationMismatchRequest")
                           .arg(QStringLiteral("SignFinish"), QStringLiteral("GetDocumentPage")));
        QCOMPARE(m_pageSpy->size(), 1);
        QCOMPARE(m_signFinishSpy->size(), 0);
        // The first request is still the one answered, under its own nonce.
        answer(CommunicationManager::GetDocumentPage, withPage(1));
    }

    void answerOfAnotherKind()
    {
        openDocument();
        m_manager->requestGetDocumentPage(1);
        expectMismatch([&] { m_manager->processSignInitResponse(envelope(CommunicationManager::SignInit)); },
                       QObject::tr("CommunicationMismatchResponse").arg(QStringLiteral("SignInit")));
        answer(CommunicationManager::GetDocumentPage, withPage(1));

        // Idle: every answer is unexpected.
        expectMismatch([&] { m_manager->processGetDocumentInfoResponse(envelope(CommunicationManager::GetDocumentInfo)); },
                       QObject::tr("CommunicationMismatchResponse").arg(QStringLiteral("GetDocumentInfo")));
    }

    void pageOtherThanRequested()
    {
        openDocument();
        m_manager->requestGetDocumentPage(2);
        expectMismatch([&] { answer(CommunicationManager::GetDocumentPage, withPage(3)); },
                       QStringLiteral("The server sent page 3 instead of page 2."));
        m_manager->requestGetDocumentPage(3);
        answer(CommunicationManager::GetDocumentPage, withPage(3));
    }

    void answerSignedByAnotherCertificateOfTheSameName()
    {
        openDocument();
        const X509Certificate2Ultra twin = developmentCertificate(QStringLiteral("server-2014-twin"));
        QCOMPARE(twin.subjectDn(), m_manager->serverCertificate().subjectDn());
        m_manager->requestSignFinish(QStringLiteral("00"));
        Answer byTwin;
        byTwin.signer = QStringLiteral("server-2014-twin");
        byTwin.sessionId = QStringLiteral("another session");
        expectMismatch([&] { answer(CommunicationManager::SignFinish, byTwin); },
                       QObject::tr("CommunicationMismatchServer"));
        QCOMPARE(m_manager->serverCertificate(), developmentCertificate(QStringLiteral("server-2014")));
    }

    void signInitBeforeDocumentInformation()
    {
        m_manager->requestSignInit(QStringLiteral("pem"));
        expectMismatch([&] { answer(CommunicationManager::SignInit); },
                       QObject::tr("CommunicationMismatchServer"));
    }

    void otherSession()
    {
        openDocument();
        m_manager->requestGetDocumentPage(1);
        Answer answerOfOtherSession = withPage(1);
        answerOfOtherSession.sessionId = QStringLiteral("session-2");
        answerOfOtherSession.nonce = QStringLiteral("wrong too");
        expectMismatch([&] { answer(CommunicationManager::GetDocumentPage, answerOfOtherSession); },
                       QObject::tr("CommunicationMismatchSession"));
    }

    void documentDiffersInHashValueOnly()
    {
        openDocument();
        m_manager->requestSignInit(QStringLiteral("pem"));
        ProvingData altered = documentA;
        altered.hashValue = QStringLiteral("AAAAAAAAAAA=");
        Answer otherDocument;
        otherDocument.provingData = {altered};
        expectMismatch([&] { answer(CommunicationManager::SignInit, otherDocument); },
                       QObject::tr("CommunicationMismatchDocument"));
    }

    void furtherDocumentsAreFixedByTheirFirstAppearance()
    {
        openDocument();
        m_manager->requestGetDocumentPage(1);
        Answer namingB = withPage(1);
        namingB.provingData = {documentA, attachmentB};
        answer(CommunicationManager::GetDocumentPage, namingB);

        ProvingData otherB = attachmentB;
        otherB.hashOid = QStringLiteral("1.3.14.3.2.26");
        Answer changingB;
        changingB.provingData = {documentA, otherB};
        m_manager->requestSignInit(QStringLiteral("pem"));
        expectMismatch([&] { answer(CommunicationManager::SignInit, changingB); },
                       QObject::tr("CommunicationMismatchDocument"));

        Answer repeatingB;
        repeatingB.provingData = {documentA, attachmentB};
        m_manager->requestSignInit(QStringLiteral("pem"));
        answer(CommunicationManager::SignInit, repeatingB);
    }

    void emptyProvingDataPasses()
    {
        openDocument();
        m_manager->requestGetDocumentPage(1);
        Answer withoutDocuments = withPage(1);
        withoutDocuments.provingData.clear();
        answer(CommunicationManager::GetDocumentPage, withoutDocuments);
    }

    void wrongNonceIsTheLastCheck()
    {
        openDocument();
        m_manager->requestGetDocumentPage(2);
        Answer replayed = withPage(2);
        replayed.nonce = lastNonce(*m_infoSpy);
        expectMismatch([&] { answer(CommunicationManager::GetDocumentPage, replayed); },
                       QObject::tr("CommunicationMismatchNonce"));
        m_manager->requestGetDocumentPage(2);
        answer(CommunicationManager::GetDocumentPage, withPage(2));
    }

    void documentInformationKeepsItsFactsDespiteAWrongNonce()
    {
        m_manager->requestGetDocumentInfo();
        Answer replayed;
        replayed.signer = QStringLiteral("server-2013");
        replayed.sessionId = QStringLiteral("session-9");
        replayed.provingData = {attachmentB};
        replayed.nonce = QStringLiteral("{00000000-0000-4000-8000-000000000000}");
        expectMismatch([&] { answer(CommunicationManager::GetDocumentInfo, replayed); },
                       QObject::tr("CommunicationMismatchNonce"));
        QCOMPARE(m_manager->serverCertificate(), developmentCertificate(QStringLiteral("server-2013")));
        QCOMPARE(m_manager->documentProvingData(), attachmentB);

        m_manager->requestGetDocumentPage(1);
        Answer sameFacts = replayed;
        sameFacts.nonce.reset();
        answer(CommunicationManager::GetDocumentPage, sameFacts);
    }

    void verificationFailuresPassThroughAndEndTheExchange()
    {
        openDocument();
        m_manager->requestGetDocumentPage(1);
        Answer untrusted = withPage(1);
        untrusted.signer = QStringLiteral("server-impostor");
        expectMismatch([&] { answer(CommunicationManager::GetDocumentPage, untrusted); },
                       QObject::tr("CommunicationMismatchUnstrustedServer"));

        m_manager->requestGetDocumentPage(1);
        ResponseEnvelope serverError;
        serverError.error = QStringLiteral("Session expired.");
        serverError.showError = QStringLiteral("true");
        expectMismatch([&] { m_manager->processGetDocumentPageResponse(serverError.toXml()); },
                       QStringLiteral("Session expired."));

        m_manager->requestGetDocumentPage(1);
        answer(CommunicationManager::GetDocumentPage, withPage(1));
    }

private:
    static QString lastNonce(const QSignalSpy &spy) { return spy.last().last().toString(); }

    static Answer withPage(int page)
    {
        Answer answer;
        answer.pageNumber = page;
        return answer;
    }

    QString pendingNonce(CommunicationManager::RequestKind kind) const
    {
        const QSignalSpy *spies[] = {nullptr, m_infoSpy.get(), m_pageSpy.get(), m_signInitSpy.get(),
                                     m_signFinishSpy.get()};
        const QSignalSpy *spy = spies[kind];
        return spy->isEmpty() ? QStringLiteral("{never requested}") : lastNonce(*spy);
    }

    QString envelope(CommunicationManager::RequestKind kind, const Answer &answer = Answer()) const
    {
        const QString nonce = pendingNonce(kind);
        return ResponseSigner(SigningIdentity::development(answer.signer))
            .envelope(recordXml(kind, answer, nonce), nonce);
    }

    void answer(CommunicationManager::RequestKind kind, const Answer &answer = Answer())
    {
        const QString text = envelope(kind, answer);
        switch (kind) {
        case CommunicationManager::GetDocumentInfo:
            m_manager->processGetDocumentInfoResponse(text);
            break;
        case CommunicationManager::GetDocumentPage:
            m_manager->processGetDocumentPageResponse(text);
            break;
        case CommunicationManager::SignInit:
            m_manager->processSignInitResponse(text);
            break;
        case CommunicationManager::SignFinish:
        case CommunicationManager::None:
            m_manager->processSignFinishResponse(text);
            break;
        }
    }

    GetDocumentInfoResponse openDocument()
    {
        m_manager->requestGetDocumentInfo();
        return m_manager->processGetDocumentInfoResponse(envelope(CommunicationManager::GetDocumentInfo));
    }

    template <typename Call>
    static void expectMismatch(Call call, const QString &message)
    {
        const AppException e = thrownAppException(call);
        QCOMPARE(e.message(), message);
        QVERIFY(e.isUserMessage());
    }

    QTranslator m_translator;
    std::unique_ptr<CommunicationManager> m_manager;
    std::unique_ptr<QSignalSpy> m_infoSpy;
    std::unique_ptr<QSignalSpy> m_pageSpy;
    std::unique_ptr<QSignalSpy> m_signInitSpy;
    std::unique_ptr<QSignalSpy> m_signFinishSpy;
};

QTEST_GUILESS_MAIN(TestCommunicationManager)
#include "tst_communicationmanager.moc"
