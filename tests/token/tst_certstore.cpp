// Certificate stores: which store definitions of the page are usable, and
// the listing of every token of a module with the PIN asked per token.
#include "certstorefactory.h"
#include "fixturepaths.h"
#include "logcapture.h"
#include "moduletrust.h"
#include "pkcs11moduleregistry.h"
#include "scriptedpinprompt.h"
#include "tokentestbed.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every token of this test shares one PIN: the order in which the tokens
// ask for it is the module's.
const QString pin = QStringLiteral("1111");

// Owns the files that stand for another user's.
constexpr uid_t otherUser = 12345;

} // namespace

class CertStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void usableStores_data();
    void usableStores();
    void invalidDefinitions_data();
    void invalidDefinitions();
    void onlySelectableStoresTakeAPath();
    void registeredModules();
    void moduleTrust_data();
    void moduleTrust();
    void listsEveryTokenAfterLogin();
    void cancelListsPublicCertificates();
    void failingTokenIsLeftOut();
    void lockedPinLeavesTokensOut();
    void moduleLoadFailureReachesCaller();
    void slotListFailureReachesCaller();

private:
    static Outcome listOnWorker(const QString &module);
    static QVariantMap byLabel(const QList<Pkcs11CertContainer> &containers);

    std::unique_ptr<TokenTestBed> m_bed;
    std::unique_ptr<ScriptedPinPrompt> m_driver;
};

void CertStoreTest::initTestCase()
{
    m_bed = std::make_unique<TokenTestBed>(QStringLiteral("certstore"));
    SoftHsmFixture &fixture = m_bed->fixture();
    m_bed->createSigningToken(QStringLiteral("Single"), pin);

    fixture.createToken(QStringLiteral("Several"), pin);
    for (int index = 1; index <= 4; ++index) {
        SoftHsmFixture::ObjectOptions options;
        options.id = QByteArray(1, char(index));
        options.label = QStringLiteral("Several %1").arg(index);
        // The last certificate is readable only after login.
        options.privateObject = index == 4;
        fixture.importCredential(QStringLiteral("Several"), pin,
                                 m_bed->authority().issue(options.label, index % 2 == 0), options);
    }

    fixture.createToken(QStringLiteral("Authority"), pin);
    SoftHsmFixture::ObjectOptions authority;
    authority.id = QByteArray::fromHex("0a");
    authority.label = QStringLiteral("CA");
    fixture.importCertificate(QStringLiteral("Authority"), pin, m_bed->authority().certificateDer(),
                              m_bed->authority().subjectDer(), authority);

    fixture.createToken(QStringLiteral("Empty"), pin);
}

void CertStoreTest::init()
{
    m_bed->setFaults(QString());
    m_driver = std::make_unique<ScriptedPinPrompt>();
}

void CertStoreTest::cleanup()
{
    QCOMPARE(m_driver->unexpectedQuestions(), 0);
    m_driver.reset();
}

Outcome CertStoreTest::listOnWorker(const QString &module)
{
    const Pkcs11CertStore store = CertStoreFactory::getInstance(
        StoreDefinition::parseList(QStringLiteral("Test store|") + module).constFirst());
    return TokenTestBed::runOnWorker([store]() {
        return QVariant(byLabel(store.getContainers(TokenTestBed::pinPrompt())));
    });
}

// Label -> [logged in, number of certificates, number of CA certificates].
QVariantMap CertStoreTest::byLabel(const QList<Pkcs11CertContainer> &containers)
{
    QVariantMap summary;
    for (const Pkcs11CertContainer &container : containers) {
        int authorities = 0;
        for (const X509Certificate2Ultra &certificate : container.getCertificates()) {
            if (certificate.isNull())
                qFatal("a listed certificate did not decode");
            authorities += certificate.isCa() ? 1 : 0;
        }
        summary.insert(container.getTokenInfo().getLabel(),
                       QVariantList{container.isLoggedIn(), container.getCertificates().size(), authorities});
    }
    return summary;
}

