// The PKCS#11 wrapper against SoftHSM2 tokens and the fault module: loading
// and initialisation failures, slot and token values, object searches in
// batches, and module errors as exceptions.
#include "fixturepaths.h"
#include "moduletrust.h"
#include "pkcs11exception.h"
#include "pkcs11library.h"
#include "pkcs11session.h"
#include "pkcs11template.h"
#include "tokentestbed.h"

#include <QApplication>
#include <QFile>
#include <QTest>

#include <memory>

class Pkcs11LibraryTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void loadFailures_data();
    void loadFailures();
    void functionListFailure();
    void secondInitializationFails();
    void retriesWithoutLockingAfterCantLock();
    void listsOnlySlotsWithTokens();
    void noTokenGivesNoSlots();
    void tokenFieldsAreTrimmed();
    void findsObjectsInBatches_data();
    void findsObjectsInBatches();
    void moduleErrorBecomesPkcs11Exception();
    void readsAttributeValues();

private:
    std::unique_ptr<TokenTestBed> m_bed;
    QString m_spacedSerial;
};

void Pkcs11LibraryTest::initTestCase()
{
    m_bed = std::make_unique<TokenTestBed>(QStringLiteral("pkcs11library"));
    m_bed->createSigningToken(QStringLiteral("First"), QStringLiteral("1111"));
    m_spacedSerial = m_bed->fixture().createToken(QStringLiteral("Two Words"), QStringLiteral("2222"));
    m_bed->fixture().createToken(QString(), QStringLiteral("3333"));
}

void Pkcs11LibraryTest::init()
{
    m_bed->setFaults(QString());
    m_bed->clearFaultLog();
}

void Pkcs11LibraryTest::loadFailures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("hasCause");

    const QString missing = QStringLiteral(QUILLMARK_BINARY_DIR "/no-such-module.so");
    const QString notALibrary =
        TokenTestBed::installAsRoot(QStringLiteral(QUILLMARK_SOURCE_DIR "/README.md"));
    QTest::newRow("missing file") << missing << QString()
                                  << QObject::tr("UnableToLoad").arg(QStringLiteral("PKCS#11"), missing) << true;
    QTest::newRow("not a shared library")
        << notALibrary << QString() << QObject::tr("UnableToLoad").arg(QStringLiteral("PKCS#11"), notALibrary)
        << true;
    QTest::newRow("no C_GetFunctionList")
        << TokenTestBed::noFunctionListModule() << QString()
        << QObject::tr("UnableToFind").arg(QStringLiteral("C_GetFunctionList()"), TokenTestBed::noFunctionListModule())
        << false;
    // Whoever named it, the loader never sees it; why not is the cause.
    const QString planted =
        m_bed->plantModule(TokenTestBed::markerModule(), QStringLiteral("planted.so"));
    QTest::newRow("module in a folder anybody may write")
        << planted << QString() << QObject::tr("UntrustedModule").arg(planted) << true;
}

void Pkcs11LibraryTest::loadFailures()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QFETCH(bool, hasCause);
    try {
        Pkcs11Library library(path, ModuleTrust::system(), TokenTestBed::pinPrompt());
        QFAIL("the module loaded");
    } catch (const AppException &exception) {
        QCOMPARE(exception.message(), expected);
        QVERIFY(exception.isUserMessage());
        QCOMPARE(exception.innerException() != nullptr, hasCause);
        if (hasCause) {
            // The loader's own explanation travels as the cause.
            QVERIFY(!exception.innerException()->message().isEmpty());
            QVERIFY(exception.innerException()->isUserMessage());
        }
    }
    QVERIFY(!QFile::exists(path + QStringLiteral(".loaded")));
}

void Pkcs11LibraryTest::functionListFailure()
{
    // The fault module's C_GetFunctionList fails when it cannot reach the
    // module it forwards to.
    qputenv("QUILLMARK_FAULT_TARGET", QUILLMARK_BINARY_DIR "/no-such-module.so");
    try {
        Pkcs11Library library(TokenTestBed::faultModule(), ModuleTrust::system(),
                              TokenTestBed::pinPrompt());
        qunsetenv("QUILLMARK_FAULT_TARGET");
        QFAIL("the function list was delivered");
    } catch (const AppException &exception) {
        qunsetenv("QUILLMARK_FAULT_TARGET");
        QCOMPARE(exception.message(),
                 QObject::tr("UnableToCall").arg(QStringLiteral("C_GetFunctionList()"), TokenTestBed::faultModule()));
    }
}

