#include "readthread.h"
#include "writethread.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray frame(const QByteArray &payload, quint32 length)
{
    QByteArray bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(static_cast<char>((length >> shift) & 0xFFu));
    return bytes + payload;
}

QByteArray frame(const QByteArray &payload)
{
    return frame(payload, static_cast<quint32>(payload.size()));
}

void writeAll(int descriptor, const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(descriptor, bytes.constData() + written,
                                  static_cast<size_t>(bytes.size() - written));
        if (n <= 0)
            return;
        written += n;
    }
}

// One pipe; the read end goes to a ReadThread, the test writes the other.
class Pipe
{
public:
    Pipe() { QVERIFY(::pipe(m_fds) == 0); }
    ~Pipe()
    {
        closeWriteEnd();
        closeReadEnd();
    }
    int readEnd() const { return m_fds[0]; }
    int writeEnd() const { return m_fds[1]; }
    void closeWriteEnd()
    {
        if (m_fds[1] >= 0)
            ::close(m_fds[1]);
        m_fds[1] = -1;
    }
    void closeReadEnd()
    {
        if (m_fds[0] >= 0)
            ::close(m_fds[0]);
        m_fds[0] = -1;
    }

private:
    int m_fds[2] = {-1, -1};
};

} // namespace

class TestFraming : public QObject
{
    Q_OBJECT

private:
    QList<QJsonObject> m_received;

    void startReader(ReadThread &reader)
    {
        m_received.clear();
        connect(&reader, &ReadThread::messageRead, this,
                [this](const QJsonObject &message) { m_received.append(message); });
        reader.start();
    }

private slots:
    void splitFramesWithPauses()
    {
        Pipe pipe;
        ReadThread reader(pipe.readEnd());
        startReader(reader);
        const QByteArray bytes = frame("{\"method\":\"a\",\"args\":[\"x\"]}") + frame("{\"event\":\"b\"}");
        for (int i = 0; i < bytes.size(); i += 5) {
            writeAll(pipe.writeEnd(), bytes.mid(i, 5));
            QTest::qWait(15);
        }
        QTRY_COMPARE(m_received.size(), 2);
        QCOMPARE(m_received.at(0).value("method").toString(), QStringLiteral("a"));
        QCOMPARE(m_received.at(1).value("event").toString(), QStringLiteral("b"));
        // Expected before the request: the reader may warn at once.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ReadThread exited, due to: .*Interruption of ReadThread is requested."));
        reader.requestInterruption();
        QVERIFY(reader.wait(1000));
    }

