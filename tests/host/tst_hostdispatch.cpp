#include "closingflag.h"
#include "fixturepaths.h"
#include "hostdriver.h"
#include "pagedispatcher.h"
#include "quillmark.h"
#include "quillmarkversion.h"
#include "writethread.h"

#include <QDir>
#include <QJsonDocument>
#include <QPointer>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

QString netName(const QString &shortName)
{
    return HostDriver::qualified(shortName, QStringLiteral("net"));
}

} // namespace

// The dispatcher in this process, its documents for the page framed as the
// writer frames them: the component and the dispatcher can be reached
// directly while the page side still speaks frames. The page announced the
// "net" platform with its first call.
class TestHostDispatch : public QObject
{
    Q_OBJECT

private:
    PageDispatcher &dispatcher() { return *m_dispatcher; }

    void callMethod(const QString &shortName, const QJsonValue &args = QJsonArray())
    {
        QJsonObject message{{QStringLiteral("method"), netName(shortName)}};
        if (!args.isUndefined())
            message.insert(QStringLiteral("args"), args);
        dispatcher().dispatch(message);
    }

    // The next frame the dispatcher sends, length prefix included.
    QByteArray nextFrame()
    {
        QDeadlineTimer deadline(5000);
        while (m_sent.isEmpty() && !deadline.hasExpired())
            QTest::qWait(5);
        return m_sent.isEmpty() ? QByteArray() : WriteThread::frame(m_sent.takeFirst());
    }

    QJsonObject nextMessage() { return QJsonDocument::fromJson(nextFrame().mid(4)).object(); }

    QJsonObject call(const QString &shortName, const QJsonValue &args = QJsonArray())
    {
        callMethod(shortName, args);
        return nextMessage();
    }

    std::unique_ptr<PageDispatcher> m_dispatcher;
    QList<QJsonDocument> m_sent;

private slots:
    void initTestCase();
    void init() { ClosingFlag::lower(); }

    void componentRequestsBecomeEventsInWireOrder();
    void requestFromWorkerThreadReachesThePage();
    void booleanArguments_data();
    void booleanArguments();
    void integerArguments_data();
    void integerArguments();
    void failedMethodIsAnsweredAndLoggedWithCause();
    void createInstanceReplacesAndDisposeForgets();
    void terminateFromThePage();
};

void TestHostDispatch::initTestCase()
{
    QVERIFY(QDir::setCurrent(QStringLiteral(QUILLMARK_STAGE_BIN)));
    m_dispatcher = std::make_unique<PageDispatcher>(
        QString::fromLatin1(QuillmarkVersion::component),
        QString::fromLatin1(QuillmarkVersion::defaultPlatform),
        [this](const QJsonDocument &document) { m_sent.append(document); });
    callMethod(QStringLiteral("CreateInstance"));
    const QByteArray json =
        R"({"error":null,"method":"Quillmark.1.0.7.net.QES.CreateInstance","result":null})";
    QCOMPARE(nextFrame(), HostDriver::frame(json));
    QVERIFY(dispatcher().component());
}

void TestHostDispatch::componentRequestsBecomeEventsInWireOrder()
{
    Quillmark *component = dispatcher().component();
    emit component->needGetDocumentInfoEvent(QStringLiteral("n0"));
    emit component->needGetDocumentPageEvent(3, QStringLiteral("n1"));
    emit component->needSignInitEvent(QStringLiteral("-----BEGIN CERTIFICATE-----\nMII="),
                                      QStringLiteral("n2"));
    emit component->needSignFinishEvent(QStringLiteral("0a1b"), QStringLiteral("n3"));
    emit component->loadConfigurationEvent();
    emit component->saveConfigurationEvent(QStringLiteral("PGM+"));
    emit component->signingProcessFinishedEvent(true);

    const QList<QByteArray> expected{
        R"({"args":["n0"],"event":"Quillmark.1.0.7.net.QES.NeedGetDocumentInfoEvent"})",
        R"({"args":[3,"n1"],"event":"Quillmark.1.0.7.net.QES.NeedGetDocumentPageEvent"})",
        R"({"args":["-----BEGIN CERTIFICATE-----\nMII=","n2"],)"
        R"("event":"Quillmark.1.0.7.net.QES.NeedSignInitEvent"})",
        R"({"args":["0a1b","n3"],"event":"Quillmark.1.0.7.net.QES.NeedSignFinishEvent"})",
        R"({"args":[""],"event":"Quillmark.1.0.7.net.QES.LoadConfigurationEvent"})",
        R"({"args":["PGM+"],"event":"Quillmark.1.0.7.net.QES.SaveConfigurationEvent"})",
        R"({"args":[true],"event":"Quillmark.1.0.7.net.QES.SigningProcessFinishedEvent"})",
    };
    for (const QByteArray &json : expected)
        QCOMPARE(nextFrame(), HostDriver::frame(json));
}

void TestHostDispatch::requestFromWorkerThreadReachesThePage()
{
    Quillmark *component = dispatcher().component();
    std::unique_ptr<QThread> worker(QThread::create(
        [component] { emit component->signingProcessFinishedEvent(false); }));
    worker->start();
    QVERIFY(worker->wait(2000));
    QCOMPARE(nextMessage(),
             (QJsonObject{{QStringLiteral("args"), QJsonArray{false}},
                          {QStringLiteral("event"), netName("SigningProcessFinishedEvent")}}));
}

