// The development signing server over real HTTP on 127.0.0.1, checked with
// quillmark's own communication manager: its answers must pass every check
// the application makes, and it must accept only a signature that the
// certificate from sign-init verifies.
#include "appexception.h"
#include "communicationmanager.h"
#include "demoserver.h"
#include "fixturecredential.h"
#include "fixturepaths.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// One browser: keeps the cookie the server hands out.
class Browser
{
public:
    explicit Browser(int port) : m_client("127.0.0.1", port) {}

    QJsonObject get(const std::string &path, int expectedStatus = 200)
    {
        return reply(m_client.Get(path.c_str(), headers()), expectedStatus);
    }
    QJsonObject post(const std::string &path, const QJsonObject &body, int expectedStatus = 200)
    {
        return postRaw(path, QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), expectedStatus);
    }
    QJsonObject postRaw(const std::string &path, const std::string &body, int expectedStatus)
    {
        return reply(m_client.Post(path.c_str(), headers(), body, "application/json"), expectedStatus);
    }
    httplib::Result download(const std::string &path) { return m_client.Get(path.c_str(), headers()); }

private:
    httplib::Headers headers() const
    {
        return m_cookie.empty() ? httplib::Headers() : httplib::Headers{{"Cookie", m_cookie}};
    }
    QJsonObject reply(const httplib::Result &result, int expectedStatus)
    {
        if (!result || result->status != expectedStatus) {
            qWarning() << "unexpected reply" << (result ? result->status : -1);
            return {};
        }
        const std::string cookie = result->get_header_value("Set-Cookie");
        if (!cookie.empty())
            m_cookie = cookie.substr(0, cookie.find(';'));
        return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
    }

    httplib::Client m_client;
    std::string m_cookie;
};

// What the token does: PKCS #1 v1.5 over the SHA-256 DigestInfo.
QByteArray signWithKey(const QByteArray &keyPem, const QByteArray &hash)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(keyPem.constData(), int(keyPem.size())), BIO_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(EVP_PKEY_CTX_new(key.get(), nullptr),
                                                                        EVP_PKEY_CTX_free);
    size_t length = 0;
    if (!context || EVP_PKEY_sign_init(context.get()) != 1
        || EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1
        || EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) != 1
        || EVP_PKEY_sign(context.get(), nullptr, &length,
                         reinterpret_cast<const unsigned char *>(hash.constData()), size_t(hash.size())) != 1)
        return {};
    QByteArray signature(int(length), '\0');
    if (EVP_PKEY_sign(context.get(), reinterpret_cast<unsigned char *>(signature.data()), &length,
                      reinterpret_cast<const unsigned char *>(hash.constData()), size_t(hash.size())) != 1)
        return {};
    signature.resize(int(length));
    return signature;
}

QByteArray sampleSha256()
{
    QFile file(QStringLiteral(QUILLMARK_SAMPLE_PDF));
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                          : QByteArray();
}

// The request value of the last emission of a signal, the nonce last.
QString lastNonce(const QSignalSpy &spy)
{
    return spy.isEmpty() ? QString() : spy.constLast().constLast().toString();
}

} // namespace

class TestDemoServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void signingRoundPassesQuillmarksChecks();
    void signatureOfAnotherKeyIsRefused();
    void pagesAreImagesAndMissingPagesAreServerErrors();
    void configurationIsKeptPerBrowser();
    void malformedRequestsAreRefused();

private:
    std::unique_ptr<DemoServer> m_server;
    FixtureCredential m_authority = FixtureCredential::createAuthority(QStringLiteral("Demo Server Test CA"));
    QStringList m_log;
};

void TestDemoServer::initTestCase()
{
    DemoServer::Options options;
    options.pdfPath = QStringLiteral(QUILLMARK_SAMPLE_PDF);
    options.pageDirectory = QStringLiteral(QUILLMARK_SOURCE_DIR "/browser/demo");
    options.storeDefinition = QStringLiteral("SoftHSM2|/usr/lib/softhsm/libsofthsm2.so");
    options.server = SigningIdentity::development(QStringLiteral("server-2014"));
    options.log = [this](const QString &line) { m_log.append(line); };
    m_server = std::make_unique<DemoServer>(options);
    QVERIFY(m_server->start());
}

