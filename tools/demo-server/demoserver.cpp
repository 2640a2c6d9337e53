#include "demoserver.h"

#include "signaturecheck.h"

#include <httplib.h>

#include <QJsonDocument>
#include <QUuid>

namespace {

constexpr size_t maximumRequestBytes = 1024 * 1024;
const char jsonType[] = "application/json";

bool isHexadecimal(const QString &text)
{
    if (text.isEmpty() || text.size() % 2 != 0)
        return false;
    for (const QChar c : text) {
        if (!c.isDigit() && !(c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            && !(c >= QLatin1Char('A') && c <= QLatin1Char('F')))
            return false;
    }
    return true;
}

} // namespace

// One request as the handlers see it: the browser it came from and its
// JSON body. A handler that refuses the request sets status and returns the
// error object.
struct DemoServer::Exchange
{
    QString browser;
    QJsonObject body;
    int status = 200;

    QJsonObject refuse(int code, const QString &message)
    {
        status = code;
        return {{QStringLiteral("error"), message}};
    }
    QString nonce() const { return body.value(QStringLiteral("nonce")).toString(); }
};

DemoServer::DemoServer(const Options &options)
    : m_options(options)
    , m_answers(options.pdfPath, options.server)
    , m_http(std::make_unique<httplib::Server>())
{
    m_http->set_payload_max_length(maximumRequestBytes);
    addRoutes();
}

DemoServer::~DemoServer()
{
    stop();
}

bool DemoServer::start(int port)
{
    m_port = port == 0 ? m_http->bind_to_any_port("127.0.0.1")
                       : (m_http->bind_to_port("127.0.0.1", port) ? port : -1);
    if (m_port < 0)
        return false;
    m_thread = std::thread([this] { m_http->listen_after_bind(); });
    return true;
}

void DemoServer::stop()
{
    if (m_thread.joinable()) {
        m_http->stop();
        m_thread.join();
    }
}

int DemoServer::port() const
{
    return m_port;
}

QString DemoServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_port);
}

void DemoServer::log(const QString &line) const
{
    if (m_options.log)
        m_options.log(line);
}

QJsonObject DemoServer::answer(const QString &envelope) const
{
    return {{QStringLiteral("answer"), envelope}};
}

void DemoServer::addRoutes()
{
    m_http->set_mount_point("/demo", m_options.pageDirectory.toStdString());
    m_http->Get("/", [](const httplib::Request &, httplib::Response &response) {
        response.set_redirect("/demo/index.html");
    });
    route("GET", "/api/settings", [this](Exchange &e) { return settings(e); });
    route("POST", "/api/document-info", [this](Exchange &e) { return documentInfo(e); });
    route("POST", "/api/document-page", [this](Exchange &e) { return documentPage(e); });
    route("POST", "/api/sign-init", [this](Exchange &e) { return signInit(e); });
    route("POST", "/api/sign-finish", [this](Exchange &e) { return signFinish(e); });
    route("GET", "/api/configuration", [this](Exchange &e) { return loadConfiguration(e); });
    route("POST", "/api/configuration", [this](Exchange &e) { return saveConfiguration(e); });
    route("GET", "/api/result", [this](Exchange &e) { return result(e); });
    m_http->Get(R"(/api/signed/(document|signature|certificate))",
                [this](const httplib::Request &request, httplib::Response &response) {
                    download(request, response);
                });
}

void DemoServer::route(const char *method, const char *path,
                       const std::function<QJsonObject(Exchange &)> &handler)
{
    auto serve = [this, handler](const httplib::Request &request, httplib::Response &response) {
        Exchange exchange;
        bool isNew = false;
        exchange.browser = m_sessions.identify(request.get_header_value("Cookie"), &isNew);
        if (isNew) {
            response.set_header("Set-Cookie", (BrowserSessions::cookieName + '='
                                               + exchange.browser.toLatin1()
                                               + "; Path=/; HttpOnly; SameSite=Strict").toStdString());
        }
        QJsonObject reply;
        if (request.method == "POST") {
            QJsonParseError error;
            const QJsonDocument body = QJsonDocument::fromJson(QByteArray::fromStdString(request.body), &error);
            if (error.error != QJsonParseError::NoError || !body.isObject())
                reply = exchange.refuse(400, QStringLiteral("The request is not a JSON object."));
            else
                exchange.body = body.object();
        }
        if (exchange.status == 200)
            reply = handler(exchange);
        response.status = exchange.status;
        response.set_header("Cache-Control", "no-store");
        response.set_content(QJsonDocument(reply).toJson(QJsonDocument::Compact).toStdString(), jsonType);
    };
    if (QByteArray(method) == "POST")
        m_http->Post(path, serve);
    else
        m_http->Get(path, serve);
}

QJsonObject DemoServer::settings(Exchange &)
{
    const DocumentSource &document = m_answers.document();
    return {
        {QStringLiteral("stores"), m_options.storeDefinition},
        {QStringLiteral("documentName"), m_answers.documentName()},
        {QStringLiteral("documentId"), document.documentId()},
        {QStringLiteral("pages"), document.pageCount()},
    };
}

QJsonObject DemoServer::documentInfo(Exchange &exchange)
{
    const QString sessionId = QStringLiteral("S-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_sessions.with(exchange.browser, [&](BrowserSessions::State &state) {
        state.sessionId = sessionId;
        state.signerPem.clear();
        state.verifiedSignature.clear();
    });
    log(QStringLiteral("document-info: %1, %2 pages, session %3")
            .arg(m_answers.document().documentId())
            .arg(m_answers.document().pageCount())
            .arg(sessionId));
    return answer(m_answers.info(sessionId, exchange.nonce()));
}

