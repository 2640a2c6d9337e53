// What a hostile or broken page can put on standard input of the real
// quillmark binary: frames of every awkward length, frames that end early,
// payloads that are no valid JSON, and arguments of the wrong type. The host
// answers what it can, drops the rest, and keeps serving the next frame.
#include "catalogue.h"
#include "hostdriver.h"
#include "testhome.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

namespace {

constexpr quint32 largestFrame = 64u * 1024u * 1024u;

QByteArray lengthPrefix(quint32 length)
{
    QByteArray prefix;
    for (int shift = 0; shift < 32; shift += 8)
        prefix.append(static_cast<char>((length >> shift) & 0xffu));
    return prefix;
}

QByteArray createInstanceCall()
{
    return "{\"method\":\"" + HostDriver::qualified(QStringLiteral("CreateInstance")).toUtf8() + "\"}";
}

// A valid call padded with JSON white space to exactly `size` bytes.
QByteArray paddedCall(int size)
{
    QByteArray call = createInstanceCall();
    call.insert(1, QByteArray(size - call.size(), ' '));
    return call;
}

QByteArray nested(int depth)
{
    return QByteArray(depth, '[') + QByteArray(depth, ']');
}

} // namespace

class TestHostileFrames : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<HostDriver> m_host;
    Catalogue m_english{QStringLiteral("en")};

    int answersTo(const QString &shortName)
    {
        int count = 0;
        while (m_host->awaitAnswer(shortName, 1000))
            ++count;
        return count;
    }

    bool exitsCleanlyAfterInputCloses()
    {
        if (!m_host->closeInputAndWait(20000))
            return false;
        return m_host->process().exitStatus() == QProcess::NormalExit
               && m_host->process().exitCode() == 0;
    }

