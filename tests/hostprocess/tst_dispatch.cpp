#include "catalogue.h"
#include "hostdriver.h"
#include "testhome.h"

#include <QJsonDocument>
#include <QtTest>

#include <memory>

namespace {

QString netName(const char *shortName)
{
    return HostDriver::qualified(QLatin1String(shortName), QStringLiteral("net"));
}

} // namespace

// The message dispatch of the real quillmark binary, seen from the page.
class TestDispatch : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<HostDriver> m_host;
    Catalogue m_english{QStringLiteral("en")};
    Catalogue m_slovak{QStringLiteral("sk")};

    HostDriver &host() { return *m_host; }

    // Without a component no catalogue is installed, so the keys themselves
    // make up the text.
    static QString untranslatedNotImplemented()
    {
        return QStringLiteral("MessageNotImplementedQuillmarkInstanceDoesNotExist");
    }

    static QJsonObject answer(const QJsonValue &error, const QString &method,
                              const QJsonValue &result = QJsonValue::Null)
    {
        return QJsonObject{{QStringLiteral("error"), error},
                           {QStringLiteral("method"), method},
                           {QStringLiteral("result"), result}};
    }

    static QJsonObject event(const QString &name, const QJsonArray &args)
    {
        return QJsonObject{{QStringLiteral("args"), args}, {QStringLiteral("event"), name}};
    }

    QJsonObject callQualified(const QString &name, const QJsonArray &args = {})
    {
        host().callQualified(name, args);
        const auto found = host().awaitAnswer(name.section(QLatin1Char('.'), -1));
        return found.value_or(QJsonObject{{QStringLiteral("timeout"), name}});
    }

    QJsonObject call(const QString &shortName, const QJsonArray &args = {})
    {
        return callQualified(HostDriver::qualified(shortName), args);
    }

    QString errorOf(const QString &shortName, const QJsonArray &args = {})
    {
        return call(shortName, args).value(QStringLiteral("error")).toString();
    }

    bool createInstance()
    {
        return call(QStringLiteral("CreateInstance"))
               == answer(QJsonValue::Null, HostDriver::qualified(QStringLiteral("CreateInstance")));
    }

    QString standardError() { return QString::fromUtf8(host().standardError()); }

    // A call that is always answered: everything the host wrote before its
    // answer has arrived by then.
    int framesUpToNextAnswer()
    {
        host().callMethod(QStringLiteral("GetVersion"));
        host().awaitAnswer(QStringLiteral("GetVersion"));
        return host().rawFrames().size();
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void methodWithoutComponent();
    void unknownMethod();
    void failureInsideComponent();
    void hostOnlyEvents_data();
    void hostOnlyEvents();
    void unknownEventAndConfigurationWithoutComponent();
    void messagesWithoutMethodOrEvent();
    void createInstanceTwiceReplacesComponent();
    void createInstanceWithoutCatalogues();
    void otherVersionCreatesNothing();
    void netPlatformSwitchesNames();
    void unknownPlatformIsDetectedOnce();
    void getVersion();
    void errorTextsWithQuotesAndBackslashes();
    void configurationAnswersAreNotAnswered();
    void setLanguage();
    void storeDefinitions_data();
    void storeDefinitions();
    void disposeInstance();
    void wireFormatByteForByte();
};

void TestDispatch::initTestCase()
{
    QVERIFY(m_english.isLoaded());
    QVERIFY(m_slovak.isLoaded());
    QVERIFY(m_english.text("ObjectDisposed") != m_slovak.text("ObjectDisposed"));
}

void TestDispatch::init()
{
    m_home = std::make_unique<TestHome>();
    m_host = std::make_unique<HostDriver>(m_home->environment());
    QVERIFY(m_host->start());
}

void TestDispatch::cleanup()
{
    QVERIFY(m_host->closeInputAndWait());
    QCOMPARE(m_host->process().exitCode(), 0);
    m_host.reset();
    m_home.reset();
}

void TestDispatch::methodWithoutComponent()
{
    const QString name = HostDriver::qualified(QStringLiteral("SetLanguage"));
    QCOMPARE(callQualified(name, {QStringLiteral("sk")}),
             answer(untranslatedNotImplemented(), name));
    QTRY_VERIFY(standardError().contains(QStringLiteral("Method %1 failed.").arg(name)));
}

void TestDispatch::unknownMethod()
{
    QVERIFY(createInstance());
    const QString name = HostDriver::qualified(QStringLiteral("NoSuchMethod"));
    QCOMPARE(callQualified(name), answer(m_english.notImplemented(QStringLiteral("Method"), name),
                                         name));
    // Names are compared exactly.
    const QString lowerCase = HostDriver::qualified(QStringLiteral("getversion"));
    QCOMPARE(callQualified(lowerCase),
             answer(m_english.notImplemented(QStringLiteral("Method"), lowerCase), lowerCase));
}

