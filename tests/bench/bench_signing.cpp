#include "answerrecordwriter.h"
#include "benchmain.h"
#include "configuration.h"
#include "documentanswers.h"
#include "fixturecredential.h"
#include "mainwindow.h"
#include "opensslpointers.h"
#include "responsesigner.h"
#include "softhsmfixture.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <p11-kit/pkcs11.h>

#include <chrono>
#include <dlfcn.h>
#include <stdexcept>

// One signature in the document window: from the sign-init answer handed to
// the window to "NeedSignFinishEvent" with the token's signature, the PIN
// dialog answered at once and the time it stood open left out. Against it
// the raw token work on the same hash: C_Sign on a logged-in session and the
// RSA check, and the same with the module loaded, initialised and logged in
// for the one signature, as every signing run of the window does it.

namespace {

using Clock = std::chrono::steady_clock;

const QString tokenLabel = QStringLiteral("Bench token");
const QString userPin = QStringLiteral("246813");
const QString sha256Oid = QStringLiteral("2.16.840.1.101.3.4.2.1");
const QByteArray keyId("\x01", 1);
constexpr int waitLimitMilliseconds = 30000;

double secondsBetween(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double>(end - start).count();
}

QByteArray hashToSign()
{
    return QCryptographicHash::hash("the document of the benchmark", QCryptographicHash::Sha256);
}

// SHA-256 DigestInfo prefix of PKCS #1.
QByteArray digestInfo(const QByteArray &hash)
{
    static const unsigned char prefix[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                           0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
    return QByteArray(reinterpret_cast<const char *>(prefix), sizeof prefix) + hash;
}

// A SoftHSM2 token of the benchmark's own with a signing key and certificate.
class SigningToken
{
public:
    SigningToken()
        : m_fixture(m_directory.path())
        , m_credential(FixtureCredential::createAuthority(QStringLiteral("Bench CA"))
                           .issue(QStringLiteral("Bench Signer"), true))
    {
        m_serial = m_fixture.createToken(tokenLabel, userPin);
        SoftHsmFixture::ObjectOptions options;
        options.id = keyId;
        options.label = QStringLiteral("Bench key");
        m_fixture.importCredential(tokenLabel, userPin, m_credential, options);
    }

    static const SigningToken &instance()
    {
        static const SigningToken token;
        return token;
    }

    QByteArray certificateDer() const { return m_credential.certificateDer(); }

    // The stored configuration as the page hands it back: Base64 of the text.
    QString configurationText() const
    {
        Configuration configuration;
        configuration.setPkcs11Library(SoftHsmFixture::modulePath());
        configuration.setPkcs11TokenLabel(tokenLabel);
        configuration.setPkcs11TokenSerial(m_serial);
        configuration.setSigningCertificate(certificateDer());
        return QString::fromLatin1(configuration.serialize().toUtf8().toBase64());
    }

private:
    QTemporaryDir m_directory;
    SoftHsmFixture m_fixture;
    FixtureCredential m_credential;
    QString m_serial;
};

// Types the PIN as soon as the PIN dialog shows and keeps how long dialogs
// stood open: that is the user's time, not the program's.
class PinTypist : public QObject
{
public:
    PinTypist() { qApp->installEventFilter(this); }
    ~PinTypist() override { qApp->removeEventFilter(this); }

    double takeSecondsOpen() { return std::exchange(m_secondsOpen, 0.0); }
    Clock::time_point lastShown() const { return m_lastShown; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()
            && watched->objectName() == QLatin1String("PinForm")) {
            const Clock::time_point shown = Clock::now();
            m_lastShown = shown;
            QPointer<QWidget> dialog(static_cast<QWidget *>(watched));
            QTimer::singleShot(0, this, [this, dialog, shown] {
                if (!dialog)
                    return;
                dialog->findChild<QLineEdit *>(QStringLiteral("lePin"))->setText(userPin);
                m_secondsOpen += secondsBetween(shown, Clock::now());
                dialog->findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
            });
        }
        return false;
    }

private:
    double m_secondsOpen = 0.0;
    Clock::time_point m_lastShown;
};

// A document window in signing mode with the page and the server played
// here, brought to the point where the user presses "Sign".
class SigningSession : public QObject
{
public:
    explicit SigningSession(const SigningToken &token)
        : m_window(false, false, false, 100000,
                   {{QStringLiteral("Bench"), SoftHsmFixture::modulePath()}})
        , m_signer(SigningIdentity::development(QStringLiteral("server-2014")))
    {
        connect(&m_window.workflow(), &DocumentWorkflow::loadConfigurationEvent, this,
                [this, &token] { m_window.configurationLoaded(token.configurationText()); },
                Qt::QueuedConnection);
        CommunicationManager *manager = &m_window.communicationManager();
        connect(manager, &CommunicationManager::needGetDocumentInfoEvent, this,
                [this](const QString &nonce) { m_window.processGetDocumentInfoResponse(m_answers.info(nonce)); },
                Qt::QueuedConnection);
        connect(manager, &CommunicationManager::needGetDocumentPageEvent, this,
                [this](int page, const QString &nonce) {
                    m_window.processGetDocumentPageResponse(m_answers.page(page, nonce));
                    m_pageShown = true;
                },
                Qt::QueuedConnection);
        connect(manager, &CommunicationManager::needSignInitEvent, this,
                [this](const QString &, const QString &nonce) { m_signInitNonce = nonce; });
        connect(manager, &CommunicationManager::needSignFinishEvent, this,
                [this](const QString &signature, const QString &) {
                    m_finished = Clock::now();
                    m_signature = signature;
                });
        m_signButton = m_window.findChild<QPushButton *>(QStringLiteral("btnSign"));
        m_window.resize(1000, 760);
        m_window.show();
        waitFor([this] { return m_pageShown && m_signButton->isEnabled() && m_signButton->isVisible(); });
        QCoreApplication::processEvents();
    }