void CertStoreTest::usableStores_data()
{
    QTest::addColumn<QString>("definitions");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("paths");

    const QString module = TokenTestBed::softHsmModule();
    const QString pkcs11Name = QObject::tr("CertStoreFriendlyNamePkcs11");
    QTest::newRow("kind PKCS11") << QStringLiteral("|PKCS11") << QStringList{pkcs11Name}
                                 << QStringList{QString()};
    QTest::newRow("kind CSP") << QStringLiteral("|CSP") << QStringList() << QStringList();
    QTest::newRow("missing module file")
        << QStringLiteral("Card|" QUILLMARK_BINARY_DIR "/no-module.so") << QStringList()
        << QStringList();
    // A page could have the browser download it there first.
    QTest::newRow("module in a folder anybody may write")
        << QStringLiteral("Card|%1|SoftHSM|%2")
               .arg(m_bed->plantModule(TokenTestBed::markerModule(), QStringLiteral("card.so")),
                    module)
        << QStringList{QStringLiteral("SoftHSM")} << QStringList{module};
    QTest::newRow("named module, then kind, order kept")
        << QStringLiteral("SoftHSM|%1||CSP||PKCS11").arg(module)
        << QStringList{QStringLiteral("SoftHSM"), pkcs11Name} << QStringList{module, QString()};
}

void CertStoreTest::usableStores()
{
    QFETCH(QString, definitions);
    QFETCH(QStringList, names);
    QFETCH(QStringList, paths);
    QStringList foundNames;
    QStringList foundPaths;
    for (const Pkcs11CertStore &store :
         CertStoreFactory::getUsableStores(StoreDefinition::parseList(definitions))) {
        foundNames.append(store.getName());
        foundPaths.append(store.getLibraryPath());
        QCOMPARE(store.isLibraryPathSelectable(), store.getLibraryPath().isEmpty());
    }
    QCOMPARE(foundNames, names);
    QCOMPARE(foundPaths, paths);
}

void CertStoreTest::invalidDefinitions_data()
{
    QTest::addColumn<QString>("definitions");
    QTest::newRow("empty value") << QStringLiteral("Card|");
    QTest::newRow("kind in lower case") << QStringLiteral("|pkcs11");
    QTest::newRow("bad pair after a good one") << QStringLiteral("|PKCS11||Other");
}

// Refused where the text is read: no store is ever made of them.
void CertStoreTest::invalidDefinitions()
{
    QFETCH(QString, definitions);
    try {
        StoreDefinition::parseList(definitions);
        QFAIL("the definitions were accepted");
    } catch (const AppException &exception) {
        QCOMPARE(exception.message(),
                 QObject::tr("UnableToParseSigningCertificateStoresDefinition"));
        QVERIFY(exception.isUserMessage());
    }
}

void CertStoreTest::onlySelectableStoresTakeAPath()
{
    Pkcs11CertStore selectable = CertStoreFactory::getInstance(
        StoreDefinition::parseList(QStringLiteral("|PKCS11")).constFirst());
    selectable.setLibraryPath(QStringLiteral("/chosen.so"));
    QCOMPARE(selectable.getLibraryPath(), QStringLiteral("/chosen.so"));

    Pkcs11CertStore named = CertStoreFactory::getInstance(
        StoreDefinition::parseList(QStringLiteral("Card|/named.so")).constFirst());
    named.setLibraryPath(QStringLiteral("/chosen.so"));
    QCOMPARE(named.getLibraryPath(), QStringLiteral("/named.so"));
    QVERIFY(!named.isLibraryPathSelectable());
}

void CertStoreTest::listsEveryTokenAfterLogin()
{
    for (int token = 0; token < 4; ++token)
        m_driver->typePin(pin);
    LogCapture log;
    const Outcome outcome = listOnWorker(TokenTestBed::softHsmModule());
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    const QVariantMap summary = outcome.value.toMap();
    QCOMPARE(summary.value(QStringLiteral("Single")).toList(), QVariantList({true, 1, 0}));
    QCOMPARE(summary.value(QStringLiteral("Several")).toList(), QVariantList({true, 4, 0}));
    QCOMPARE(summary.value(QStringLiteral("Authority")).toList(), QVariantList({true, 1, 1}));
    QCOMPARE(summary.value(QStringLiteral("Empty")).toList(), QVariantList({true, 0, 0}));
    // SoftHSM's free slot holds no usable token: it is left out, and said so.
    QCOMPARE(summary.size(), 4);
    QCOMPARE(log.messagesStartingWith(QStringLiteral("Recoverable exception: ")).size(), 1);
    QCOMPARE(m_driver->questionsAsked(), 4);
}

