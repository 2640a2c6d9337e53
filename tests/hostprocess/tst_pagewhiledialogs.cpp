// A page that keeps calling while the document window shows boxes, and one
// that sends its calls in an unlucky order, against the real quillmark on
// the offscreen platform: every call is answered, memory and time stay
// bounded, and the host ends normally when the page goes.
#include "hostdriver.h"
#include "testhome.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

class TestPageWhileDialogs : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<HostDriver> m_host;

    bool call(const QString &shortName, const QJsonArray &args = {})
    {
        const auto answer = m_host->call(shortName, args);
        return answer && answer->value(QStringLiteral("error")).isNull();
    }

    bool exitsCleanly()
    {
        return m_host->closeInputAndWait(30000) && m_host->process().exitStatus() == QProcess::NormalExit
               && m_host->process().exitCode() == 0;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_host = std::make_unique<HostDriver>(m_home->environment());
        QVERIFY(m_host->start());
        QVERIFY(call(QStringLiteral("CreateInstance")));
    }

    void cleanup()
    {
        m_host.reset();
        m_home.reset();
    }

    // Each refused answer opened a box in the previous box's event loop
    // until the stack ran out after some 4,000.
    void floodOfRefusedAnswersOpensBoundedBoxes()
    {
        QVERIFY(call(QStringLiteral("ViewDocument")));
        QVERIFY(m_host->awaitEvent(QStringLiteral("NeedGetDocumentInfoEvent")));
        constexpr int calls = 5000;
        const QString name = HostDriver::qualified(QStringLiteral("ProcessGetDocumentPageResponse"));
        QByteArray frames;
        for (int i = 0; i < calls; ++i)
            frames += HostDriver::frame(QJsonDocument(QJsonObject{{QStringLiteral("method"), name},
                                                                  {QStringLiteral("args"), QJsonArray{"junk"}}})
                                            .toJson(QJsonDocument::Compact));
        QElapsedTimer clock;
        clock.start();
        m_host->writeRaw(frames);
        // Answers held by the boxes on screen and waiting come when they
        // close; the page's Terminate closes them.
        int answered = 0;
        while (m_host->awaitAnswer(QStringLiteral("ProcessGetDocumentPageResponse"), 5000))
            ++answered;
        QVERIFY2(answered >= calls - 16 && answered < calls, qPrintable(QString::number(answered)));
        QVERIFY(m_host->statusKiB("VmRSS") < 300 * 1024);
        QVERIFY(call(QStringLiteral("Terminate")));
        while (m_host->awaitAnswer(QStringLiteral("ProcessGetDocumentPageResponse"), 5000))
            ++answered;
        QCOMPARE(answered, calls);
        QVERIFY(m_host->awaitEvent(QStringLiteral("SigningProcessFinishedEvent")));
        QVERIFY2(clock.elapsed() < 60000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(exitsCleanly());
    }

    // A Terminate that found no window closed the next one as soon as it
    // opened.
    void staleTerminateLeavesTheNextWindowOpen()
    {
        // Both in one go, as a page that closes and reopens at once sends them.
        m_host->callMethod(QStringLiteral("Terminate"));
        m_host->callMethod(QStringLiteral("ViewDocument"));
        for (const QString &method : {QStringLiteral("Terminate"), QStringLiteral("ViewDocument")}) {
            const auto answer = m_host->awaitAnswer(method);
            QVERIFY(answer && answer->value(QStringLiteral("error")).isNull());
        }
        QVERIFY(m_host->awaitEvent(QStringLiteral("NeedGetDocumentInfoEvent")));
        QVERIFY(!m_host->awaitEvent(QStringLiteral("SigningProcessFinishedEvent"), 1000));
        // The window is still there: a second one is refused.
        const auto second = m_host->call(QStringLiteral("ViewDocument"));
        QVERIFY(second);
        QCOMPARE(second->value(QStringLiteral("error")).toString(),
                 QStringLiteral("The signing window is already open."));
        QVERIFY(call(QStringLiteral("Terminate")));
        const auto finished = m_host->awaitEvent(QStringLiteral("SigningProcessFinishedEvent"));
        QVERIFY(finished);
        QCOMPARE(finished->value(QStringLiteral("args")).toArray(), QJsonArray{false});
        QVERIFY(exitsCleanly());
    }

    // A box that holds a call's answer goes with the component, and a second
    // disposal finds the component gone, not half torn down.
    void disposeWhileABoxIsOpen()
    {
        QVERIFY(call(QStringLiteral("ViewDocument")));
        QVERIFY(m_host->awaitEvent(QStringLiteral("NeedGetDocumentInfoEvent")));
        m_host->callMethod(QStringLiteral("ProcessGetDocumentPageResponse"), {"junk"});
        m_host->callMethod(QStringLiteral("DisposeInstance"));
        m_host->callMethod(QStringLiteral("DisposeInstance"));
        const auto first = m_host->awaitAnswer(QStringLiteral("DisposeInstance"));
        QVERIFY(first);
        QVERIFY(first->value(QStringLiteral("error")).isNull());
        // The component is gone: the second is answered with its absence.
        const auto second = m_host->awaitAnswer(QStringLiteral("DisposeInstance"));
        QVERIFY(second);
        QVERIFY(!second->value(QStringLiteral("error")).isNull());
        // The box went with the window and let its answer go.
        QVERIFY(m_host->awaitAnswer(QStringLiteral("ProcessGetDocumentPageResponse")));
        QVERIFY(call(QStringLiteral("CreateInstance")));
        QVERIFY(exitsCleanly());
    }

    // Of five stray answers, one box opened and four waited; disposing of
    // the component answered two, the others only at a later Terminate, and
    // a new document window showed one of the old boxes.
    void everyWaitingBoxGoesWithTheComponent_data()
    {
        QTest::addColumn<QString>("method");
        QTest::newRow("DisposeInstance") << QStringLiteral("DisposeInstance");
        QTest::newRow("CreateInstance") << QStringLiteral("CreateInstance");
    }

    void everyWaitingBoxGoesWithTheComponent()
    {
        QFETCH(QString, method);
        QVERIFY(m_home->switchLoggingOn(QStringLiteral("quillmarklog.txt")));
        QVERIFY(call(QStringLiteral("SignDocument")));
        QVERIFY(m_host->awaitEvent(QStringLiteral("NeedGetDocumentInfoEvent")));
        QVERIFY(m_host->awaitEvent(QStringLiteral("LoadConfigurationEvent")));
        const int before = m_host->rawFrames().size();
        constexpr int strays = 5;
        for (int i = 0; i < strays; ++i)
            m_host->callMethod(QStringLiteral("ProcessSignFinishResponse"), {"junk"});
        QVERIFY(!m_host->awaitAnswer(QStringLiteral("ProcessSignFinishResponse"), 500));

        QVERIFY(call(method));
        const QList<QByteArray> expected =
            QList<QByteArray>{
                HostDriver::event(QStringLiteral("SigningProcessFinishedEvent"), "[false]")}
            + QVector<QByteArray>(
                  strays, HostDriver::emptyAnswer(QStringLiteral("ProcessSignFinishResponse")))
                  .toList()
            + QList<QByteArray>{HostDriver::emptyAnswer(method)};
        QCOMPARE(m_host->rawFrames().mid(before), expected);

        // A new document window shows none of the old boxes.
        if (method == QLatin1String("DisposeInstance"))
            QVERIFY(call(QStringLiteral("CreateInstance")));
        QVERIFY(call(QStringLiteral("ViewDocument")));
        QVERIFY(m_host->awaitEvent(QStringLiteral("NeedGetDocumentInfoEvent")));
        QTest::qWait(500);
        QFile log(m_home->logFile(QStringLiteral("quillmarklog.txt")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromUtf8(log.readAll()).count(QStringLiteral("Setting details  unavailable")),
            1);
        QVERIFY(exitsCleanly());
    }
};

QTEST_GUILESS_MAIN(TestPageWhileDialogs)
#include "tst_pagewhiledialogs.moc"