void TestDispatch::failureInsideComponent()
{
    QVERIFY(createInstance());
    const QString name = HostDriver::qualified(QStringLiteral("SetSigningCertificateStores"));
    QCOMPARE(callQualified(name, {QStringLiteral("a")}),
             answer(m_english.text("UnableToParseSigningCertificateStoresDefinition"), name));
    QTRY_VERIFY(standardError().contains(QStringLiteral("Method %1 failed.").arg(name)));
}

void TestDispatch::hostOnlyEvents_data()
{
    QTest::addColumn<QString>("shortName");
    for (const char *name : {"NeedGetDocumentInfoEvent", "NeedGetDocumentPageEvent",
                             "NeedSignInitEvent", "NeedSignFinishEvent",
                             "SigningProcessFinishedEvent"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestDispatch::hostOnlyEvents()
{
    QFETCH(QString, shortName);
    QVERIFY(createInstance());
    host().answerEvent(shortName, QStringLiteral("anything"));
    const QString name = HostDriver::qualified(shortName);
    QCOMPARE(host().awaitEvent(shortName),
             event(name, {m_english.text("MissingImplementation").arg(name)}));
    QTRY_VERIFY(standardError().contains(QStringLiteral("Event %1 failed.").arg(name)));
}

void TestDispatch::unknownEventAndConfigurationWithoutComponent()
{
    for (const char *shortName : {"LoadConfigurationEvent", "SaveConfigurationEvent"}) {
        host().answerEvent(QLatin1String(shortName), true);
        QCOMPARE(host().awaitEvent(QLatin1String(shortName)),
                 event(HostDriver::qualified(QLatin1String(shortName)),
                       {untranslatedNotImplemented()}));
    }
    QVERIFY(createInstance());
    host().answerEvent(QStringLiteral("NoSuchEvent"), true);
    const QString name = HostDriver::qualified(QStringLiteral("NoSuchEvent"));
    QCOMPARE(host().awaitEvent(QStringLiteral("NoSuchEvent")),
             event(name, {m_english.notImplemented(QStringLiteral("Event"), name)}));
}

void TestDispatch::messagesWithoutMethodOrEvent()
{
    host().send(QJsonObject{{QStringLiteral("result"), 1}});
    host().send(QJsonObject{{QStringLiteral("method"), 7}, {QStringLiteral("event"), true}});
    host().writeRaw(HostDriver::frame("[1, 2]") + HostDriver::frame("not json"));
    QCOMPARE(framesUpToNextAnswer(), 1);
    QCOMPARE(standardError().count(QStringLiteral("NoMethodOrEventSpecified")), 4);
}

void TestDispatch::createInstanceTwiceReplacesComponent()
{
    QVERIFY(createInstance());
    QCOMPARE(errorOf(QStringLiteral("SetLanguage"), {QStringLiteral("sk")}), QString());
    QCOMPARE(errorOf(QStringLiteral("SetSigningCertificateStores"), {QStringLiteral("a")}),
             m_slovak.text("UnableToParseSigningCertificateStoresDefinition"));

    QVERIFY(createInstance());
    // The first component took its Slovak catalogue with it; the new one
    // speaks English.
    QCOMPARE(errorOf(QStringLiteral("SetSigningCertificateStores"), {QStringLiteral("a")}),
             m_english.text("UnableToParseSigningCertificateStoresDefinition"));
    QCOMPARE(call(QStringLiteral("GetVersion")).value(QStringLiteral("result")),
             QJsonValue(QStringLiteral("1.0.7 (qt)")));
}

void TestDispatch::createInstanceWithoutCatalogues()
{
    // The same program installed without its share/translations beside bin.
    QTemporaryDir install;
    QVERIFY(QDir(install.path()).mkpath(QStringLiteral("bin")));
    const QString program = install.filePath(QStringLiteral("bin/quillmark"));
    QVERIFY(QFile::copy(HostDriver::binaryPath(), program));
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    HostDriver bare(m_home->environment());
    bare.process().setProgram(program);
    QVERIFY(bare.start());

    bare.callMethod(QStringLiteral("CreateInstance"));
    QCOMPARE(bare.awaitAnswer(QStringLiteral("CreateInstance")),
             answer(QStringLiteral("UnsupportedLanguage"),
                    HostDriver::qualified(QStringLiteral("CreateInstance"))));
    // The component exists all the same.
    QCOMPARE(bare.call(QStringLiteral("GetVersion")),
             answer(QJsonValue::Null, HostDriver::qualified(QStringLiteral("GetVersion")),
                    QStringLiteral("1.0.7 (qt)")));
    QVERIFY(bare.closeInputAndWait());
}

void TestDispatch::otherVersionCreatesNothing()
{
    const QString name = QStringLiteral("Quillmark.1.0.6.qt.QES.CreateInstance");
    QCOMPARE(callQualified(name), answer(untranslatedNotImplemented(), name));
    QCOMPARE(errorOf(QStringLiteral("GetVersion")), untranslatedNotImplemented());
}

void TestDispatch::netPlatformSwitchesNames()
{
    host().setPlatform(QStringLiteral("net"));
    const QString create = netName("CreateInstance");
    QCOMPARE(callQualified(create), answer(QJsonValue::Null, create));
    const QString version = netName("GetVersion");
    QCOMPARE(callQualified(version),
             answer(QJsonValue::Null, version, QStringLiteral("1.0.7 (qt)")));

    // The qt names are gone, for methods and for the events the page answers.
    const QString qtVersion = HostDriver::qualified(QStringLiteral("GetVersion"));
    QCOMPARE(callQualified(qtVersion),
             answer(m_english.notImplemented(QStringLiteral("Method"), qtVersion), qtVersion));
    const QString netEvent = netName("NeedSignInitEvent");
    host().answerEvent(QStringLiteral("NeedSignInitEvent"), 1);
    QCOMPARE(host().awaitEvent(QStringLiteral("NeedSignInitEvent")),
             event(netEvent, {m_english.text("MissingImplementation").arg(netEvent)}));

    // The requests of a document window carry the page's platform too.
    QCOMPARE(callQualified(netName("ViewDocument")),
             answer(QJsonValue::Null, netName("ViewDocument")));
    const auto request = host().awaitEvent(QStringLiteral("NeedGetDocumentInfoEvent"));
    QVERIFY(request);
    QCOMPARE(request->value(QStringLiteral("event")),
             QJsonValue(netName("NeedGetDocumentInfoEvent")));
    QCOMPARE(callQualified(netName("Terminate")), answer(QJsonValue::Null, netName("Terminate")));
}

void TestDispatch::unknownPlatformIsDetectedOnce()
{
    const QString other = QStringLiteral("Quillmark.1.0.7.xyz.QES.CreateInstance");
    QCOMPARE(callQualified(other), answer(untranslatedNotImplemented(), other));
    // Detection ran on the first name: a later "net" switches nothing.
    const QString net = netName("CreateInstance");
    QCOMPARE(callQualified(net), answer(untranslatedNotImplemented(), net));
    QVERIFY(createInstance());
}

void TestDispatch::getVersion()
{
    QVERIFY(createInstance());
    const QString name = HostDriver::qualified(QStringLiteral("GetVersion"));
    QCOMPARE(callQualified(name, {QStringLiteral("ignored")}),
             answer(QJsonValue::Null, name, QStringLiteral("1.0.7 (qt)")));
}

void TestDispatch::errorTextsWithQuotesAndBackslashes()
{
    QVERIFY(createInstance());
    const QString language = QStringLiteral("x\"y\\z\n");
    QCOMPARE(errorOf(QStringLiteral("SetLanguage"), {language}),
             m_english.text("UnsupportedLanguage").arg(language));

    const QString name = HostDriver::qualified(QStringLiteral("Odd\"Name\\"));
    QCOMPARE(callQualified(name), answer(m_english.notImplemented(QStringLiteral("Method"), name),
                                         name));
    for (const QByteArray &payload : host().rawFrames()) {
        QJsonParseError error{};
        QJsonDocument::fromJson(payload, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
    }
}

void TestDispatch::configurationAnswersAreNotAnswered()
{
    QVERIFY(createInstance());
    const int before = framesUpToNextAnswer();
    host().answerEvent(QStringLiteral("SaveConfigurationEvent"), QStringLiteral("True"));
    host().answerEvent(QStringLiteral("SaveConfigurationEvent"), QStringLiteral("yes"));
    host().answerEvent(QStringLiteral("SaveConfigurationEvent"), true);
    host().answerEvent(QStringLiteral("LoadConfigurationEvent"), QStringLiteral("PGNvbmZpZy8+"));
    QCOMPARE(framesUpToNextAnswer(), before + 1);

    // The component logs the flag it was given.
    const QStringList stored = standardError().split(QLatin1Char('\n')).filter(
        QRegularExpression(QStringLiteral("Saving configuration (true|false)$")));
    QCOMPARE(stored.size(), 3);
    QVERIFY(stored.at(0).endsWith(QStringLiteral("true")));
    QVERIFY(stored.at(1).endsWith(QStringLiteral("false")));
    QVERIFY(stored.at(2).endsWith(QStringLiteral("true")));
}

void TestDispatch::setLanguage()
{
    QVERIFY(createInstance());
    QCOMPARE(errorOf(QStringLiteral("SetLanguage"), {QStringLiteral("en-US")}), QString());
    QCOMPARE(errorOf(QStringLiteral("SetLanguage"), {QStringLiteral("sk")}), QString());
    QCOMPARE(errorOf(QStringLiteral("SetLanguage"), {QStringLiteral("xx")}),
             m_slovak.text("UnsupportedLanguage").arg(QStringLiteral("xx")));
    // The Slovak catalogue is still the one in force.
    QCOMPARE(errorOf(QStringLiteral("SetSigningCertificateStores"), {QString()}),
             m_slovak.text("UnableToParseSigningCertificateStoresDefinition"));
    QCOMPARE(errorOf(QStringLiteral("SetLanguage"), {QStringLiteral("en-GB")}), QString());
    QCOMPARE(errorOf(QStringLiteral("SetSigningCertificateStores"), {QString()}),
             m_english.text("UnableToParseSigningCertificateStoresDefinition"));
}

void TestDispatch::storeDefinitions_data()
{
    QTest::addColumn<QJsonValue>("definition");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("kind PKCS11") << QJsonValue(QStringLiteral("|PKCS11")) << true;
    QTest::newRow("kind CSP and a module")
        << QJsonValue(QStringLiteral("|CSP|Token|/usr/lib/libtoken.so")) << true;
    QTest::newRow("kind in lower case") << QJsonValue(QStringLiteral("|pkcs11")) << false;
    QTest::newRow("name without value") << QJsonValue(QStringLiteral("a|")) << false;
    QTest::newRow("odd part count") << QJsonValue(QStringLiteral("a")) << false;
    QTest::newRow("empty") << QJsonValue(QString()) << false;
    QTest::newRow("not a string") << QJsonValue(5) << false;
}

void TestDispatch::storeDefinitions()
{
    QFETCH(QJsonValue, definition);
    QFETCH(bool, accepted);
    QVERIFY(createInstance());
    const QString refusal = m_english.text("UnableToParseSigningCertificateStoresDefinition");
    const QString expected = accepted ? QString() : refusal;
    QCOMPARE(errorOf(QStringLiteral("SetSigningCertificateStores"), {definition}), expected);
}

void TestDispatch::disposeInstance()
{
    QVERIFY(createInstance());
    QCOMPARE(call(QStringLiteral("DisposeInstance")),
             answer(QJsonValue::Null, HostDriver::qualified(QStringLiteral("DisposeInstance"))));
    // The host has forgotten the component: every method but CreateInstance
    // finds none.
    for (const char *shortName :
         {"DisposeInstance", "SignDocument", "ViewDocument", "ProcessGetDocumentInfoResponse",
          "ProcessGetDocumentPageResponse", "ProcessSignInitResponse",
          "ProcessSignFinishResponse", "Terminate", "BringToFront", "SetFilterOnlyValidCerts",
          "SetFilterOnlyQualifiedCerts", "SetLanguage", "SetPageCacheSize",
          "SetSigningCertificateStores", "GetVersion"}) {
        QCOMPARE(errorOf(QLatin1String(shortName)), untranslatedNotImplemented());
    }
    QVERIFY(createInstance());
    QCOMPARE(errorOf(QStringLiteral("GetVersion")), QString());
}

void TestDispatch::wireFormatByteForByte()
{
    host().callMethod(QStringLiteral("CreateInstance"));
    QVERIFY(host().awaitAnswer(QStringLiteral("CreateInstance")));
    host().answerEvent(QStringLiteral("NeedSignInitEvent"), QStringLiteral("x"));
    QVERIFY(host().awaitEvent(QStringLiteral("NeedSignInitEvent")));

    const QByteArray answerJson =
        R"({"error":null,"method":"Quillmark.1.0.7.qt.QES.CreateInstance","result":null})";
    const QByteArray eventJson =
        R"({"args":["The event Quillmark.1.0.7.qt.QES.NeedSignInitEvent is sent only by the )"
        R"(application; it cannot be received."],)"
        R"("event":"Quillmark.1.0.7.qt.QES.NeedSignInitEvent"})";
    QCOMPARE(host().rawFrames(), (QList<QByteArray>{answerJson, eventJson}));
    QCOMPARE(host().pendingBytes(), QByteArray());

    // The length prefix: 32 bits, little-endian, then exactly the payload.
    QByteArray expected;
    for (const QByteArray &payload : {answerJson, eventJson})
        expected += HostDriver::frame(payload);
    QCOMPARE(host().rawStandardOutput(), expected);
    QCOMPARE(expected.left(4), QByteArray("\x4d\x00\x00\x00", 4));
}

QTEST_GUILESS_MAIN(TestDispatch)
#include "tst_dispatch.moc"
