#pragma once

#include "getdocumentinforesponse.h"
#include "getdocumentpageresponse.h"
#include "provingdata.h"
#include "signfinishresponse.h"
#include "signinitresponse.h"
#include "x509certificate2ultra.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

// Speaks for quillmark in the four server exchanges: issues each request
// with a fresh nonce, has each answer verified and read, and checks that it
// answers the request and agrees with what earlier answers established
// (server, session, documents, page). One request may be outstanding.
//
// Every request and answer operation holds one non-recursive mutex from
// start to end, signal emission included: slots connected to the signals
// must not call back into the manager on the same thread.
class CommunicationManager : public QObject
{
    Q_OBJECT

public:
    enum RequestKind { None = 0, GetDocumentInfo, GetDocumentPage, SignInit, SignFinish };

    CommunicationManager();

    void requestGetDocumentInfo();
    void requestGetDocumentPage(int page);
    // certificate: PEM text of the signing certificate.
    void requestSignInit(const QString &certificate);
    // signature: hexadecimal signature bytes.
    void requestSignFinish(const QString &signature);

    GetDocumentInfoResponse processGetDocumentInfoResponse(const QString &response);
    GetDocumentPageResponse processGetDocumentPageResponse(const QString &response);
    SignInitResponse processSignInitResponse(const QString &response);
    SignFinishResponse processSignFinishResponse(const QString &response);

    // The kind of answer the outstanding request waits for; None when no
    // request is outstanding or its answer has been taken.
    RequestKind awaitedAnswer() const;
    // True for the awaited answer, which is awaited no longer and may be
    // read later, also on another thread; false for an answer nobody asked
    // for. The one request stays outstanding until its answer is read.
    bool takeAwaitedAnswer(RequestKind kind);

    // Established by the document-information answer.
    X509Certificate2Ultra serverCertificate() const;
    ProvingData documentProvingData() const;

signals:
    void needGetDocumentInfoEvent(const QString &nonce);
    void needGetDocumentPageEvent(int page, const QString &nonce);
    void needSignInitEvent(const QString &certificate, const QString &nonce);
    void needSignFinishEvent(const QString &signature, const QString &nonce);

private:
    // Callers hold m_mutex.
    void beginRequest(RequestKind kind);
    template <typename Record>
    Record openAnswer(RequestKind kind, const QString &response, X509Certificate2Ultra &signer);
    // Page, sign-init and sign-finish answers: all checks, in order.
    template <typename Record>
    Record processFollowUpAnswer(RequestKind kind, const QString &response);
    void checkSameServerAndSession(const X509Certificate2Ultra &signer, const AnswerRecord &record);
    void checkProvingData(const QList<ProvingData> &items);
    void checkPage(const GetDocumentPageResponse &record) const;
    void checkNonce(const AnswerRecord &record) const;

    X509Certificate2Ultra m_serverCertificate;
    QString m_sessionId;
    ProvingData m_documentProvingData;
    QHash<QString, ProvingData> m_provingDataByDocId;
    QString m_nonce;
    RequestKind m_pendingRequest = None;
    // The answer to m_pendingRequest arrived and waits to be read.
    bool m_answerTaken = false;
    int m_requestedPage = -1;
    QMutex m_mutex;
    // Guards what the workflow reads while a sign-init answer may be checked
    // on a pool thread, the two facts and the request state; taken briefly,
    // after m_mutex when both are held.
    mutable QMutex m_factsMutex;
    const QStringList m_requestNames;
};
