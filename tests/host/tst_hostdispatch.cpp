#include "appexception.h"
#include "closingflag.h"
#include "fixturepaths.h"
#include "hostdriver.h"
#include "modalprobe.h"
#include "msgbox.h"
#include "nativemessaginghost.h"
#include "quillmark.h"
#include "quillmarkversion.h"

#include <QDir>
#include <QException>
#include <QJsonDocument>
#include <QPointer>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>

namespace {

// Throws from its event handler, as a slot or widget of the program might.
class Thrower : public QObject
{
public:
    explicit Thrower(std::function<void()> raise) : m_raise(std::move(raise)) {}

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User)
            m_raise();
        return QObject::event(event);
    }

private:
    std::function<void()> m_raise;
};

QString netName(const QString &shortName)
{
    return HostDriver::qualified(shortName, QStringLiteral("net"));
}

} // namespace

// The application object in this process, its channel on two pipes: the
// component and the host's slots can be reached directly while the page side
// still speaks frames. The page announced the "net" platform with its first
// call.
class TestHostDispatch : public QObject
{
    Q_OBJECT

public:
    TestHostDispatch(int pageOutput, int pageInput)
        : m_pageOutput(pageOutput), m_pageInput(pageInput)
    {
        fcntl(m_pageInput, F_SETFL, fcntl(m_pageInput, F_GETFL) | O_NONBLOCK);
    }

private:
    static NativeMessagingHost &host() { return *static_cast<NativeMessagingHost *>(qApp); }

    void send(const QJsonObject &message)
    {
        const QByteArray bytes =
            HostDriver::frame(QJsonDocument(message).toJson(QJsonDocument::Compact));
        QCOMPARE(::write(m_pageOutput, bytes.constData(), static_cast<size_t>(bytes.size())),
                 static_cast<ssize_t>(bytes.size()));
    }

    void callMethod(const QString &shortName, const QJsonValue &args = QJsonArray())
    {
        QJsonObject message{{QStringLiteral("method"), netName(shortName)}};
        if (!args.isUndefined())
            message.insert(QStringLiteral("args"), args);
        send(message);
    }

    // The next frame the host writes, length prefix included.
    QByteArray nextFrame()
    {
        QDeadlineTimer deadline(5000);
        for (;;) {
            char chunk[4096];
            const ssize_t got = ::read(m_pageInput, chunk, sizeof chunk);
            if (got > 0)
                m_received.append(chunk, static_cast<int>(got));
            if (m_received.size() >= 4) {
                quint32 length = 0;
                for (int i = 3; i >= 0; --i)
                    length = length << 8 | static_cast<unsigned char>(m_received.at(i));
                if (static_cast<quint32>(m_received.size()) >= length + 4) {
                    const QByteArray frame = m_received.left(static_cast<int>(length) + 4);
                    m_received.remove(0, frame.size());
                    return frame;
                }
            }
            if (deadline.hasExpired())
                return QByteArray();
            QTest::qWait(5);
        }
    }

    QJsonObject nextMessage() { return QJsonDocument::fromJson(nextFrame().mid(4)).object(); }

    QJsonObject call(const QString &shortName, const QJsonValue &args = QJsonArray())
    {
        callMethod(shortName, args);
        return nextMessage();
    }

    const int m_pageOutput;
    const int m_pageInput;
    QByteArray m_received;

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
    void notifyCatchesEverything();
};

void TestHostDispatch::initTestCase()
{
    QVERIFY(QDir::setCurrent(QStringLiteral(QUILLMARK_STAGE_BIN)));
    callMethod(QStringLiteral("CreateInstance"));
    const QByteArray json =
        R"({"error":null,"method":"Quillmark.1.0.7.net.QES.CreateInstance","result":null})";
    QCOMPARE(nextFrame(), HostDriver::frame(json));
    QVERIFY(host().component());
}