void Pkcs11LibraryTest::secondInitializationFails()
{
    Pkcs11Library first(TokenTestBed::softHsmModule(), ModuleTrust::system(),
                        TokenTestBed::pinPrompt());
    try {
        Pkcs11Library second(TokenTestBed::softHsmModule(), ModuleTrust::system(),
                             TokenTestBed::pinPrompt());
        QFAIL("a second wrapper initialised the same module");
    } catch (const AppException &exception) {
        QCOMPARE(exception.message(), QObject::tr("UnableToInitialize")
                                          .arg(QStringLiteral("PKCS#11"), TokenTestBed::softHsmModule()));
    }
    // The first wrapper is untouched by the failed second one.
    QCOMPARE(first.getSlots().size(), 4);
}

void Pkcs11LibraryTest::retriesWithoutLockingAfterCantLock()
{
    m_bed->setFaults(QStringLiteral("cantlock"));
    {
        Pkcs11Library library(TokenTestBed::faultModule(), ModuleTrust::system(),
                              TokenTestBed::pinPrompt());
        QVERIFY(!library.getSlots().isEmpty());
    }
    const QStringList calls = m_bed->faultLogLines(QStringLiteral("C_Initialize"));
    QCOMPARE(calls, QStringList({QStringLiteral("C_Initialize flags=%1 result=%2").arg(CKF_OS_LOCKING_OK).arg(CKR_CANT_LOCK),
                                 QStringLiteral("C_Initialize flags=0 result=0")}));
}

void Pkcs11LibraryTest::listsOnlySlotsWithTokens()
{
    Pkcs11Library library(TokenTestBed::softHsmModule(), ModuleTrust::system(),
                          TokenTestBed::pinPrompt());
    const QList<unsigned long> slotIds = library.getSlots();
    // Three initialised tokens and SoftHSM's one free slot.
    QCOMPARE(slotIds.size(), 4);
    QStringList labels;
    for (unsigned long slot : slotIds) {
        QCOMPARE(library.getSlotInfo(slot).getSlotId(), slot);
        labels.append(library.getTokenInfo(slot).getLabel());
    }
    QVERIFY(labels.contains(QStringLiteral("First")));
    QVERIFY(labels.contains(QStringLiteral("Two Words")));
}

void Pkcs11LibraryTest::noTokenGivesNoSlots()
{
    m_bed->setFaults(QStringLiteral("notoken"));
    Pkcs11Library library(TokenTestBed::faultModule(), ModuleTrust::system(),
                          TokenTestBed::pinPrompt());
    QVERIFY(library.getSlots().isEmpty());
}

void Pkcs11LibraryTest::tokenFieldsAreTrimmed()
{
    Pkcs11Library library(TokenTestBed::softHsmModule(), ModuleTrust::system(),
                          TokenTestBed::pinPrompt());
    QStringList labels;
    for (unsigned long slot : library.getSlots()) {
        const Pkcs11TokenInfo token = library.getTokenInfo(slot);
        const Pkcs11SlotInfo slotInfo = library.getSlotInfo(slot);
        QVERIFY(!token.getLabel().endsWith(QLatin1Char(' ')));
        QVERIFY(!slotInfo.getDescription().endsWith(QLatin1Char(' ')));
        QVERIFY(!slotInfo.getDescription().isEmpty());
        QCOMPARE(token.getManufacturerId(), QStringLiteral("SoftHSM project"));
        QCOMPARE(token.getModel(), QStringLiteral("SoftHSM v2"));
        QVERIFY(!token.hasProtectedAuthenticationPath());
        if (token.getLabel() == QLatin1String("Two Words"))
            QCOMPARE(token.getSerialNumber(), m_spacedSerial);
        labels.append(token.getLabel());
    }
    // The all-blank label of the third token and the free slot's.
    QCOMPARE(labels.count(QString()), 2);
}

