#include "answerrecordwriter.h"
#include "benchmain.h"
#include "cardstack.h"
#include "configuration.h"
#include "documentanswers.h"
#include "documentworkflow.h"
#include "fixturecredential.h"
#include "mainwindow.h"
#include "opensslpointers.h"
#include "pinformprompt.h"
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
// for the one signature, as every signing run of the window does it. The
// same pair once more on a smart card: pcscd, a vpcd reader and an emulated
// card behind OpenSC, where the card's APDUs take most of the time.

namespace {

using Clock = std::chrono::steady_clock;

const QString sha256Oid = QStringLiteral("2.16.840.1.101.3.4.2.1");
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

// Where a benchmark signs: the module, the token, the PIN and the key with
// its certificate.
struct SigningTarget
{
    QString module;
    QString label;
    QString serial;
    QString pin;
    QByteArray keyId;
    QByteArray certificateDer;

    // The stored configuration as the page hands it back: Base64 of the text.
    QString configurationText() const
    {
        Configuration configuration;
        configuration.setPkcs11Library(module);
        configuration.setPkcs11TokenLabel(label);
        configuration.setPkcs11TokenSerial(serial);
        configuration.setSigningCertificate(certificateDer);
        return QString::fromLatin1(configuration.serialize().toUtf8().toBase64());
    }
};

// A SoftHSM2 token of the benchmark's own with a signing key and certificate.
class SoftHsmToken
{
public:
    static const SigningTarget &target()
    {
        static const SoftHsmToken token;
        return token.m_target;
    }

private:
    SoftHsmToken()
        : m_fixture(m_directory.path())
    {
        const FixtureCredential credential =
            FixtureCredential::createAuthority(QStringLiteral("Bench CA")).issue(QStringLiteral("Bench Signer"), true);
        m_target = {SoftHsmFixture::modulePath(), QStringLiteral("Bench token"), QString(), QStringLiteral("246813"),
                    QByteArray("\x01", 1), credential.certificateDer()};
        m_target.serial = m_fixture.createToken(m_target.label, m_target.pin);
        SoftHsmFixture::ObjectOptions options;
        options.id = m_target.keyId;
        options.label = QStringLiteral("Bench key");
        m_fixture.importCredential(m_target.label, m_target.pin, credential, options);
    }

    QTemporaryDir m_directory;
    SoftHsmFixture m_fixture;
    SigningTarget m_target;
};

// The serial number OpenSC makes up for the token.
QString tokenSerial(const SigningTarget &target);

// The card stack of the benchmark's own; the first certificate signs.
class SmartCard
{
public:
    static const SigningTarget &target()
    {
        static const SmartCard card;
        return card.m_target;
    }

private:
    SmartCard()
        : m_stack(m_directory.path() + QStringLiteral("/card"), QStringLiteral("24681357"))
    {
        m_target = {CardStack::modulePath(), m_stack.tokenLabel(), QString(), QStringLiteral("24681357"),
                    QByteArray::fromHex("0001"), m_stack.credentials().constFirst().certificateDer()};
        m_target.serial = tokenSerial(m_target);
    }

    QTemporaryDir m_directory;
    CardStack m_stack;
    SigningTarget m_target;
};

// Types the PIN as soon as the PIN dialog shows and keeps how long dialogs
// stood open: that is the user's time, not the program's.
class PinTypist : public QObject
{
public:
    explicit PinTypist(const QString &pin) : m_pin(pin) { qApp->installEventFilter(this); }
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
                dialog->findChild<QLineEdit *>(QStringLiteral("lePin"))->setText(m_pin);
                m_secondsOpen += secondsBetween(shown, Clock::now());
                dialog->findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
            });
        }
        return false;
    }

private:
    QString m_pin;
    double m_secondsOpen = 0.0;
    Clock::time_point m_lastShown;
};