void TestHostDispatch::componentRequestsBecomeEventsInWireOrder()
{
    Quillmark *component = host().component();
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
    Quillmark *component = host().component();
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
    Quillmark *component = host().component();
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
    Quillmark *component = host().component();
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
    host().processMessage(message);
    const QString cause = QObject::tr("UnableToParseSigningCertificateStoresDefinition");
    QCOMPARE(nextMessage(), (QJsonObject{{QStringLiteral("error"), cause},
                                         {QStringLiteral("method"), name},
                                         {QStringLiteral("result"), QJsonValue()}}));

    const QJsonObject pageOnly{{QStringLiteral("event"), netName("NeedSignFinishEvent")}};
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable(QStringLiteral("\"Event %1 failed.\"").arg(netName("NeedSignFinishEvent"))));
    host().processMessage(pageOnly);
    QCOMPARE(nextMessage().value(QStringLiteral("event")),
             QJsonValue(netName("NeedSignFinishEvent")));
}

void TestHostDispatch::createInstanceReplacesAndDisposeForgets()
{
    const QPointer<Quillmark> first = host().component();
    QVERIFY(first);
    QCOMPARE(call(QStringLiteral("CreateInstance")).value(QStringLiteral("error")), QJsonValue());
    QVERIFY(!first);
    QVERIFY(host().component());

    QCOMPARE(call(QStringLiteral("DisposeInstance")).value(QStringLiteral("error")), QJsonValue());
    QVERIFY(!host().component());
    QCOMPARE(call(QStringLiteral("CreateInstance")).value(QStringLiteral("error")), QJsonValue());
    QVERIFY(host().component());
}

void TestHostDispatch::terminateFromThePage()
{
    QSignalSpy done(host().component(), &Quillmark::quillmarkDone);
    QCOMPARE(call(QStringLiteral("Terminate")).value(QStringLiteral("error")), QJsonValue());
    QVERIFY(ClosingFlag::isRaised());
    QCOMPARE(done.count(), 1);
}

void TestHostDispatch::notifyCatchesEverything()
{
    bool boxOpened = false;
    ModalProbe<MsgBox> probe(
        [&](MsgBox *box) {
            boxOpened = true;
            box->reject();
        },
        500);

    Thrower appException([] {
        throw AppException(QStringLiteral("thrown by a handler"), APP_LOCATION, true);
    });
    Thrower unhandled([] { throw QUnhandledException(); });
    Thrower foreign([] { throw std::runtime_error("foreign"); });

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("thrown by a handler")));
    QTest::ignoreMessage(QtWarningMsg, QUnhandledException().what());
    QTest::ignoreMessage(QtCriticalMsg, "Unknown exception.");
    for (Thrower *thrower : {&appException, &unhandled, &foreign})
        QCoreApplication::postEvent(thrower, new QEvent(QEvent::User));
    QTest::qWait(600);

    // No document window is on screen, so no error box either; and the
    // loop goes on serving the page.
    QVERIFY(!boxOpened);
    QCOMPARE(call(QStringLiteral("GetVersion")).value(QStringLiteral("result")),
             QJsonValue(QStringLiteral("1.0.7 (qt)")));
}

int main(int argc, char *argv[])
{
    int toHost[2];
    int fromHost[2];
    if (::pipe(toHost) != 0 || ::pipe(fromHost) != 0)
        return 2;
    NativeMessagingHost app(argc, argv, QString::fromLatin1(QuillmarkVersion::component),
                            QString::fromLatin1(QuillmarkVersion::defaultPlatform), toHost[0],
                            fromHost[1]);
    app.setQuitOnLastWindowClosed(false);
    int status = 0;
    {
        TestHostDispatch test(toHost[1], fromHost[0]);
        status = QTest::qExec(&test, argc, argv);
    }
    // The page goes away: the reader reaches the end of its input.
    ::close(toHost[1]);
    return status;
}

#include "tst_hostdispatch.moc"