void Pkcs11LibraryTest::findsObjectsInBatches_data()
{
    QTest::addColumn<int>("objects");
    QTest::addColumn<QStringList>("batches");
    QTest::newRow("300") << 300 << QStringList({QStringLiteral("found=256"), QStringLiteral("found=44")});
    QTest::newRow("exactly 256") << 256 << QStringList({QStringLiteral("found=256"), QStringLiteral("found=0")});
    QTest::newRow("none") << 0 << QStringList({QStringLiteral("found=0")});
}

void Pkcs11LibraryTest::findsObjectsInBatches()
{
    QFETCH(int, objects);
    QFETCH(QStringList, batches);
    m_bed->setFaults(QStringLiteral("objects=%1").arg(objects));
    Pkcs11Library library(TokenTestBed::faultModule(), ModuleTrust::system(),
                          TokenTestBed::pinPrompt());
    Pkcs11Session session(library, library.getSlots().first());
    Pkcs11Template search = Pkcs11Template::x509Certificates();
    const QList<unsigned long> found = library.findObjects(session.handle(), search.attributes(), search.count());
    session.close();

    QCOMPARE(found.size(), objects);
    QCOMPARE(QSet<unsigned long>(found.cbegin(), found.cend()).size(), objects);
    QStringList seen;
    for (const QString &line : m_bed->faultLogLines(QStringLiteral("C_FindObjects"))) {
        QVERIFY(line.contains(QStringLiteral("maximum=256")));
        seen.append(line.section(QLatin1Char(' '), 2));
    }
    QCOMPARE(seen, batches);
}

void Pkcs11LibraryTest::moduleErrorBecomesPkcs11Exception()
{
    m_bed->setFaults(QStringLiteral("deviceremoved"));
    Pkcs11Library library(TokenTestBed::faultModule(), ModuleTrust::system(),
                          TokenTestBed::pinPrompt());
    try {
        library.openSession(library.getSlots().first());
        QFAIL("the session opened");
    } catch (const AppException &exception) {
        // A token gone is told in words; the module's code stays in the cause.
        QCOMPARE(exception.typeName(), QStringLiteral("Pkcs11Exception"));
        QCOMPARE(exception.message(), QStringLiteral("The card or token was removed. Put it back and try again."));
        QVERIFY(exception.innerException());
        QCOMPARE(exception.innerException()->message(),
                 QStringLiteral("PKCS#11 method C_OpenSession returned error 0x00000032"));
        QVERIFY(exception.isUserMessage());
        QVERIFY(exception.toString(true).contains(QStringLiteral("openSession")));
    }
}

void Pkcs11LibraryTest::readsAttributeValues()
{
    Pkcs11Library library(TokenTestBed::softHsmModule(), ModuleTrust::system(),
                          TokenTestBed::pinPrompt());
    unsigned long first = 0;
    for (unsigned long slot : library.getSlots()) {
        if (library.getTokenInfo(slot).getLabel() == QLatin1String("First"))
            first = slot;
    }
    Pkcs11Session session(library, first);
    Pkcs11Template search = Pkcs11Template::x509Certificates();
    const QList<unsigned long> certificates = library.findObjects(session.handle(), search.attributes(), search.count());
    QCOMPARE(certificates.size(), 1);
    QCOMPARE(library.getAttributeValue(session.handle(), certificates.first(), CKA_ID), QByteArray::fromHex("01"));
    QCOMPARE(library.getAttributeValue(session.handle(), certificates.first(), CKA_LABEL), QByteArray("First Signer"));
    try {
        library.getAttributeValue(session.handle(), certificates.first(), CKA_MODULUS);
        QFAIL("a certificate has no modulus");
    } catch (const AppException &exception) {
        QCOMPARE(exception.message(), QStringLiteral("PKCS#11 method C_GetAttributeValue returned error 0x%1")
                                          .arg(CKR_ATTRIBUTE_TYPE_INVALID, 8, 16, QLatin1Char('0')));
    }
    session.close();
}

QTEST_MAIN(Pkcs11LibraryTest)
#include "tst_pkcs11library.moc"