void CertStoreTest::cancelListsPublicCertificates()
{
    for (int token = 0; token < 4; ++token)
        m_driver->cancel();
    const Outcome outcome = listOnWorker(TokenTestBed::softHsmModule());
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    const QVariantMap summary = outcome.value.toMap();
    QCOMPARE(summary.value(QStringLiteral("Single")).toList(), QVariantList({false, 1, 0}));
    QCOMPARE(summary.value(QStringLiteral("Several")).toList(), QVariantList({false, 3, 0}));
    QCOMPARE(summary.value(QStringLiteral("Empty")).toList(), QVariantList({false, 0, 0}));
}

void CertStoreTest::failingTokenIsLeftOut()
{
    m_bed->setFaults(QStringLiteral("deviceremoved=Several"));
    for (int token = 0; token < 3; ++token)
        m_driver->typePin(pin);
    LogCapture log;
    const Outcome outcome = listOnWorker(TokenTestBed::faultModule());
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    const QVariantMap summary = outcome.value.toMap();
    QCOMPARE(summary.keys(), QStringList({QStringLiteral("Authority"), QStringLiteral("Empty"), QStringLiteral("Single")}));
    const QStringList recoverable = log.messagesStartingWith(QStringLiteral("Recoverable exception: "));
    QCOMPARE(recoverable.filter(QStringLiteral("C_OpenSession returned error 0x00000032")).size(), 1);
}

void CertStoreTest::lockedPinLeavesTokensOut()
{
    m_bed->setFaults(QStringLiteral("pinlocked"));
    for (int token = 0; token < 4; ++token)
        m_driver->typePin(pin);
    LogCapture log;
    const Outcome outcome = listOnWorker(TokenTestBed::faultModule());
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    QVERIFY(outcome.value.toMap().isEmpty());
    const QStringList recoverable = log.messagesStartingWith(QStringLiteral("Recoverable exception: "));
    QCOMPARE(recoverable.filter(QObject::tr("PinBlocked")).size(), 4);
}

void CertStoreTest::moduleLoadFailureReachesCaller()
{
    const QString missing = QStringLiteral(QUILLMARK_BINARY_DIR "/no-module.so");
    const Outcome outcome = listOnWorker(missing);
    QVERIFY(outcome.threw);
    QCOMPARE(outcome.message, QObject::tr("UnableToLoad").arg(QStringLiteral("PKCS#11"), missing));
}

void CertStoreTest::slotListFailureReachesCaller()
{
    m_bed->setFaults(QStringLiteral("fail=C_GetSlotList"));
    const Outcome outcome = listOnWorker(TokenTestBed::faultModule());
    QVERIFY(outcome.threw);
    QCOMPARE(outcome.typeName, QStringLiteral("Pkcs11Exception"));
    QCOMPARE(outcome.message, QStringLiteral("PKCS#11 method C_GetSlotList returned error 0x00000030"));
}

// p11-kit's module configurations as the certificate window offers them: by
// file name, relative module names under p11-kit's module directory, a later
// directory overriding an earlier one, modules without a library left out.
void CertStoreTest::registeredModules()
{
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("package"));
    QDir(root.path()).mkpath(QStringLiteral("system"));
    QDir(root.path()).mkpath(QStringLiteral("lib"));
    const auto write = [&root](const QString &name, const QByteArray &content) {
        QFile file(root.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    };
    write(QStringLiteral("lib/vendor-pkcs11.so"), "library");
    write(QStringLiteral("package/vendor.module"), "# The vendor's card\nmodule: vendor-pkcs11.so\n");
    write(QStringLiteral("package/softhsm2.module"), "module: /nowhere/libsofthsm2.so\n");
    write(QStringLiteral("system/softhsm2.module"),
          "critical: no\nmodule:  " + QFile::encodeName(TokenTestBed::softHsmModule()) + "  # local\n");
    write(QStringLiteral("system/gone.module"), "module: /nowhere/gone.so\n");
    write(QStringLiteral("system/nameless.module"), "# module: commented.so\nmanaged: yes\n");
    write(QStringLiteral("system/notes.txt"), "module: vendor-pkcs11.so\n");

    const Pkcs11ModuleRegistry registry({root.filePath(QStringLiteral("package")), root.filePath(QStringLiteral("system"))},
                                        root.filePath(QStringLiteral("lib")));
    const QList<Pkcs11ModuleRegistry::Module> modules = registry.modules();
    QCOMPARE(modules.size(), 2);
    QCOMPARE(modules.at(0).name, QStringLiteral("softhsm2"));
    QCOMPARE(modules.at(0).path, TokenTestBed::softHsmModule());
    QCOMPARE(modules.at(1).name, QStringLiteral("vendor"));
    QCOMPARE(modules.at(1).path, root.filePath(QStringLiteral("lib/vendor-pkcs11.so")));
}

