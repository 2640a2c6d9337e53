// The browser may stop reading the host's answers before it closes the
// channel. The writer thread then hangs in write() on the full pipe, and the
// host must still end without taking the process down with a destroyed
// running thread.
#include "nativemessaginghost.h"
#include "quillmarkversion.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <unistd.h>

class TestHostStop : public QObject
{
    Q_OBJECT

private slots:
    void endsWhileTheWriterIsBlocked()
    {
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
            // Far more than a pipe holds, and nobody reads the other end.
            const QString nonce(256 * 1024, QLatin1Char('n'));
            host.needGetDocumentInfo(nonce);
            host.needGetDocumentInfo(nonce);
            QThread::msleep(300);
            clock.start();
        }
        QVERIFY(clock.elapsed() < 2000);
        ::close(input[1]);
    }
};

QTEST_APPLESS_MAIN(TestHostStop)
#include "tst_hoststop.moc"