    void emptyAndInvalidPayloadsBecomeEmptyObjects()
    {
        Pipe pipe;
        ReadThread reader(pipe.readEnd());
        startReader(reader);
        writeAll(pipe.writeEnd(), frame("") + frame("not json") + frame("[1,2]") + frame("{\"k\":1}"));
        QTRY_COMPARE(m_received.size(), 4);
        QVERIFY(m_received.at(0).isEmpty());
        QVERIFY(m_received.at(1).isEmpty());
        QVERIFY(m_received.at(2).isEmpty());
        QCOMPARE(m_received.at(3).value("k").toInt(), 1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ReadThread exited, due to: .*End of file reached"));
        pipe.closeWriteEnd();
        QVERIFY(reader.wait(1000));
    }

    void endOfInputInsideAFrame()
    {
        Pipe pipe;
        ReadThread reader(pipe.readEnd());
        startReader(reader);
        writeAll(pipe.writeEnd(), frame("{\"a\":1}").left(8));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ReadThread exited, due to: .*End of file reached"));
        pipe.closeWriteEnd();
        QVERIFY(reader.wait(1000));
        QTest::qWait(20);
        QVERIFY(m_received.isEmpty());
    }

    void shorterFrameAfterALongOneCarriesOnlyItsOwnBytes()
    {
        // The reader keeps one buffer for all payloads.
        Pipe pipe;
        ReadThread reader(pipe.readEnd());
        const QByteArray longPayload = "{\"page\":\"" + QByteArray(300 * 1024, 'A') + "\"}";
        const QByteArray shortPayload = "{\"k\":1}";
        const QByteArray otherLongPayload = "{\"page\":\"" + QByteArray(200 * 1024, 'B') + "\"}";
        std::thread writer([&] {
            writeAll(pipe.writeEnd(), frame(longPayload) + frame(shortPayload) + frame("")
                                          + frame(otherLongPayload));
        });
        QCOMPARE(reader.readFramePayload(), longPayload);
        QCOMPARE(reader.readFramePayload(), shortPayload);
        QCOMPARE(reader.readFramePayload(), QByteArray());
        QCOMPARE(reader.readFramePayload(), otherLongPayload);
        writer.join();
    }

    void manyFramesKeepTheirOrder()
    {
        Pipe pipe;
        ReadThread reader(pipe.readEnd());
        startReader(reader);
        constexpr int count = 2000;
        std::thread writer([&pipe] {
            for (int i = 0; i < count; ++i)
                writeAll(pipe.writeEnd(), frame(QStringLiteral("{\"n\":%1}").arg(i).toUtf8()));
        });
        writer.join();
        QTRY_COMPARE_WITH_TIMEOUT(m_received.size(), count, 10000);
        for (int i = 0; i < count; ++i)
            QCOMPARE(m_received.at(i).value("n").toInt(), i);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("End of file reached"));
        pipe.closeWriteEnd();
        QVERIFY(reader.wait(1000));
    }