private slots:
    void initTestCase() { QVERIFY(m_english.isLoaded()); }

    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_host = std::make_unique<HostDriver>(m_home->environment());
        QVERIFY(m_host->start());
    }

    void cleanup()
    {
        m_host.reset();
        m_home.reset();
    }

    void framesOfEveryLength_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("answered");

        QTest::newRow("0 bytes") << lengthPrefix(0) << 0;
        QTest::newRow("4 bytes") << lengthPrefix(4) + QByteArray("{}  ") << 0;
        QTest::newRow("64 MiB, a call") << lengthPrefix(largestFrame) + paddedCall(largestFrame) << 1;
        QTest::newRow("64 MiB + 1, skipped unread")
            << lengthPrefix(largestFrame + 1) + paddedCall(largestFrame + 1) << 0;
        QTest::newRow("invalid UTF-8")
            << HostDriver::frame("{\"method\":\"" + HostDriver::qualified(QStringLiteral("CreateInstance")).toUtf8()
                                 + "\",\"args\":[\"\xff\xfe\xc0\xaf\"]}")
            << 0;
        QTest::newRow("deeply nested array") << HostDriver::frame(nested(200000)) << 0;
        QTest::newRow("deeply nested argument")
            << HostDriver::frame("{\"method\":\"" + HostDriver::qualified(QStringLiteral("CreateInstance")).toUtf8()
                                 + "\",\"args\":" + nested(100000) + "}")
            << 0;
        QTest::newRow("not an object") << HostDriver::frame("\"CreateInstance\"") << 0;
    }

    void framesOfEveryLength()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, answered);
        m_host->writeRaw(frame);
        QCOMPARE(answersTo(QStringLiteral("CreateInstance")), answered);

        // The next frame is read from the right place and served.
        m_host->writeRaw(HostDriver::frame(createInstanceCall()));
        const auto answer = m_host->awaitAnswer(QStringLiteral("CreateInstance"), 30000);
        QVERIFY(answer.has_value());
        QCOMPARE(answer->value(QStringLiteral("error")), QJsonValue(QJsonValue::Null));
        QVERIFY(exitsCleanlyAfterInputCloses());
    }

    void endOfInputInsideAFrame_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("half a length") << QByteArray("\x10\x00", 2);
        QTest::newRow("payload cut short") << lengthPrefix(100) + QByteArray("{\"method\":");
        // The host must not try to allocate or wait for 4 GiB: it discards
        // what comes and ends when the input does.
        QTest::newRow("0xFFFFFFFF bytes announced")
            << lengthPrefix(0xffffffffu) + QByteArray(1024 * 1024, 'x')
                   + HostDriver::frame(createInstanceCall());
    }

    void endOfInputInsideAFrame()
    {
        QFETCH(QByteArray, bytes);
        QElapsedTimer clock;
        clock.start();
        m_host->writeRaw(bytes);
        QVERIFY(exitsCleanlyAfterInputCloses());
        QVERIFY(m_host->rawFrames().isEmpty());
        QVERIFY(clock.elapsed() < 15000);
    }

    void argumentsOfTheWrongType_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QByteArray>("args");
        QTest::addColumn<QString>("error");

        QTest::newRow("language as a number") << "SetLanguage" << QByteArray("[42]") << "UnsupportedLanguage";
        QTest::newRow("language as a path")
            << "SetLanguage" << QByteArray("[\"../../../tmp/x\"]") << "UnsupportedLanguage";
        QTest::newRow("args not an array") << "SetLanguage" << QByteArray("\"sk\"") << "UnsupportedLanguage";
        QTest::newRow("stores as an object")
            << "SetSigningCertificateStores" << QByteArray("[{\"a\":\"b\"}]")
            << "UnableToParseSigningCertificateStoresDefinition";
        QTest::newRow("stores as null")
            << "SetSigningCertificateStores" << QByteArray("[null]")
            << "UnableToParseSigningCertificateStoresDefinition";
        QTest::newRow("cache size as text") << "SetPageCacheSize" << QByteArray("[\"lots\"]") << QString();
        QTest::newRow("cache size beyond int") << "SetPageCacheSize" << QByteArray("[1e300]") << QString();
        QTest::newRow("filter as an array") << "SetFilterOnlyValidCerts" << QByteArray("[[true]]") << QString();
        QTest::newRow("answer as a number") << "ProcessGetDocumentInfoResponse" << QByteArray("[7]") << QString();
        QTest::newRow("answer as an object")
            << "ProcessSignInitResponse" << QByteArray("[{\"Data\":\"x\"}]") << QString();
    }

    void argumentsOfTheWrongType()
    {
        QFETCH(QString, method);
        QFETCH(QByteArray, args);
        QFETCH(QString, error);
        QVERIFY(m_host->call(QStringLiteral("CreateInstance")).has_value());

        m_host->writeRaw(HostDriver::frame("{\"method\":\"" + HostDriver::qualified(method).toUtf8()
                                           + "\",\"args\":" + args + "}"));
        const auto answer = m_host->awaitAnswer(method);
        QVERIFY(answer.has_value());
        const QJsonValue errorValue = answer->value(QStringLiteral("error"));
        if (error.isEmpty()) {
            QCOMPARE(errorValue, QJsonValue(QJsonValue::Null));
        } else {
            // The text names what the page sent as a language, never more.
            const QJsonValue sent = QJsonDocument::fromJson("[" + args + "]").array().first();
            const QString language = sent.isArray() && sent.toArray().first().isString()
                                         ? sent.toArray().first().toString()
                                         : QString();
            QString expected = m_english.text(error.toLatin1().constData());
            if (expected.contains(QLatin1String("%1")))
                expected = expected.arg(language);
            QCOMPARE(errorValue.toString(), expected);
        }
        const auto version = m_host->call(QStringLiteral("GetVersion"));
        QVERIFY(version.has_value());
        QCOMPARE(version->value(QStringLiteral("result")).toString(), QStringLiteral("1.0.7 (qt)"));
    }
};

QTEST_GUILESS_MAIN(TestHostileFrames)
#include "tst_hostileframes.moc"