void TestDemoServer::cleanupTestCase()
{
    m_server.reset();
}

void TestDemoServer::signingRoundPassesQuillmarksChecks()
{
    const FixtureCredential signer = m_authority.issue(QStringLiteral("Demo Server Signer"), true);
    Browser browser(m_server->port());
    CommunicationManager manager;
    QSignalSpy infoRequests(&manager, &CommunicationManager::needGetDocumentInfoEvent);
    QSignalSpy signInitRequests(&manager, &CommunicationManager::needSignInitEvent);
    QSignalSpy signFinishRequests(&manager, &CommunicationManager::needSignFinishEvent);

    manager.requestGetDocumentInfo();
    const QString info = browser.post("/api/document-info", {{"nonce", lastNonce(infoRequests)}})["answer"].toString();
    QCOMPARE(manager.processGetDocumentInfoResponse(info).docInfo->pages, 3);

    manager.requestSignInit(QString::fromLatin1(signer.certificatePem()));
    const QString init = browser.post("/api/sign-init", {{"certificate", QString::fromLatin1(signer.certificatePem())},
                                                         {"nonce", lastNonce(signInitRequests)}})["answer"].toString();
    const SignInitResponse initRecord = manager.processSignInitResponse(init);
    QCOMPARE(initRecord.signInitOutput->signatureAlgorithmOID, QStringLiteral("2.16.840.1.101.3.4.2.1"));
    const QByteArray hash = QByteArray::fromHex(initRecord.signInitOutput->dataToSign.toLatin1());
    QCOMPARE(hash, sampleSha256());

    const QByteArray signature = signWithKey(signer.privateKeyPem(), hash);
    QCOMPARE(signature.size(), 256);
    const QString hex = QString::fromLatin1(signature.toHex());
    manager.requestSignFinish(hex);
    const QString finish = browser.post("/api/sign-finish", {{"signature", hex},
                                                             {"nonce", lastNonce(signFinishRequests)}})["answer"].toString();
    const SignFinishResponse finishRecord = manager.processSignFinishResponse(finish);
    QCOMPARE(finishRecord.signedDocument->externalSignature->data, signature.toBase64());
    QCOMPARE(QCryptographicHash::hash(QByteArray::fromBase64(finishRecord.signedDocument->document->data),
                                      QCryptographicHash::Sha256), hash);

    const QJsonObject result = browser.get("/api/result");
    QCOMPARE(result["signed"].toBool(), true);
    QCOMPARE(result["signature"].toString(), hex);
    QVERIFY2(result["signer"].toString().contains(QStringLiteral("CN = Demo Server Signer")),
             qPrintable(result["signer"].toString()));
    const auto downloaded = browser.download("/api/signed/signature");
    QVERIFY(downloaded && downloaded->status == 200);
    QCOMPARE(QByteArray::fromStdString(downloaded->body), signature);
    QVERIFY(m_log.constLast().startsWith(QStringLiteral("sign-finish: signature verified with")));
}

void TestDemoServer::signatureOfAnotherKeyIsRefused()
{
    const FixtureCredential signer = m_authority.issue(QStringLiteral("Demo Server Signer"), true);
    const FixtureCredential other = m_authority.issue(QStringLiteral("Someone Else"), true);
    Browser browser(m_server->port());
    browser.post("/api/document-info", {{"nonce", "{n1}"}});
    browser.post("/api/sign-init", {{"certificate", QString::fromLatin1(signer.certificatePem())}, {"nonce", "{n2}"}});

    for (const QString &signature : {QString::fromLatin1(signWithKey(other.privateKeyPem(), sampleSha256()).toHex()),
                                     QStringLiteral("zz"), QString()}) {
        const QString answer = browser.post("/api/sign-finish", {{"signature", signature}, {"nonce", "{n3}"}})["answer"].toString();
        CommunicationManager manager;
        manager.requestGetDocumentInfo();
        try {
            manager.processGetDocumentInfoResponse(answer);
            QFAIL("a refused signature came back as a normal answer");
        } catch (const AppException &e) {
            QCOMPARE(e.message(), QStringLiteral("The signature does not match the signing certificate."));
        }
    }
    QCOMPARE(browser.get("/api/result")["signed"].toBool(), false);
    const auto downloaded = browser.download("/api/signed/signature");
    QVERIFY(downloaded && downloaded->status == 404);
}