// A document window in signing mode with the page and the server played
// here, brought to the point where the user presses "Sign".
class SigningSession : public QObject
{
public:
    explicit SigningSession(const SigningTarget &target)
        : m_workflow(false, {{QStringLiteral("Bench"), target.module}},
                     [] { return std::make_shared<PinFormPrompt>(); }),
          m_window(m_workflow, false, false, 100000),
          m_signer(SigningIdentity::development(QStringLiteral("server-2014")))
    {
        connect(
            &m_workflow, &DocumentWorkflow::loadConfigurationEvent, this,
            [this, &target] { m_workflow.configurationLoaded(target.configurationText()); },
            Qt::QueuedConnection);
        connect(
            &m_workflow, &DocumentWorkflow::needGetDocumentInfoEvent, this,
            [this](const QString &nonce) {
                m_workflow.processGetDocumentInfoResponse(m_answers.info(nonce));
            },
            Qt::QueuedConnection);
        connect(
            &m_workflow, &DocumentWorkflow::needGetDocumentPageEvent, this,
            [this](int page, const QString &nonce) {
                m_workflow.processGetDocumentPageResponse(m_answers.page(page, nonce));
                m_pageShown = true;
            },
            Qt::QueuedConnection);
        connect(&m_workflow, &DocumentWorkflow::needSignInitEvent, this,
                [this](const QString &, const QString &nonce) { m_signInitNonce = nonce; });
        connect(&m_workflow, &DocumentWorkflow::needSignFinishEvent, this,
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
        m_workflow.processSignInitResponse(answer);
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
    // Goes after its window.
    DocumentWorkflow m_workflow;
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
    explicit RawToken(const SigningTarget &target)
        : m_target(target)
    {
        m_handle = dlopen(QFile::encodeName(target.module).constData(), RTLD_NOW);
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
        if (m_loggedIn)
            m_functions->C_Logout(m_session);
        if (m_session != CK_INVALID_HANDLE)
            m_functions->C_CloseSession(m_session);
        m_functions->C_Finalize(nullptr);
        dlclose(m_handle);
    }

    // Opens a session on the target's token; returns its serial number.
    QString openSession()
    {
        CK_ULONG count = 16;
        CK_SLOT_ID slotIds[16];
        check(m_functions->C_GetSlotList(CK_TRUE, slotIds, &count));
        for (CK_ULONG i = 0; i < count; ++i) {
            CK_TOKEN_INFO info;
            check(m_functions->C_GetTokenInfo(slotIds[i], &info));
            if (text(info.label, sizeof info.label) == m_target.label) {
                check(m_functions->C_OpenSession(slotIds[i], CKF_SERIAL_SESSION, nullptr, nullptr, &m_session));
                return text(info.serialNumber, sizeof info.serialNumber);
            }
        }
        throw std::runtime_error("no token of that label");
    }

    void logIn()
    {
        openSession();
        const QByteArray pin = m_target.pin.toUtf8();
        check(m_functions->C_Login(m_session, CKU_USER,
                                   reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char *>(pin.constData())),
                                   CK_ULONG(pin.size())));
        CK_OBJECT_CLASS keyClass = CKO_PRIVATE_KEY;
        CK_ATTRIBUTE search[] = {
            {CKA_CLASS, &keyClass, sizeof keyClass},
            {CKA_ID, const_cast<char *>(m_target.keyId.constData()), CK_ULONG(m_target.keyId.size())}};
        CK_ULONG found = 0;
        check(m_functions->C_FindObjectsInit(m_session, search, 2));
        check(m_functions->C_FindObjects(m_session, &m_key, 1, &found));
        check(m_functions->C_FindObjectsFinal(m_session));
        if (found != 1)
            throw std::runtime_error("no key on the token");
        m_loggedIn = true;
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

    static QString text(const CK_UTF8CHAR *field, size_t size)
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(field), int(size)).trimmed();
    }

    SigningTarget m_target;
    bool m_loggedIn = false;
    void *m_handle = nullptr;
    CK_FUNCTION_LIST_PTR m_functions = nullptr;
    CK_SESSION_HANDLE m_session = CK_INVALID_HANDLE;
    CK_OBJECT_HANDLE m_key = CK_INVALID_HANDLE;
};

QString tokenSerial(const SigningTarget &target)
{
    return RawToken(target).openSession();
}

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

X509Ptr certificateOf(const SigningTarget &target)
{
    const auto *cursor = reinterpret_cast<const unsigned char *>(target.certificateDer.constData());
    return X509Ptr(d2i_X509(nullptr, &cursor, target.certificateDer.size()));
}

void signInTheWindow(benchmark::State &state, const SigningTarget &target)
{
    PinTypist typist(target.pin);
    double beforePin = 0;
    for (auto _ : state) {
        SigningSession session(target);
        const SigningSession::Timing timing = session.sign(typist);
        state.SetIterationTime(timing.total);
        beforePin += timing.beforePin;
    }
    state.counters["before_pin_ms"] = beforePin * 1e3 / double(state.iterations());
}

// Load, C_Initialize, C_Login, C_Sign, the RSA check and C_Finalize.
void signInRawRuns(benchmark::State &state, const SigningTarget &target)
{
    const X509Ptr certificate = certificateOf(target);
    const QByteArray hash = hashToSign();
    for (auto _ : state) {
        RawToken token(target);
        token.logIn();
        verify(token.sign(digestInfo(hash)), hash, X509_get0_pubkey(certificate.get()));
    }
}

} // namespace

static void BM_Signing_Host(benchmark::State &state)
{
    try {
        signInTheWindow(state, SoftHsmToken::target());
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_Signing_Host)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// C_Sign on a session that is open and logged in, and the RSA check.
static void BM_Signing_RawToken(benchmark::State &state)
{
    try {
        const SigningTarget &target = SoftHsmToken::target();
        const X509Ptr certificate = certificateOf(target);
        const QByteArray hash = hashToSign();
        RawToken token(target);
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
        signInRawRuns(state, SoftHsmToken::target());
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_Signing_RawTokenRun)->Unit(benchmark::kMillisecond);

// The window's signing on the smart card, and the raw run on it.
static void BM_Signing_CardHost(benchmark::State &state)
{
    try {
        signInTheWindow(state, SmartCard::target());
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_Signing_CardHost)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

static void BM_Signing_CardRawRun(benchmark::State &state)
{
    try {
        signInRawRuns(state, SmartCard::target());
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_Signing_CardRawRun)->Iterations(5)->Unit(benchmark::kMillisecond);

QUILLMARK_BENCHMARK_MAIN(Quillmark)