    struct Timing
    {
        double total;
        // Answer handed over to the PIN dialog on screen.
        double beforePin;
    };

    // One signature; the seconds from the answer to the event, PIN dialog time
    // left out.
    Timing sign(PinTypist &typist)
    {
        m_signButton->click();
        waitFor([this] { return !m_signInitNonce.isEmpty(); });
        const QString answer = signInitAnswer(m_signInitNonce);
        typist.takeSecondsOpen();
        const Clock::time_point start = Clock::now();
        m_window.processSignInitResponse(answer);
        waitFor([this] { return !m_signature.isEmpty(); });
        if (m_signature.size() != 512)
            throw std::runtime_error("the signature is not a 2048-bit RSA block");
        return {secondsBetween(start, m_finished) - typist.takeSecondsOpen(),
                secondsBetween(start, typist.lastShown())};
    }

private:
    QString signInitAnswer(const QString &nonce) const
    {
        SignInitResponse record;
        record.nonce = nonce;
        record.sessionId = m_answers.sessionId();
        ProvingData proving;
        proving.docId = m_answers.document().documentId();
        proving.hashOid = m_answers.document().hashOid();
        proving.hashValue = m_answers.document().hashValue();
        record.provingData = {proving};
        SignInitOutput output;
        output.dataToSign = QString::fromLatin1(hashToSign().toHex());
        output.signatureAlgorithmOID = sha256Oid;
        record.signInitOutput = output;
        return m_signer.envelope(AnswerRecordWriter::toXml(record), nonce);
    }

    template <typename Condition>
    void waitFor(Condition condition)
    {
        serveEventsUntil(condition, waitLimitMilliseconds);
    }

    DocumentAnswers m_answers;
    MainWindow m_window;
    ResponseSigner m_signer;
    QPushButton *m_signButton = nullptr;
    bool m_pageShown = false;
    QString m_signInitNonce;
    QString m_signature;
    Clock::time_point m_finished;
};

// The module straight through its function list, as a minimal client would.
class RawToken
{
public:
    RawToken()
    {
        m_handle = dlopen(QFile::encodeName(SoftHsmFixture::modulePath()).constData(), RTLD_NOW);
        if (!m_handle)
            throw std::runtime_error(dlerror());
        auto getFunctionList =
            reinterpret_cast<CK_C_GetFunctionList>(dlsym(m_handle, "C_GetFunctionList"));
        if (!getFunctionList || getFunctionList(&m_functions) != CKR_OK
            || m_functions->C_Initialize(nullptr) != CKR_OK) {
            dlclose(m_handle);
            throw std::runtime_error("module not usable");
        }
    }
    ~RawToken()
    {
        if (m_session != CK_INVALID_HANDLE) {
            m_functions->C_Logout(m_session);
            m_functions->C_CloseSession(m_session);
        }
        m_functions->C_Finalize(nullptr);
        dlclose(m_handle);
    }