QJsonObject DemoServer::documentPage(Exchange &exchange)
{
    const int page = exchange.body.value(QStringLiteral("page")).toInt();
    const QString sessionId = m_sessions.with(exchange.browser, [](BrowserSessions::State &state) {
        return state.sessionId;
    });
    const QString envelope = m_answers.page(sessionId, page, exchange.nonce());
    if (envelope.isEmpty()) {
        log(QStringLiteral("document-page: page %1 does not exist").arg(page));
        return answer(m_answers.error(QStringLiteral("Page %1 does not exist.").arg(page), exchange.nonce()));
    }
    log(QStringLiteral("document-page: page %1").arg(page));
    return answer(envelope);
}

QJsonObject DemoServer::signInit(Exchange &exchange)
{
    const QByteArray certificate = exchange.body.value(QStringLiteral("certificate")).toString().toUtf8();
    if (!SignatureCheck::hasRsaKey(certificate)) {
        log(QStringLiteral("sign-init: refused, no RSA certificate"));
        return answer(m_answers.error(QStringLiteral("The signing certificate is not an RSA certificate."),
                                      exchange.nonce()));
    }
    const QString sessionId = m_sessions.with(exchange.browser, [&](BrowserSessions::State &state) {
        state.signerPem = certificate;
        state.verifiedSignature.clear();
        return state.sessionId;
    });
    log(QStringLiteral("sign-init: signer %1, hash to sign %2")
            .arg(SignatureCheck::subject(certificate), QString::fromLatin1(m_answers.documentHash().toHex())));
    return answer(m_answers.signInit(sessionId, exchange.nonce()));
}

QJsonObject DemoServer::signFinish(Exchange &exchange)
{
    const QString hex = exchange.body.value(QStringLiteral("signature")).toString();
    const QByteArray signature = QByteArray::fromHex(hex.toLatin1());
    const QByteArray hash = m_answers.documentHash();
    struct Outcome
    {
        QString sessionId;
        QByteArray signerPem;
        bool verified;
    };
    const Outcome outcome = m_sessions.with(exchange.browser, [&](BrowserSessions::State &state) {
        const bool verified = isHexadecimal(hex) && SignatureCheck::verifySha256(state.signerPem, hash, signature);
        state.verifiedSignature = verified ? signature : QByteArray();
        return Outcome{state.sessionId, state.signerPem, verified};
    });
    if (!outcome.verified) {
        log(QStringLiteral("sign-finish: the signature does NOT verify"));
        return answer(m_answers.error(QStringLiteral("The signature does not match the signing certificate."),
                                      exchange.nonce()));
    }
    log(QStringLiteral("sign-finish: signature verified with %1 (RSA PKCS#1 v1.5, SHA-256 %2): %3")
            .arg(SignatureCheck::subject(outcome.signerPem), QString::fromLatin1(hash.toHex()), hex));
    return answer(m_answers.signFinish(outcome.sessionId, exchange.nonce(), signature));
}

QJsonObject DemoServer::loadConfiguration(Exchange &exchange)
{
    const QString configuration = m_sessions.with(exchange.browser, [](BrowserSessions::State &state) {
        return state.configuration;
    });
    log(QStringLiteral("configuration: loaded (%1 characters)").arg(configuration.size()));
    return {{QStringLiteral("configuration"), configuration}};
}

QJsonObject DemoServer::saveConfiguration(Exchange &exchange)
{
    const QString configuration = exchange.body.value(QStringLiteral("configuration")).toString();
    m_sessions.with(exchange.browser, [&](BrowserSessions::State &state) {
        state.configuration = configuration;
    });
    log(QStringLiteral("configuration: saved (%1 characters)").arg(configuration.size()));
    return {{QStringLiteral("saved"), true}};
}

QJsonObject DemoServer::result(Exchange &exchange)
{
    return m_sessions.with(exchange.browser, [&](BrowserSessions::State &state) {
        const bool signedDocument = !state.verifiedSignature.isEmpty();
        return QJsonObject{
            {QStringLiteral("signed"), signedDocument},
            {QStringLiteral("documentName"), m_answers.documentName()},
            {QStringLiteral("documentSha256"), QString::fromLatin1(m_answers.documentHash().toHex())},
            {QStringLiteral("signer"), signedDocument ? SignatureCheck::subject(state.signerPem) : QString()},
            {QStringLiteral("signature"), QString::fromLatin1(state.verifiedSignature.toHex())},
        };
    });
}

void DemoServer::download(const httplib::Request &request, httplib::Response &response)
{
    bool isNew = false;
    const QString browser = m_sessions.identify(request.get_header_value("Cookie"), &isNew);
    const BrowserSessions::State state = m_sessions.with(browser, [](BrowserSessions::State &s) { return s; });
    if (isNew || state.verifiedSignature.isEmpty()) {
        response.status = 404;
        return;
    }
    const std::string part = request.matches[1];
    QByteArray content;
    QString fileName;
    std::string type;
    if (part == "document") {
        content = m_answers.documentBytes();
        fileName = m_answers.documentName();
        type = "application/pdf";
    } else if (part == "signature") {
        content = state.verifiedSignature;
        fileName = m_answers.documentName() + QStringLiteral(".sig");
        type = "application/octet-stream";
    } else {
        content = state.signerPem;
        fileName = QStringLiteral("signer.pem");
        type = "application/x-pem-file";
    }
    response.set_header("Content-Disposition", ("attachment; filename=\"" + fileName + "\"").toStdString());
    response.set_content(content.toStdString(), type.c_str());
}
