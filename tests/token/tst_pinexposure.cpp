// The PIN of a signing run never reaches a log line: not the diagnostic log
// file, not standard error (where quillmark's messages go while the log is
// off), not the test module's call log. Runs the token layer's signing path
// and the certificate listing in-process, through a right PIN after a wrong
// one, a token pulled out after the PIN, and a locked PIN. (The PIN dialog's
// part is checked with the real program in tst_signdocument.)
#include "certstorefactory.h"
#include "diagnosticlog.h"
#include "moduletrust.h"
#include "pinsearch.h"
#include "pkcs11library.h"
#include "pkcs11signaturegenerator.h"
#include "scriptedpinprompt.h"
#include "testhome.h"
#include "tokentestbed.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryFile>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <memory>

namespace {

const QString logName = QStringLiteral("quillmarklog.txt");
// Distinctive enough that no time stamp, thread number or handle in a log
// line can contain them by chance.
const QString rightPin = QStringLiteral("Qm7-R1ght-4829");
const QString wrongPin = QStringLiteral("Wr0ng-P\u00edn-5571");
const QString sha256 = QStringLiteral("2.16.840.1.101.3.4.2.1");

// Everything written to descriptor 2 while it lives.
class StandardErrorCapture
{
public:
    StandardErrorCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StandardErrorCapture() { restore(); }

    QByteArray take()
    {
        restore();
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestPinExposure : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TokenTestBed> m_bed;
    QByteArray m_certificate;
    QString m_serial;

private slots:
    void initTestCase()
    {
        m_bed = std::make_unique<TokenTestBed>(QStringLiteral("pinexposure"));
        m_certificate = m_bed->createSigningToken(QStringLiteral("Exposure"), rightPin).certificateDer();
        Pkcs11Library library(TokenTestBed::softHsmModule(), ModuleTrust::system(),
                              TokenTestBed::pinPrompt());
        for (unsigned long slot : library.getSlots()) {
            if (library.getTokenInfo(slot).getLabel() == QLatin1String("Exposure"))
                m_serial = library.getTokenInfo(slot).getSerialNumber();
        }
        QVERIFY(!m_serial.isEmpty());
        // As in the program, the handler that takes over while the log is off
        // is Qt's own, which writes to standard error (QTest's would print
        // to standard output).
        qInstallMessageHandler(nullptr);
        DiagnosticLog::install(DiagnosticLog::Program::Quillmark);
    }

    void noLogHoldsThePin_data()
    {
        QTest::addColumn<bool>("listing");
        QTest::addColumn<QString>("faults");
        QTest::addColumn<QStringList>("pins");
        QTest::addColumn<bool>("logFileOn");
        QTest::addColumn<QString>("failure");

        for (const bool logFileOn : {true, false}) {
            const char *where = logFileOn ? "log file" : "standard error";
            QTest::addRow("signed after a wrong PIN, %s", where)
                << false << QStringLiteral("none") << QStringList{wrongPin, rightPin} << logFileOn
                << QString();
            QTest::addRow("token removed after the PIN, %s", where)
                << false << QStringLiteral("removedafterlogin") << QStringList{rightPin} << logFileOn
                << QStringLiteral("The card or token was removed.");
            QTest::addRow("PIN locked, %s", where)
                << false << QStringLiteral("pinlocked") << QStringList{rightPin} << logFileOn
                << QObject::tr("PinBlocked");
            // The listing leaves the pulled token out and goes on.
            QTest::addRow("listing, token removed after the PIN, %s", where)
                << true << QStringLiteral("removedafterlogin") << QStringList{wrongPin, rightPin}
                << logFileOn << QString();
        }
    }

    void noLogHoldsThePin()
    {
        QFETCH(bool, listing);
        QFETCH(QString, faults);
        QFETCH(QStringList, pins);
        QFETCH(bool, logFileOn);
        QFETCH(QString, failure);

        TestHome home;
        home.applyToCurrentProcess();
        if (logFileOn)
            QVERIFY(home.switchLoggingOn(logName));
        m_bed->setFaults(faults);
        m_bed->clearFaultLog();
        ScriptedPinPrompt driver;
        for (const QString &pin : pins)
            driver.typePin(pin);

        StandardErrorCapture standardError;
        const QByteArray hash = QCryptographicHash::hash("document", QCryptographicHash::Sha256);
        const QString serial = m_serial;
        const QByteArray certificate = m_certificate;
        const Outcome outcome = TokenTestBed::runOnWorker([=]() {
            if (listing) {
                const Pkcs11CertStore store = CertStoreFactory::getInstance(
                    StoreDefinition::parseList(QStringLiteral("Exposure store|")
                                               + TokenTestBed::faultModule())
                        .constFirst());
                QStringList labels;
                for (const Pkcs11CertContainer &container :
                     store.getContainers(TokenTestBed::pinPrompt()))
                    labels << container.getTokenInfo().getLabel();
                return QVariant(labels);
            }
            Pkcs11SignatureGenerator generator(TokenTestBed::faultModule(),
                                               QStringLiteral("Exposure"), serial, certificate,
                                               ModuleTrust::system(), TokenTestBed::pinPrompt());
            return QVariant(generator.signHash(hash, sha256));
        });
        const QByteArray errorOutput = standardError.take();

        if (listing) {
            QVERIFY2(!outcome.threw, qPrintable(outcome.message));
            QVERIFY(!outcome.value.toStringList().contains(QStringLiteral("Exposure")));
        } else if (failure.isEmpty()) {
            QVERIFY2(!outcome.threw, qPrintable(outcome.message));
            QCOMPARE(outcome.value.toByteArray().size(), 256);
        } else {
            QVERIFY(outcome.threw);
            QVERIFY2(outcome.message.contains(failure), qPrintable(outcome.message));
        }
        QCOMPARE(driver.questionsAsked(), pins.size());

        const QByteArray logFile = readFile(home.logFile(logName));
        // The channel in use really carried the run's lines.
        QVERIFY((logFileOn ? logFile : errorOutput).contains("Starting function login"));
        const QByteArray faultLog = m_bed->faultLog().join(QLatin1Char('\n')).toUtf8();
        QVERIFY(faultLog.contains("C_Login"));
        const QStringList hits = pinsFoundIn(pins, {{QStringLiteral("log file"), logFile},
                                                    {QStringLiteral("standard error"), errorOutput},
                                                    {QStringLiteral("module calls"), faultLog}});
        QVERIFY2(hits.isEmpty(), qPrintable(hits.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestPinExposure)
#include "tst_pinexposure.moc"