    void oversizedFrameIsSkipped()
    {
        Pipe pipe;
        ReadThread reader(pipe.readEnd());
        startReader(reader);
        const quint32 length = ReadThread::maxFrameLength + 1;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("oversized frame of %1 bytes").arg(length)));
        std::thread writer([&pipe, length] {
            writeAll(pipe.writeEnd(), frame(QByteArray(), length));
            const QByteArray chunk(1 << 20, '{');
            quint32 left = length;
            while (left > 0) {
                const int part = static_cast<int>(qMin<quint32>(left, chunk.size()));
                writeAll(pipe.writeEnd(), chunk.left(part));
                left -= static_cast<quint32>(part);
            }
            writeAll(pipe.writeEnd(), frame("{\"after\":true}"));
        });
        writer.join();
        QTRY_COMPARE_WITH_TIMEOUT(m_received.size(), 1, 10000);
        QCOMPARE(m_received.at(0), QJsonObject({{"after", true}}));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("End of file reached"));
        pipe.closeWriteEnd();
        QVERIFY(reader.wait(1000));
    }

    void largestAcceptedFrameIsDecoded()
    {
        Pipe pipe;
        ReadThread reader(pipe.readEnd());
        startReader(reader);
        QByteArray payload = "{\"big\":\"";
        payload.append(QByteArray(static_cast<int>(ReadThread::maxFrameLength) - payload.size() - 2, 'x'));
        payload.append("\"}");
        QCOMPARE(static_cast<quint32>(payload.size()), ReadThread::maxFrameLength);
        std::thread writer([&pipe, &payload] { writeAll(pipe.writeEnd(), frame(payload)); });
        writer.join();
        QTRY_COMPARE_WITH_TIMEOUT(m_received.size(), 1, 20000);
        QCOMPARE(m_received.at(0).value("big").toString().size(), payload.size() - 10);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("End of file reached"));
        pipe.closeWriteEnd();
        QVERIFY(reader.wait(1000));
    }

    void readerStopsPromptlyWhileIdle()
    {
        Pipe pipe;
        ReadThread reader(pipe.readEnd());
        startReader(reader);
        QTest::qWait(30);
        QElapsedTimer timer;
        timer.start();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Interruption of ReadThread is requested."));
        reader.requestInterruption();
        QVERIFY(reader.wait(100));
        QVERIFY(timer.elapsed() < 100);
    }

    void writerFramesInOrderWithUtf8Length()
    {
        Pipe pipe;
        WriteThread writer(pipe.writeEnd());
        writer.start();
        const QString text = QStringLiteral("Podpis zlyhal: čšťžýáíé – ☃");
        writer.write(QJsonDocument(QJsonObject{{"error", text}}));
        for (int i = 0; i < 100; ++i)
            writer.write(QJsonDocument(QJsonObject{{"n", i}}));

        QByteArray received;
        const QByteArray first = QJsonDocument(QJsonObject{{"error", text}}).toJson(QJsonDocument::Compact);
        QCOMPARE(first.size(), text.toUtf8().size() + 12);
        int expected = 4 + first.size();
        for (int i = 0; i < 100; ++i)
            expected += 4 + QStringLiteral("{\"n\":%1}").arg(i).size();
        char buffer[4096];
        while (received.size() < expected) {
            const ssize_t n = ::read(pipe.readEnd(), buffer, sizeof buffer);
            QVERIFY(n > 0);
            received.append(buffer, static_cast<int>(n));
        }
        QCOMPARE(received.left(4 + first.size()), frame(first));
        int offset = 4 + first.size();
        for (int i = 0; i < 100; ++i) {
            const QByteArray payload = QStringLiteral("{\"n\":%1}").arg(i).toUtf8();
            QCOMPARE(received.mid(offset, 4 + payload.size()), frame(payload));
            offset += 4 + payload.size();
        }
        QTest::ignoreMessage(QtDebugMsg, "Exiting write thread");
        writer.requestInterruption();
        QVERIFY(writer.wait(100));
    }

    void readerStopsWhileMessagesWaitForDispatch()
    {
        // Nothing runs this thread's event loop until the end, as when the
        // GUI thread is busy: the reader must stop taking frames off the pipe.
        Pipe pipe;
        QVERIFY(::fcntl(pipe.writeEnd(), F_SETFL, O_NONBLOCK) == 0);
        ReadThread reader(pipe.readEnd());
        startReader(reader);
        const QByteArray payload = "{\"p\":\"" + QByteArray(1024 * 1024, 'x') + "\"}";
        const QByteArray bytes = frame(payload);
        constexpr qint64 sentAtMost = 4 * ReadThread::maxPendingBytes;
        qint64 written = 0;
        QElapsedTimer sinceLastWrite;
        sinceLastWrite.start();
        while (written < sentAtMost && sinceLastWrite.elapsed() < 1000) {
            const qint64 offset = written % bytes.size();
            const ssize_t n = ::write(pipe.writeEnd(), bytes.constData() + offset,
                                      static_cast<size_t>(bytes.size() - offset));
            if (n > 0) {
                written += n;
                sinceLastWrite.restart();
            } else {
                QThread::msleep(5);
            }
        }
        const qint64 pipeCapacity = ::fcntl(pipe.writeEnd(), F_GETPIPE_SZ);
        QVERIFY2(written <= ReadThread::maxPendingBytes + 2 * bytes.size() + pipeCapacity,
                 qPrintable(QString::number(written)));
        QVERIFY(reader.pendingBytes() <= ReadThread::maxPendingBytes + bytes.size() + 256);

        // Dispatching makes room: what is still in the pipe comes, in order.
        const int frames = static_cast<int>(written / bytes.size());
        QVERIFY(::fcntl(pipe.writeEnd(), F_SETFL, 0) == 0);
        std::thread writer([&] { writeAll(pipe.writeEnd(), bytes.mid(written % bytes.size())); });
        QTRY_COMPARE_WITH_TIMEOUT(m_received.size(), frames + 1, 20000);
        writer.join();
        QCOMPARE(m_received.last().value("p").toString().size(), 1024 * 1024);
        QTRY_COMPARE(reader.pendingBytes(), qint64(0));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("End of file reached"));
        pipe.closeWriteEnd();
        QVERIFY(reader.wait(1000));
    }

    void sharedNonBlockingDescriptorGetsWholeFrames()
    {
        // A terminal or a socket pair gives standard input and output one
        // open file: its flags are shared by the reader and the writer.
        int pair[2];
        QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0);
        ReadThread reader(pair[0]);
        startReader(reader);
        QTest::qWait(30);
        QCOMPARE(::fcntl(pair[0], F_GETFL) & O_NONBLOCK, 0);

        // Whoever else made it non-blocking, a frame still goes out whole
        // to a peer that reads slowly.
        QVERIFY(::fcntl(pair[0], F_SETFL, O_NONBLOCK) == 0);
        WriteThread writer(pair[0]);
        writer.start();
        const QString text(900 * 1024, QLatin1Char('y'));
        writer.write(QJsonDocument(QJsonObject{{"t", text}}));
        writer.write(QJsonDocument(QJsonObject{{"n", 1}}));
        const QByteArray expected = frame(QJsonDocument(QJsonObject{{"t", text}}).toJson(QJsonDocument::Compact))
                                    + frame("{\"n\":1}");
        QByteArray received;
        char buffer[16 * 1024];
        QElapsedTimer clock;
        clock.start();
        while (received.size() < expected.size() && clock.elapsed() < 20000) {
            QThread::msleep(2);
            const ssize_t n = ::recv(pair[1], buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
                received.append(buffer, static_cast<int>(n));
        }
        QCOMPARE(received.size(), expected.size());
        QVERIFY(received == expected);

        QTest::ignoreMessage(QtDebugMsg, "Exiting write thread");
        writer.requestInterruption();
        QVERIFY(writer.wait(1000));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("End of file reached"));
        ::shutdown(pair[1], SHUT_WR);
        QVERIFY(reader.wait(1000));
        ::close(pair[0]);
        ::close(pair[1]);
    }

    void writerDropsOversizedFramesAndEndsOnALostChannel()
    {
        std::signal(SIGPIPE, SIG_IGN);
        Pipe pipe;
        WriteThread writer(pipe.writeEnd());
        writer.start();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("Not sending a frame of \\d+ bytes"));
        writer.write(QJsonDocument(QJsonObject{{"t", QString(WriteThread::maxPayloadLength, 'z')}}));
        writer.write(QJsonDocument(QJsonObject{{"n", 1}}));
        QByteArray received;
        char buffer[64];
        while (received.size() < frame("{\"n\":1}").size()) {
            const ssize_t n = ::read(pipe.readEnd(), buffer, sizeof buffer);
            QVERIFY(n > 0);
            received.append(buffer, static_cast<int>(n));
        }
        QCOMPARE(received, frame("{\"n\":1}"));

        // The browser went away: the writer ends by itself, loudly, and the
        // process lives on to shut down normally.
        pipe.closeReadEnd();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("Writing a frame failed after 0 of 11 bytes"));
        QTest::ignoreMessage(QtDebugMsg, "Exiting write thread");
        writer.write(QJsonDocument(QJsonObject{{"n", 2}}));
        QVERIFY(writer.wait(5000));
    }

    void writerDeliversWhatWasQueuedBeforeTheStop()
    {
        Pipe pipe;
        WriteThread writer(pipe.writeEnd());
        writer.start();
        constexpr int count = 50;
        for (int i = 0; i < count; ++i)
            writer.write(QJsonDocument(QJsonObject{{"n", i}}));
        QTest::ignoreMessage(QtDebugMsg, "Exiting write thread");
        writer.requestInterruption();
        QVERIFY(writer.wait(1000));
        pipe.closeWriteEnd();

        QByteArray received;
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipe.readEnd(), buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<int>(n));
        QByteArray expected;
        for (int i = 0; i < count; ++i)
            expected += frame(QStringLiteral("{\"n\":%1}").arg(i).toUtf8());
        QCOMPARE(received, expected);
    }
};

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