// Which module files may be loaded: what the administrator installed or
// registered, and what the user chose and nobody else may change.
void CertStoreTest::moduleTrust_data()
{
    QTest::addColumn<QString>("module");
    QTest::addColumn<bool>("trusted");
    QTest::newRow("root's, in root's folders") << QStringLiteral("lib/module.so") << true;
    QTest::newRow("root's, group-writable") << QStringLiteral("lib/group-writable.so") << false;
    QTest::newRow("root's, in a world-writable folder")
        << QStringLiteral("shared/module.so") << false;
    QTest::newRow("another user's") << QStringLiteral("lib/other-owner.so") << false;
    QTest::newRow("link into a user's folder") << QStringLiteral("lib/link.so") << false;
    QTest::newRow("user's folder, registered with p11-kit")
        << QStringLiteral("home/registered.so") << true;
    QTest::newRow("chosen by the user, remembered") << QStringLiteral("shared/chosen.so") << true;
    QTest::newRow("chosen, then made group-writable")
        << QStringLiteral("shared/chosen-group-writable.so") << false;
    QTest::newRow("chosen, another user's") << QStringLiteral("home/chosen.so") << false;
    QTest::newRow("not chosen, beside a chosen one")
        << QStringLiteral("shared/unchosen.so") << false;
    QTest::newRow("missing") << QStringLiteral("lib/missing.so") << false;
}

void CertStoreTest::moduleTrust()
{
    QFETCH(QString, module);
    QFETCH(bool, trusted);
    if (::geteuid() != 0)
        QSKIP("needs root to give files to another user");
    // Root's files count as installed only in folders root's alone, which
    // the build tree need not be.
    QTemporaryDir root(TokenTestBed::rootOnlyFolder() + QStringLiteral("/quillmark-trust-XXXXXX"));
    QVERIFY(root.isValid());
    const auto path = [&root](const char *name) { return root.filePath(QLatin1String(name)); };
    const auto setMode = [&path](const char *name, mode_t mode) {
        return ::chmod(QFile::encodeName(path(name)).constData(), mode) == 0;
    };
    const auto giveAway = [&path](const char *name) {
        return ::chown(QFile::encodeName(path(name)).constData(), otherUser, otherUser) == 0;
    };
    for (const char *folder : {"lib", "shared", "home", "p11"})
        QVERIFY(QDir(root.path()).mkpath(QLatin1String(folder)));
    QVERIFY(setMode("shared", 0777));
    QVERIFY(giveAway("home"));
    for (const char *name :
         {"lib/module.so", "lib/group-writable.so", "shared/module.so", "lib/other-owner.so",
          "home/module.so", "home/registered.so", "shared/chosen.so",
          "shared/chosen-group-writable.so", "home/chosen.so", "shared/unchosen.so"}) {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(setMode(name, 0644));
    }
    QVERIFY(setMode("lib/group-writable.so", 0664));
    for (const char *name : {"lib/other-owner.so", "home/registered.so", "home/chosen.so"})
        QVERIFY(giveAway(name));
    QVERIFY(QFile::link(path("home/module.so"), path("lib/link.so")));
    QFile registration(path("p11/vendor.module"));
    QVERIFY(registration.open(QIODevice::WriteOnly));
    registration.write("module: " + QFile::encodeName(path("home/registered.so")) + "\n");
    registration.close();

    const Pkcs11ModuleRegistry registry({path("p11")}, path("lib"));
    const QString settings = path("settings.conf");
    for (const char *name :
         {"shared/chosen.so", "shared/chosen-group-writable.so", "home/chosen.so"})
        ModuleTrust(registry, settings).rememberUserChoice(path(name));
    QVERIFY(setMode("shared/chosen-group-writable.so", 0664));

    // A later run: the choices come from the user's settings.
    const QString file = root.filePath(module);
    const ModuleTrust::Verdict verdict = ModuleTrust(registry, settings).check(file);
    QVERIFY2(verdict.isTrusted() == trusted, qPrintable(verdict.refusal));
    if (trusted)
        QCOMPARE(verdict.file, QFileInfo(file).canonicalFilePath());
}

QTEST_MAIN(CertStoreTest)
#include "tst_certstore.moc"
