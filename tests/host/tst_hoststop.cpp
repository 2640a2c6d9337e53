// The application object with its channel on pipes whose page side is this
// test: it keeps serving the page whatever an event handler throws, and it
// ends although the browser stopped reading its answers before it closed the
// channel, when the writer thread hangs in write() on the full pipe.
#include "appexception.h"
#include "fixturepaths.h"
#include "hostdriver.h"
#include "modalprobe.h"
#include "msgbox.h"
#include "nativemessaginghost.h"
#include "pagedispatcher.h"
#include "quillmark.h"
#include "quillmarkversion.h"

#include <QDir>
#include <QElapsedTimer>
#include <QException>
#include <QJsonDocument>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>

namespace {

// Throws from its event handler, as a slot or widget of the program might.
class Thrower : public QObject
{
public:
    explicit Thrower(std::function<void()> raise) : m_raise(std::move(raise)) { }

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

void callMethod(int pageOutput, const QString &shortName)
{
    const QJsonObject message{{QStringLiteral("method"), HostDriver::qualified(shortName)}};
    const QByteArray bytes =
        HostDriver::frame(QJsonDocument(message).toJson(QJsonDocument::Compact));
    QCOMPARE(::write(pageOutput, bytes.constData(), static_cast<size_t>(bytes.size())),
             static_cast<ssize_t>(bytes.size()));
}

// The payload of the next frame the host writes to a non-blocking descriptor.
QByteArray nextPayload(int pageInput, QByteArray &received)
{
    QDeadlineTimer deadline(5000);
    for (;;) {
        char chunk[4096];
        const ssize_t got = ::read(pageInput, chunk, sizeof chunk);
        if (got > 0)
            received.append(chunk, static_cast<int>(got));
        if (received.size() >= 4) {
            quint32 length = 0;
            for (int i = 3; i >= 0; --i)
                length = length << 8 | static_cast<unsigned char>(received.at(i));
            if (static_cast<quint32>(received.size()) >= length + 4) {
                const QByteArray payload = received.mid(4, static_cast<int>(length));
                received.remove(0, static_cast<int>(length) + 4);
                return payload;
            }
        }
        if (deadline.hasExpired())
            return QByteArray();
        QTest::qWait(5);
    }
}

} // namespace

class TestHostStop : public QObject
{
    Q_OBJECT

private slots:
    void notifyCatchesEverything()
    {
        QVERIFY(QDir::setCurrent(QStringLiteral(QUILLMARK_STAGE_BIN)));
        int toHost[2];
        int fromHost[2];
        QVERIFY(::pipe(toHost) == 0 && ::pipe(fromHost) == 0);
        fcntl(fromHost[0], F_SETFL, fcntl(fromHost[0], F_GETFL) | O_NONBLOCK);
        int argc = 1;
        char name[] = "quillmark";
        char *argv[] = {name, nullptr};
        {
            NativeMessagingHost host(argc, argv, QuillmarkVersion::component,
                                     QuillmarkVersion::defaultPlatform, toHost[0], fromHost[1]);
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

            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("thrown by a handler")));
            QTest::ignoreMessage(QtWarningMsg, QUnhandledException().what());
            QTest::ignoreMessage(QtCriticalMsg, "Unknown exception.");
            for (Thrower *thrower : {&appException, &unhandled, &foreign})
                QCoreApplication::postEvent(thrower, new QEvent(QEvent::User));
            QTest::qWait(600);

            // No document window is on screen, so no error box either; and
            // the loop goes on serving the page.
            QVERIFY(!boxOpened);
            QByteArray received;
            callMethod(toHost[1], QStringLiteral("CreateInstance"));
            callMethod(toHost[1], QStringLiteral("GetVersion"));
            QCOMPARE(QJsonDocument::fromJson(nextPayload(fromHost[0], received))
                         .object()
                         .value(QStringLiteral("error")),
                     QJsonValue());
            QCOMPARE(QJsonDocument::fromJson(nextPayload(fromHost[0], received))
                         .object()
                         .value(QStringLiteral("result")),
                     QJsonValue(QStringLiteral("1.0.7 (qt)")));
        }
        for (const int descriptor : {toHost[0], toHost[1], fromHost[0], fromHost[1]})
            ::close(descriptor);
    }

    void endsWhileTheWriterIsBlocked()
    {
        QVERIFY(QDir::setCurrent(QStringLiteral(QUILLMARK_STAGE_BIN)));
        int input[2];
        int output[2];
        QVERIFY(::pipe(input) == 0 && ::pipe(output) == 0);
        int argc = 1;
        char name[] = "quillmark";
        char *argv[] = {name, nullptr};
        QElapsedTimer clock;
        {
            NativeMessagingHost host(argc, argv, QuillmarkVersion::component,
                                     QuillmarkVersion::defaultPlatform, input[0], output[1]);
            PageDispatcher &dispatcher = host.dispatcher();
            dispatcher.dispatch(
                QJsonObject{{QStringLiteral("method"), HostDriver::qualified("CreateInstance")}});
            QVERIFY(dispatcher.component());
            // Far more than a pipe holds, and nobody reads the other end.
            const QString nonce(256 * 1024, QLatin1Char('n'));
            emit dispatcher.component()->needGetDocumentInfoEvent(nonce);
            emit dispatcher.component()->needGetDocumentInfoEvent(nonce);
            QThread::msleep(300);
            clock.start();
        }
        QVERIFY(clock.elapsed() < 2000);
        ::close(input[1]);
    }
};

QTEST_APPLESS_MAIN(TestHostStop)
#include "tst_hoststop.moc"