    void logIn()
    {
        CK_ULONG count = 16;
        CK_SLOT_ID slotIds[16];
        check(m_functions->C_GetSlotList(CK_TRUE, slotIds, &count));
        for (CK_ULONG i = 0; i < count && m_session == CK_INVALID_HANDLE; ++i) {
            CK_TOKEN_INFO info;
            check(m_functions->C_GetTokenInfo(slotIds[i], &info));
            const QString label =
                QString::fromUtf8(reinterpret_cast<const char *>(info.label), sizeof info.label).trimmed();
            if (label == tokenLabel)
                check(m_functions->C_OpenSession(slotIds[i], CKF_SERIAL_SESSION, nullptr, nullptr, &m_session));
        }
        const QByteArray pin = userPin.toUtf8();
        check(m_functions->C_Login(m_session, CKU_USER,
                                   reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char *>(pin.constData())),
                                   CK_ULONG(pin.size())));
        CK_OBJECT_CLASS keyClass = CKO_PRIVATE_KEY;
        CK_ATTRIBUTE search[] = {{CKA_CLASS, &keyClass, sizeof keyClass},
                                 {CKA_ID, const_cast<char *>(keyId.constData()), CK_ULONG(keyId.size())}};
        CK_ULONG found = 0;
        check(m_functions->C_FindObjectsInit(m_session, search, 2));
        check(m_functions->C_FindObjects(m_session, &m_key, 1, &found));
        check(m_functions->C_FindObjectsFinal(m_session));
        if (found != 1)
            throw std::runtime_error("no key on the token");
    }

    QByteArray sign(const QByteArray &data)
    {
        CK_MECHANISM mechanism{CKM_RSA_PKCS, nullptr, 0};
        check(m_functions->C_SignInit(m_session, &mechanism, m_key));
        QByteArray signature(512, Qt::Uninitialized);
        CK_ULONG length = CK_ULONG(signature.size());
        check(m_functions->C_Sign(m_session,
                                  reinterpret_cast<CK_BYTE_PTR>(const_cast<char *>(data.constData())),
                                  CK_ULONG(data.size()),
                                  reinterpret_cast<CK_BYTE_PTR>(signature.data()), &length));
        signature.resize(int(length));
        return signature;
    }

private:
    static void check(CK_RV result)
    {
        if (result != CKR_OK)
            throw std::runtime_error("PKCS#11 error " + std::to_string(result));
    }

    void *m_handle = nullptr;
    CK_FUNCTION_LIST_PTR m_functions = nullptr;
    CK_SESSION_HANDLE m_session = CK_INVALID_HANDLE;
    CK_OBJECT_HANDLE m_key = CK_INVALID_HANDLE;
};

// The RSA check of the signature with the certificate's key.
void verify(const QByteArray &signature, const QByteArray &hash, EVP_PKEY *key)
{
    const std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(EVP_PKEY_CTX_new(key, nullptr),
                                                                              &EVP_PKEY_CTX_free);
    if (!context || EVP_PKEY_verify_init(context.get()) != 1
        || EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1
        || EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) != 1
        || EVP_PKEY_verify(context.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
                           size_t(signature.size()), reinterpret_cast<const unsigned char *>(hash.constData()),
                           size_t(hash.size()))
               != 1) {
        throw std::runtime_error("the token's signature does not verify");
    }
}

X509Ptr signingCertificate()
{
    const QByteArray der = SigningToken::instance().certificateDer();
    const auto *cursor = reinterpret_cast<const unsigned char *>(der.constData());
    return X509Ptr(d2i_X509(nullptr, &cursor, der.size()));
}

} // namespace

static void BM_Signing_Host(benchmark::State &state)
{
    try {
        const SigningToken &token = SigningToken::instance();
        PinTypist typist;
        double beforePin = 0;
        for (auto _ : state) {
            SigningSession session(token);
            const SigningSession::Timing timing = session.sign(typist);
            state.SetIterationTime(timing.total);
            beforePin += timing.beforePin;
        }
        state.counters["before_pin_ms"] = beforePin * 1e3 / double(state.iterations());
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_Signing_Host)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// C_Sign on a session that is open and logged in, and the RSA check.
static void BM_Signing_RawToken(benchmark::State &state)
{
    try {
        const X509Ptr certificate = signingCertificate();
        const QByteArray hash = hashToSign();
        RawToken token;
        token.logIn();
        for (auto _ : state)
            verify(token.sign(digestInfo(hash)), hash, X509_get0_pubkey(certificate.get()));
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_Signing_RawToken)->Unit(benchmark::kMillisecond);

// The same with the module loaded, initialised and logged in for the one
// signature and finalised after it.
static void BM_Signing_RawTokenRun(benchmark::State &state)
{
    try {
        const X509Ptr certificate = signingCertificate();
        const QByteArray hash = hashToSign();
        for (auto _ : state) {
            RawToken token;
            token.logIn();
            verify(token.sign(digestInfo(hash)), hash, X509_get0_pubkey(certificate.get()));
        }
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_Signing_RawTokenRun)->Unit(benchmark::kMillisecond);

QUILLMARK_BENCHMARK_MAIN(Quillmark)