void TestDemoServer::pagesAreImagesAndMissingPagesAreServerErrors()
{
    Browser browser(m_server->port());
    CommunicationManager manager;
    QSignalSpy infoRequests(&manager, &CommunicationManager::needGetDocumentInfoEvent);
    QSignalSpy pageRequests(&manager, &CommunicationManager::needGetDocumentPageEvent);
    manager.requestGetDocumentInfo();
    manager.processGetDocumentInfoResponse(
        browser.post("/api/document-info", {{"nonce", lastNonce(infoRequests)}})["answer"].toString());

    manager.requestGetDocumentPage(3);
    const GetDocumentPageResponse page = manager.processGetDocumentPageResponse(
        browser.post("/api/document-page", {{"page", 3}, {"nonce", lastNonce(pageRequests)}})["answer"].toString());
    QCOMPARE(page.pageNumber, 3);
    const QImage image = QImage::fromData(QByteArray::fromBase64(page.page->data));
    QVERIFY(!image.isNull());
    QVERIFY(image.height() > image.width());

    manager.requestGetDocumentPage(4);
    const QString missing = browser.post("/api/document-page", {{"page", 4}, {"nonce", lastNonce(pageRequests)}})["answer"].toString();
    QVERIFY_EXCEPTION_THROWN(manager.processGetDocumentPageResponse(missing), AppException);
    QVERIFY(missing.contains(QStringLiteral("<Error>Page 4 does not exist.</Error>")));
}

void TestDemoServer::configurationIsKeptPerBrowser()
{
    Browser first(m_server->port());
    Browser second(m_server->port());
    QCOMPARE(first.get("/api/configuration")["configuration"].toString(), QString());
    QCOMPARE(first.post("/api/configuration", {{"configuration", "PENvbmZpZ3VyYXRpb24+"}})["saved"].toBool(), true);
    QCOMPARE(second.get("/api/configuration")["configuration"].toString(), QString());
    QCOMPARE(first.get("/api/configuration")["configuration"].toString(), QStringLiteral("PENvbmZpZ3VyYXRpb24+"));

    // A cookie the server never handed out gives no access to another browser's state.
    httplib::Client stranger("127.0.0.1", m_server->port());
    const auto reply = stranger.Get("/api/configuration", {{"Cookie", "quillmark_demo=guessed"}});
    QVERIFY(reply && reply->status == 200);
    QVERIFY(!reply->get_header_value("Set-Cookie").empty());
    QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(reply->body)).object()["configuration"].toString(),
             QString());
}

void TestDemoServer::malformedRequestsAreRefused()
{
    Browser browser(m_server->port());
    QCOMPARE(browser.postRaw("/api/document-info", "not json", 400)["error"].toString(),
             QStringLiteral("The request is not a JSON object."));
    QCOMPARE(browser.postRaw("/api/sign-init", "[1,2]", 400)["error"].toString(),
             QStringLiteral("The request is not a JSON object."));
    const QString answer = browser.post("/api/sign-init", {{"certificate", "no certificate"}, {"nonce", "{n}"}})["answer"].toString();
    QVERIFY(answer.contains(QStringLiteral("<Error>The signing certificate is not an RSA certificate.</Error>")));
}

QTEST_GUILESS_MAIN(TestDemoServer)
#include "tst_demoserver.moc"
