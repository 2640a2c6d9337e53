// What a hostile or broken page can put on standard input of the real
// quillmark binary: frames of every awkward length, frames that end early,
// payloads that are no valid JSON, and arguments of the wrong type. The host
// answers what it can, drops the rest, and keeps serving the next frame,
// within bounded time and memory, and ends normally when the channel goes.
#include "catalogue.h"
#include "hostdriver.h"
#include "testhome.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

#include <sys/resource.h>

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

// The browser's limit for one message from the host.
constexpr int browserMessageLimit = 1024 * 1024;
// Generous for a loaded two-core machine; the faults took minutes.
constexpr int hostileAnswerMilliseconds = 30000;
// The peak memory of a host that read one 60 MB frame: about 250 MiB, and
// more under a sanitizer, whose allocator keeps freed memory in quarantine.
constexpr qint64 hostileInputPeakKiB = 1024 * 1024;
constexpr qint64 sanitizedHostileInputPeakKiB = 2 * hostileInputPeakKiB;

// A sanitizer reserves terabytes of address space up front.
bool runsUnderASanitizer(const HostDriver &host)
{
    return host.statusKiB("VmSize") > qint64(1) << 30;
}

} // namespace

class TestHostileFrames : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<HostDriver> m_host;
    Catalogue m_english{QStringLiteral("en")};

    // A frame of 64 MiB takes seconds to arrive on a loaded machine; what
    // follows the first answer comes at once.
    int answersTo(const QString &shortName, int firstWait)
    {
        int count = 0;
        for (int wait = firstWait; m_host->awaitAnswer(shortName, wait); wait = 1000)
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
        QCOMPARE(answersTo(QStringLiteral("CreateInstance"), answered > 0 ? 30000 : 1000), answered);

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

    void hostileCallsAreAnsweredSmallAndSoon_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("error");

        const QByteArray language = HostDriver::qualified(QStringLiteral("SetLanguage")).toUtf8();
        QTest::newRow("language of 300,000 \"_\"") << language << QByteArray("_") << 300000
                                                   << "UnsupportedLanguage";
        QTest::newRow("language of 300,000 \".\"") << language << QByteArray(".") << 300000
                                                   << "UnsupportedLanguage";
        QTest::newRow("language of 8 MB") << language << QByteArray("x") << 8000000
                                           << "UnsupportedLanguage";
        QTest::newRow("60 MB of store pairs")
            << HostDriver::qualified(QStringLiteral("SetSigningCertificateStores")).toUtf8()
            << QByteArray("a|b|") << 15000000 << "UnableToParseSigningCertificateStoresDefinition";
        QTest::newRow("method name of 8 MB") << QByteArray() << QByteArray("m") << 8000000
                                              << "MessageNotImplemented";
    }

    void hostileCallsAreAnsweredSmallAndSoon()
    {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, unit);
        QFETCH(int, count);
        QFETCH(QString, error);
        QVERIFY(m_host->call(QStringLiteral("CreateInstance")).has_value());

        const QByteArray payload = method.isEmpty()
            ? "{\"method\":\"" + unit.repeated(count) + "\"}"
            : "{\"method\":\"" + method + "\",\"args\":[\"" + unit.repeated(count) + "\"]}";
        QElapsedTimer clock;
        clock.start();
        m_host->writeRaw(HostDriver::frame(payload));
        const auto answer = m_host->awaitMessage(hostileAnswerMilliseconds);
        QVERIFY(answer.has_value());
        QVERIFY2(clock.elapsed() < hostileAnswerMilliseconds, qPrintable(QString::number(clock.elapsed())));
        // The text names what the page sent by its head and length only.
        const QString text = answer->value(QStringLiteral("error")).toString();
        const QString expected = m_english.text(error.toLatin1().constData());
        QVERIFY2(text.startsWith(expected.left(expected.indexOf(QLatin1String("%1")))), qPrintable(text.left(200)));
        QVERIFY(text.contains(QString::number(count * unit.size())) || !expected.contains(QLatin1String("%1")));
        for (const QByteArray &frame : m_host->rawFrames())
            QVERIFY2(frame.size() <= browserMessageLimit, qPrintable(QString::number(frame.size())));

        const qint64 peak = m_host->statusKiB("VmHWM");
        const qint64 bound = runsUnderASanitizer(*m_host) ? sanitizedHostileInputPeakKiB : hostileInputPeakKiB;
        QVERIFY2(peak > 0 && peak < bound, qPrintable(QString::number(peak)));
        QVERIFY(m_host->call(QStringLiteral("GetVersion")).has_value());
        QVERIFY(exitsCleanlyAfterInputCloses());
    }

    void memoryExhaustionEndsTheHostNormally()
    {
        QVERIFY(m_host->call(QStringLiteral("CreateInstance")).has_value());
        const qint64 pid = m_host->process().processId();
        if (runsUnderASanitizer(*m_host))
            QSKIP("a memory limit cannot work beside a sanitizer's reserved address space");
        const qint64 size = m_host->statusKiB("VmSize");
        // Room for less than the next frame: reading it fails for want of memory.
        const rlimit limit{rlim_t(size + 32 * 1024) * 1024, rlim_t(size + 32 * 1024) * 1024};
        QVERIFY(::prlimit(pid_t(pid), RLIMIT_AS, &limit, nullptr) == 0);
        m_host->writeRaw(lengthPrefix(largestFrame) + paddedCall(largestFrame));
        QVERIFY(m_host->process().waitForFinished(hostileAnswerMilliseconds));
        QCOMPARE(m_host->process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_host->process().exitCode(), 0);
        QVERIFY(m_host->standardError().contains("ReadThread failed:"));
    }

    void browserLeavingWhileAnswersAreOnTheirWay()
    {
        // The browser reads the first bytes and closes the channel; the host
        // must not die of the broken pipe but shut down normally.
        m_host.reset();
        QProcess pipeline;
        pipeline.setProcessEnvironment(m_home->environment());
        pipeline.start(QStringLiteral("bash"),
                       {QStringLiteral("-c"),
                        QStringLiteral("\"$0\" | { head -c 8 >/dev/null; echo channel closed >&2; }; "
                                       "echo \"host status ${PIPESTATUS[0]}\" >&2"),
                        HostDriver::binaryPath()});
        QVERIFY(pipeline.waitForStarted());
        pipeline.write(HostDriver::frame(createInstanceCall()));
        QVERIFY(pipeline.waitForBytesWritten());
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT((errors += pipeline.readAllStandardError()).contains("channel closed"),
                                 hostileAnswerMilliseconds);
        const QByteArray call = HostDriver::frame(
            "{\"method\":\"" + HostDriver::qualified(QStringLiteral("GetVersion")).toUtf8() + "\"}");
        pipeline.write(call.repeated(200));
        pipeline.waitForBytesWritten();
        QTest::qWait(500);
        pipeline.closeWriteChannel();
        QVERIFY(pipeline.state() == QProcess::NotRunning
                || pipeline.waitForFinished(hostileAnswerMilliseconds));
        errors += pipeline.readAllStandardError();
        QVERIFY(errors.contains("Writing a frame failed"));
        QCOMPARE(errors.trimmed().split('\n').last(), QByteArray("host status 0"));
    }

    void serverErrorTextIsLoggedCut()
    {
        m_host.reset();
        QVERIFY(m_home->switchLoggingOn(QStringLiteral("quillmarklog.txt")));
        m_host = std::make_unique<HostDriver>(m_home->environment());
        QVERIFY(m_host->start());
        QVERIFY(m_host->call(QStringLiteral("CreateInstance")).has_value());
        QVERIFY(m_host->call(QStringLiteral("ViewDocument")).has_value());
        QVERIFY(m_host->awaitEvent(QStringLiteral("NeedGetDocumentInfoEvent")).has_value());

        // An error envelope is read before any signature could be checked.
        const int errorLength = 30 * 1024 * 1024;
        m_host->writeRaw(HostDriver::frame(
            "{\"method\":\"" + HostDriver::qualified(QStringLiteral("ProcessGetDocumentInfoResponse")).toUtf8()
            + "\",\"args\":[\"<Response><Error>" + QByteArray(errorLength, 'E')
            + "</Error><ShowError>true</ShowError></Response>\"]}"));
        // The log names the text by its head and its length.
        const QString logPath = m_home->logFile(QStringLiteral("quillmarklog.txt"));
        const auto logNamesTheLength = [&logPath] {
            QFile log(logPath);
            return log.open(QIODevice::ReadOnly) && log.readAll().contains("31457280 characters");
        };
        QTRY_VERIFY_WITH_TIMEOUT(logNamesTheLength(), hostileAnswerMilliseconds);
        const qint64 logSize = QFileInfo(logPath).size();
        QVERIFY2(logSize < 256 * 1024, qPrintable(QString::number(logSize)));
        for (const QByteArray &frame : m_host->rawFrames())
            QVERIFY2(frame.size() <= browserMessageLimit, qPrintable(QString::number(frame.size())));
        m_host->callMethod(QStringLiteral("Terminate"));
        QVERIFY(exitsCleanlyAfterInputCloses());
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