void TestHostDispatch::booleanArguments_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QJsonValue>("args");
    QTest::addColumn<bool>("expected");
    const QString valid = QStringLiteral("SetFilterOnlyValidCerts");
    const QString qualified = QStringLiteral("SetFilterOnlyQualifiedCerts");
    QTest::newRow("\"TRUE\"") << valid << QJsonValue(QJsonArray{"TRUE"}) << true;
    QTest::newRow("true") << valid << QJsonValue(QJsonArray{true}) << true;
    QTest::newRow("1") << valid << QJsonValue(QJsonArray{1}) << false;
    QTest::newRow("\"yes\"") << valid << QJsonValue(QJsonArray{"yes"}) << false;
    QTest::newRow("false") << valid << QJsonValue(QJsonArray{false}) << false;
    QTest::newRow("empty array") << valid << QJsonValue(QJsonArray()) << false;
    QTest::newRow("args not an array") << valid << QJsonValue("TRUE") << false;
    QTest::newRow("no args") << valid << QJsonValue(QJsonValue::Undefined) << false;
    QTest::newRow("qualified \"True\"") << qualified << QJsonValue(QJsonArray{"True", false})
                                        << true;
    QTest::newRow("qualified null") << qualified << QJsonValue(QJsonArray{QJsonValue()}) << false;
}

void TestHostDispatch::booleanArguments()
{
    QFETCH(QString, method);
    QFETCH(QJsonValue, args);
    QFETCH(bool, expected);
    Quillmark *component = dispatcher().component();
    const bool valid = method == QLatin1String("SetFilterOnlyValidCerts");
    const auto stored = [&] {
        return valid ? component->filterOnlyValidCerts() : component->filterOnlyQualifiedCerts();
    };
    // Start from the other value, so that a call that changes nothing fails.
    if (valid)
        component->setFilterOnlyValidCerts(!expected);
    else
        component->setFilterOnlyQualifiedCerts(!expected);

    QCOMPARE(call(method, args).value(QStringLiteral("error")), QJsonValue());
    QCOMPARE(stored(), expected);
}

void TestHostDispatch::integerArguments_data()
{
    QTest::addColumn<QJsonValue>("argument");
    QTest::addColumn<int>("expected");
    QTest::newRow("\"12\"") << QJsonValue("12") << 12;
    QTest::newRow("12") << QJsonValue(12) << 12;
    QTest::newRow("12.0") << QJsonValue(12.0) << 12;
    QTest::newRow("12.5") << QJsonValue(12.5) << 0;
    QTest::newRow("\"12.5\"") << QJsonValue("12.5") << 0;
    QTest::newRow("\"twelve\"") << QJsonValue("twelve") << 0;
    QTest::newRow("true") << QJsonValue(true) << 0;
    QTest::newRow("1e20") << QJsonValue(1e20) << 0;
    QTest::newRow("largest int") << QJsonValue(2147483647) << 2147483647;
    QTest::newRow("-5 stored as 0") << QJsonValue(-5) << 0;
    QTest::newRow("\"-5\" stored as 0") << QJsonValue("-5") << 0;
}

void TestHostDispatch::integerArguments()
{
    QFETCH(QJsonValue, argument);
    QFETCH(int, expected);
    Quillmark *component = dispatcher().component();
    component->setPageCacheSize(99);
    QCOMPARE(call(QStringLiteral("SetPageCacheSize"), QJsonArray{argument})
                 .value(QStringLiteral("error")),
             QJsonValue());
    QCOMPARE(component->pageCacheSize(), expected);
}

void TestHostDispatch::failedMethodIsAnsweredAndLoggedWithCause()
{
    const QString name = netName(QStringLiteral("SetSigningCertificateStores"));
    const QJsonObject message{{QStringLiteral("method"), name},
                              {QStringLiteral("args"), QJsonArray{"a|"}}};
    // The failure is answered and logged here; nothing leaves into the
    // event loop.
    QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("\"Method %1 failed.\"").arg(name)));
    dispatcher().dispatch(message);
    const QString cause = QObject::tr("UnableToParseSigningCertificateStoresDefinition");
    QCOMPARE(nextMessage(), (QJsonObject{{QStringLiteral("error"), cause},
                                         {QStringLiteral("method"), name},
                                         {QStringLiteral("result"), QJsonValue()}}));

    const QJsonObject pageOnly{{QStringLiteral("event"), netName("NeedSignFinishEvent")}};
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable(QStringLiteral("\"Event %1 failed.\"").arg(netName("NeedSignFinishEvent"))));
    dispatcher().dispatch(pageOnly);
    QCOMPARE(nextMessage().value(QStringLiteral("event")),
             QJsonValue(netName("NeedSignFinishEvent")));
}

void TestHostDispatch::createInstanceReplacesAndDisposeForgets()
{
    const QPointer<Quillmark> first = dispatcher().component();
    QVERIFY(first);
    QCOMPARE(call(QStringLiteral("CreateInstance")).value(QStringLiteral("error")), QJsonValue());
    QVERIFY(!first);
    QVERIFY(dispatcher().component());

    QCOMPARE(call(QStringLiteral("DisposeInstance")).value(QStringLiteral("error")), QJsonValue());
    QVERIFY(!dispatcher().component());
    QCOMPARE(call(QStringLiteral("CreateInstance")).value(QStringLiteral("error")), QJsonValue());
    QVERIFY(dispatcher().component());
}

void TestHostDispatch::terminateFromThePage()
{
    QSignalSpy done(dispatcher().component(), &Quillmark::quillmarkDone);
    QCOMPARE(call(QStringLiteral("Terminate")).value(QStringLiteral("error")), QJsonValue());
    QVERIFY(ClosingFlag::isRaised());
    QCOMPARE(done.count(), 1);
}

QTEST_MAIN(TestHostDispatch)
#include "tst_hostdispatch.moc"
